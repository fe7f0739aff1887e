#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "core/control/mapping.hpp"
#include "core/control/midi_source.hpp"

namespace tarnwell {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// What the recognizer made of some bytes: each move as (kind, channel,
// number, action, value, fine), and its wire bytes.
struct Move {
    SourceKind kind;
    int channel;
    int number;
    SourceAction action;
    int value;
    bool fine;
    friend bool operator==(const Move&, const Move&) = default;
};

std::ostream& operator<<(std::ostream& os, const Move& m) {
    return os << "{"
              << describeSource({m.kind, static_cast<std::uint8_t>(m.channel),
                                 static_cast<std::uint16_t>(m.number)})
              << " action " << static_cast<int>(m.action) << " value " << m.value
              << (m.fine ? " fine" : "") << "}";
}

struct Recognised : SourceSink {
    SourceRecognizer recognizer;
    MidiStreamParser parser;
    std::vector<Move> moves;
    std::vector<Bytes> wires;
    std::vector<Bytes> others;

    void sourceMoved(const SourceEvent& e) override {
        moves.push_back({e.id.kind, e.id.channel, e.id.number, e.action, e.value, e.fine});
        wires.emplace_back(e.wire.begin(), e.wire.begin() + e.wireSize);
    }
    void otherMessage(const MidiMessage& m) override {
        others.emplace_back(m.wire().begin(), m.wire().end());
    }
    Recognised& feed(const Bytes& bytes, std::chrono::milliseconds at = 0ms) {
        for (const std::uint8_t b : bytes) {
            parser.feed(b, std::chrono::nanoseconds(at).count(), 0,
                        [this](const MidiMessage& m) { recognizer.process(m, *this); });
        }
        return *this;
    }
    void clear() {
        moves.clear();
        wires.clear();
        others.clear();
    }
};

constexpr auto CC = SourceKind::controlChange;
constexpr auto CC14 = SourceKind::controlChange14;
constexpr auto V = SourceAction::value;

TEST(SourceRecognizer, SevenBitSourcesReachBothEndsOfTheFourteenBitRange) {
    Recognised r;
    r.feed({0xB2, 74,   0, 74, 127,  74,   64,   0xD0, 127, 0xD0,
            0,    0xE0, 0, 0,  0xE0, 0x7F, 0x7F, 0xE0, 0,   0x40});
    EXPECT_EQ(r.moves, (std::vector<Move>{
                           {CC, 2, 74, V, 0, false},
                           {CC, 2, 74, V, 16383, false},
                           {CC, 2, 74, V, 8256, false},
                           {SourceKind::channelPressure, 0, 0, V, 16383, false},
                           {SourceKind::channelPressure, 0, 0, V, 0, false},
                           {SourceKind::pitchBend, 0, 0, V, 0, true},
                           {SourceKind::pitchBend, 0, 0, V, 16383, true},
                           {SourceKind::pitchBend, 0, 0, V, 8192, true},
                       }));
    for (int v = 1; v < 128; ++v) {
        ASSERT_GT(scale7To14(static_cast<std::uint8_t>(v)),
                  scale7To14(static_cast<std::uint8_t>(v - 1)));
    }
}

TEST(SourceRecognizer, AFourteenBitPairIsKnownWhenItsLsbFollowsAndThenMovesAsOne) {
    Recognised r;
    r.feed({0xB0, 1, 64, 0xB0, 33, 16});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC, 0, 1, V, scale7To14(64), false},
                                          {CC14, 0, 1, V, 64 << 7 | 16, true}}))
        << "the first MSB counts alone, its LSB then shows the pair";
    EXPECT_TRUE(r.recognizer.pairKnown(0, 0, 1));

    r.clear();
    r.feed({0xB0, 1, 65, 33, 0, 33, 5});  // running status; then a lone LSB
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC14, 0, 1, V, 65 << 7, true},
                                          {CC14, 0, 1, V, 65 << 7 | 5, true}}));
    EXPECT_EQ(r.wires[0], (Bytes{0xB0, 1, 65, 0xB0, 33, 0})) << "both halves pass on together";

    // An MSB whose LSB does not come: any other message on the channel, or
    // the wait running out, lets it move with LSB 0.
    r.clear();
    r.feed({0xB0, 1, 66, 0xB0, 7, 10});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC14, 0, 1, V, 66 << 7, true},
                                          {CC, 0, 7, V, scale7To14(10), false}}));
    r.clear();
    r.feed({0xB0, 1, 67}, 1000ms);
    r.recognizer.flush(std::chrono::nanoseconds(1000ms + SourceRecognizer::kPairWait - 1ms).count(),
                       r);
    EXPECT_TRUE(r.moves.empty()) << "still waiting";
    r.recognizer.flush(std::chrono::nanoseconds(1000ms + SourceRecognizer::kPairWait).count(), r);
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC14, 0, 1, V, 67 << 7, true}}));

    // Controller 34 never following 2: a controller of its own; and other channels are apart.
    r.clear();
    r.feed({0xB0, 34, 9, 0xB1, 1, 3, 0xB0, 2, 4, 0xB1, 34, 5});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC, 0, 34, V, scale7To14(9), false},
                                          {CC, 1, 1, V, scale7To14(3), false},
                                          {CC, 0, 2, V, scale7To14(4), false},
                                          {CC, 1, 34, V, scale7To14(5), false}}));
}

TEST(SourceRecognizer, MappingHintsDecidePairsBeforeAnyLsbIsSeen) {
    Recognised r;
    std::array<std::uint32_t, 16> pairs{};
    std::array<std::uint32_t, 16> plain{};
    pairs[0] = 1U << 7;  // CC 7/39 is a pair on channel 1
    plain[0] = 1U << 1;  // CC 33 is a knob of its own on channel 1
    r.recognizer.setPairHints(pairs, plain);
    r.feed({0xB0, 7, 100, 0xB0, 39, 1, 0xB0, 1, 2, 0xB0, 33, 3});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC14, 0, 7, V, 100 << 7 | 1, true},
                                          {CC, 0, 1, V, scale7To14(2), false},
                                          {CC, 0, 33, V, scale7To14(3), false}}));
}

TEST(SourceRecognizer, NrpnAndRpnWithDataEntryIncrementAndDecrement) {
    Recognised r;
    r.feed({0xB0, 99, 1, 98, 2, 6, 64});  // NRPN 130, 7-bit data, running status
    ASSERT_EQ(r.moves, (std::vector<Move>{{SourceKind::nrpn, 0, 130, V, scale7To14(64), false}}));
    EXPECT_EQ(r.wires[0], (Bytes{0xB0, 99, 1, 0xB0, 98, 2, 0xB0, 6, 64}))
        << "passed on with its selection in front";

    r.clear();
    r.feed({0xB0, 38, 16, 0xB0, 6, 65, 0xB0, 38, 0});
    EXPECT_EQ(r.moves, (std::vector<Move>{{SourceKind::nrpn, 0, 130, V, 64 << 7 | 16, true},
                                          {SourceKind::nrpn, 0, 130, V, 65 << 7, true}}))
        << "once the channel sent 38, data MSB and LSB move as one";
    EXPECT_EQ(r.wires[1], (Bytes{0xB0, 99, 1, 0xB0, 98, 2, 0xB0, 6, 65, 0xB0, 38, 0}));

    r.clear();
    r.feed({0xB3, 101, 0, 100, 0, 6, 2, 96, 1, 97, 0});
    EXPECT_EQ(r.moves,
              (std::vector<Move>{{SourceKind::rpn, 3, 0, V, scale7To14(2), false},
                                 {SourceKind::rpn, 3, 0, SourceAction::increment, 0, false},
                                 {SourceKind::rpn, 3, 0, SourceAction::decrement, 0, false}}));

    // The null RPN ends the selection: data entry is a plain controller again.
    r.clear();
    r.feed({0xB3, 101, 127, 100, 127, 6, 9});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC, 3, 6, V, scale7To14(9), false}}));
}

TEST(SourceRecognizer, HalfAnNrpnMovesNothingAndIsNeverPassedOn) {
    Recognised r;
    r.feed({0xB0, 99, 5, 98, 6});  // selection without data
    r.feed({0xB1, 99, 5, 6, 10});  // data with half a selection
    EXPECT_TRUE(r.moves.empty());
    EXPECT_TRUE(r.others.empty());
    EXPECT_EQ(r.recognizer.incompleteSelections(), 1u);
    // A stream reset forgets the selection: its data no longer lands on it.
    r.recognizer.reset(0);
    r.feed({0xB0, 6, 10});
    EXPECT_EQ(r.moves, (std::vector<Move>{{CC, 0, 6, V, scale7To14(10), false}}));
}

TEST(SourceRecognizer, NotesPressAndReleaseOtherMessagesArePassedAlong) {
    Recognised r;
    r.feed({0x99, 36, 100, 36, 0, 0x89, 36, 64, 0xC0, 5, 0xA0, 60, 10, 0xF8});
    EXPECT_EQ(r.moves, (std::vector<Move>{
                           {SourceKind::note, 9, 36, SourceAction::press, scale7To14(100), false},
                           {SourceKind::note, 9, 36, SourceAction::release, 0, false},
                           {SourceKind::note, 9, 36, SourceAction::release, 0, false}}));
    EXPECT_EQ(r.others, (std::vector<Bytes>{{0xC0, 5}, {0xA0, 60, 10}, {0xF8}}));
}

TEST(RelativeEncoders, TheThreeCommonEncodings) {
    struct Case {
        MappingMode mode;
        std::uint8_t value;
        int steps;
    };
    const Case cases[] = {
        {MappingMode::relativeTwosComplement, 1, 1},
        {MappingMode::relativeTwosComplement, 63, 63},
        {MappingMode::relativeTwosComplement, 127, -1},
        {MappingMode::relativeTwosComplement, 64, -64},
        {MappingMode::relativeTwosComplement, 0, 0},
        {MappingMode::relativeSignedBit, 1, 1},
        {MappingMode::relativeSignedBit, 63, 63},
        {MappingMode::relativeSignedBit, 65, -1},
        {MappingMode::relativeSignedBit, 127, -63},
        {MappingMode::relativeSignedBit, 64, 0},
        {MappingMode::relativeBinaryOffset, 65, 1},
        {MappingMode::relativeBinaryOffset, 127, 63},
        {MappingMode::relativeBinaryOffset, 63, -1},
        {MappingMode::relativeBinaryOffset, 0, -64},
        {MappingMode::relativeBinaryOffset, 64, 0},
        {MappingMode::absolute, 5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(relativeDelta(c.mode, c.value), c.steps)
            << "mode " << static_cast<int>(c.mode) << " value " << int{c.value};
    }
}

}  // namespace
}  // namespace tarnwell
