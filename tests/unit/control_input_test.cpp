#include <algorithm>
#include <chrono>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/control/control_engine.hpp"
#include "core/control/mapping.hpp"
#include "core/control/midi_input.hpp"
#include "core/control/midi_source.hpp"
#include "support/control_doubles.hpp"

namespace tarnwell {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;
using namespace std::chrono_literals;

// Each message the parser delivers, as its wire bytes.
struct Parsed {
    MidiStreamParser parser;
    std::vector<Bytes> messages;

    Parsed& feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) {
            parser.feed(b, 0, 0, [this](const MidiMessage& m) {
                messages.emplace_back(m.wire().begin(), m.wire().end());
            });
        }
        return *this;
    }
    // The messages `bytes` complete, on the state earlier bytes left.
    std::vector<Bytes> take(const Bytes& bytes) { return std::exchange(feed(bytes).messages, {}); }
};

std::vector<Bytes> parse(const Bytes& bytes) {
    return Parsed().take(bytes);
}

TEST(MidiStreamParser, RunningStatusGivesEveryMessageItsStatusByte) {
    EXPECT_EQ(parse({0x90, 60, 100, 62, 90, 64, 0, 0xC3, 5, 7}),
              (Messages{{0x90, 60, 100}, {0x90, 62, 90}, {0x90, 64, 0}, {0xC3, 5}, {0xC3, 7}}));
    EXPECT_EQ(parse({0xB0, 99, 1, 98, 2, 6, 64, 38, 0}),
              (Messages{{0xB0, 99, 1}, {0xB0, 98, 2}, {0xB0, 6, 64}, {0xB0, 38, 0}}))
        << "an NRPN sent with running status";
}

TEST(MidiStreamParser, RealTimeBytesComeOutAtOnceWhereverTheyFallAndChangeNothingElse) {
    EXPECT_EQ(parse({0xB0, 0xF8, 7, 0xFE, 100, 0xFA, 8, 0xFF, 9}),
              (Messages{{0xF8}, {0xFE}, {0xB0, 7, 100}, {0xFA}, {0xFF}, {0xB0, 8, 9}}))
        << "inside a message and between running-status messages";
    EXPECT_EQ(parse({0xF0, 0x7E, 0xF8, 0x01, 0xF7, 0xB0, 1, 2}), (Messages{{0xF8}, {0xB0, 1, 2}}))
        << "inside a system-exclusive message too";
}

TEST(MidiStreamParser, SystemExclusiveIsSkippedWholeEvenUnterminated) {
    Parsed p;
    EXPECT_EQ(p.take({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0xB0, 1, 2}), (Messages{{0xB0, 1, 2}}));
    // An unterminated one ends at the next status byte, which counts as usual.
    EXPECT_EQ(p.take({0xF0, 0x41, 0x10, 0x42, 0x90, 60, 100, 61, 0}),
              (Messages{{0x90, 60, 100}, {0x90, 61, 0}}));
    EXPECT_EQ(p.parser.counts().sysex, 2u);
    // It clears the running status: data after it belongs to nothing.
    EXPECT_TRUE(p.take({0xF0, 1, 0xF7, 62, 100}).empty());
    EXPECT_EQ(p.parser.counts().strayBytes, 2u);
}

TEST(MidiStreamParser, SystemCommonLengthsStrayDataAndCutMessagesAreNotMisread) {
    Parsed p;
    EXPECT_EQ(p.take({0xF1, 0x12, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6}),
              (Messages{{0xF1, 0x12}, {0xF2, 1, 2}, {0xF3, 5}, {0xF6}}));
    EXPECT_EQ(p.take({0x90, 60, 100, 0xF1, 0x10, 61, 100, 0xF4, 0xF5, 1, 0xF7}),
              (Messages{{0x90, 60, 100}, {0xF1, 0x10}}));
    EXPECT_EQ(p.parser.counts().strayBytes, 6u)
        << "61 100 after system common, undefined F4 F5, 1 after them, a lone F7";

    EXPECT_EQ(p.take({1, 2, 3, 0x90, 60, 0xB0, 7, 100}), (Messages{{0xB0, 7, 100}}));
    EXPECT_EQ(p.parser.counts().strayBytes, 9u);
    EXPECT_EQ(p.parser.counts().interrupted, 1u) << "the note cut short by B0";
}

TEST(MidiStreamParser, HowTheStreamIsCutIntoDeliveriesChangesNothing) {
    const Bytes stream = {0xB0, 99, 1,   98, 2, 0xF8, 6, 64,   38,   0, 0xF0, 1,    2, 3,   0xF7,
                          0x90, 60, 100, 60, 0, 0xE0, 0, 0x40, 0xF2, 1, 2,    0xD1, 5, 0xFE};
    const std::vector<Bytes> whole = parse(stream);
    ASSERT_EQ(whole.size(), 11u);
    std::mt19937 cuts(7);
    for (int round = 0; round < 200; ++round) {
        // The same bytes through the ring in deliveries of random sizes.
        MidiInputRing ring(64);
        MidiInputWriter writer(ring);
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n = std::min<std::size_t>(1 + cuts() % 5, stream.size() - at);
            ASSERT_TRUE(writer.write(3, 0, std::span(stream).subspan(at, n)));
            at += n;
        }
        Parsed got;
        for (; ring.readable() > 0; ring.commit(1)) {
            const MidiInputEvent& e = ring.peek(0);
            EXPECT_EQ(e.stream, 3);
            got.feed(Bytes(e.bytes.begin(), e.bytes.begin() + e.size));
        }
        ASSERT_EQ(got.messages, whole) << "round " << round;
    }
}

TEST(MidiInputWriter, AFullRingCountsWhatItLostAndThePartAfterTheGapIsNotJoinedToWhatCameBefore) {
    MidiInputRing ring(2);
    MidiInputWriter writer(ring);
    test::FakeTarget target;
    test::ThruRecorder thru;
    ControlEngine engine(target, &thru);
    engine.setThru(true);

    const Bytes noteOn = {0x90, 60, 100};
    EXPECT_TRUE(writer.write(0, 0, noteOn));
    EXPECT_TRUE(writer.write(0, 0, Bytes{0x90}));  // a DIN stream cut after the status
    EXPECT_FALSE(writer.write(0, 0, Bytes{61, 100})) << "no room";
    EXPECT_EQ(writer.droppedEvents(), 1u);
    EXPECT_EQ(engine.drain(ring), 2u);
    // With the gap, 62 100 must not become a note on of the running status.
    EXPECT_TRUE(writer.write(0, 0, Bytes{62, 100, 0x80, 61, 0}));
    engine.drain(ring);
    EXPECT_EQ(engine.counts().gaps, 1u);
    EXPECT_EQ(thru.messages(), (Messages{{0x90, 60, 100}, {0x80, 60, 0}, {0x80, 61, 0}}))
        << "the note passed on before the gap is ended (its note-off may be what was lost)";

    // A long system-exclusive dump goes in groups and is skipped whole.
    MidiInputRing big(64);
    MidiInputWriter bigWriter(big);
    Bytes dump(303, 0x11);
    dump.front() = 0xF0;
    std::copy_n(Bytes{0xF7, 0xB0, 5, 6}.begin(), 4, dump.end() - 4);
    EXPECT_TRUE(bigWriter.write(1, 0, dump));
    thru.clear();
    engine.drain(big);
    EXPECT_EQ(thru.messages(), (Messages{{0xB0, 5, 6}}));
    EXPECT_FALSE(bigWriter.write(kMaxInputStreams, 0, noteOn)) << "no such stream";
}

// Each move the recognizer made: kind, channel, number, action, value, fine.
using Move = std::tuple<SourceKind, int, int, SourceAction, int, bool>;
using Moves = std::vector<Move>;

struct Recognised : SourceSink {
    SourceRecognizer recognizer;
    MidiStreamParser parser;
    Moves moves;
    std::vector<Bytes> wires;
    std::vector<Bytes> others;

    void sourceMoved(const SourceEvent& e) override {
        moves.emplace_back(e.id.kind, e.id.channel, e.id.number, e.action, e.value, e.fine);
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
    Recognised& clear() {
        moves.clear();
        wires.clear();
        others.clear();
        return *this;
    }
};

constexpr auto CC = SourceKind::controlChange;
constexpr auto CC14 = SourceKind::controlChange14;
constexpr auto V = SourceAction::value;
constexpr auto NOTE = SourceKind::note;
constexpr auto NRPN = SourceKind::nrpn;
constexpr auto PRESSURE = SourceKind::channelPressure;
constexpr auto BEND = SourceKind::pitchBend;
Move mv(SourceKind kind, int channel, int number, int v, bool fine = false) {
    return {kind, channel, number, V, v, fine};
}
// A 7-bit controller move of raw value `v`, and a 14-bit one of value `v`.
Move cc(int channel, int number, int v) {
    return mv(CC, channel, number, scale7To14(static_cast<std::uint8_t>(v)));
}
Move cc14(int number, int v) {
    return mv(CC14, 0, number, v, true);
}

TEST(SourceRecognizer, SevenBitSourcesReachBothEndsOfTheFourteenBitRange) {
    Recognised r;
    r.feed({0xB2, 74,   0, 74, 127,  74,   64,   0xD0, 127, 0xD0,
            0,    0xE0, 0, 0,  0xE0, 0x7F, 0x7F, 0xE0, 0,   0x40});
    EXPECT_EQ(r.moves,
              (Moves{mv(CC, 2, 74, 0), mv(CC, 2, 74, 16383), mv(CC, 2, 74, 8256),
                     mv(PRESSURE, 0, 0, 16383), mv(PRESSURE, 0, 0, 0), mv(BEND, 0, 0, 0, true),
                     mv(BEND, 0, 0, 16383, true), mv(BEND, 0, 0, 8192, true)}));
    for (std::uint8_t v = 1; v < 128; ++v) {
        ASSERT_GT(scale7To14(v), scale7To14(static_cast<std::uint8_t>(v - 1)));
    }
}

TEST(SourceRecognizer, AFourteenBitPairIsKnownWhenItsLsbFollowsAndThenMovesAsOne) {
    Recognised r;
    r.feed({0xB0, 1, 64, 0xB0, 33, 16});
    EXPECT_EQ(r.moves, (Moves{cc(0, 1, 64), cc14(1, 64 << 7 | 16)}))
        << "the first MSB counts alone, its LSB then shows the pair";
    EXPECT_TRUE(r.recognizer.pairKnown(0, 0, 1));

    r.clear().feed({0xB0, 1, 65, 33, 0, 33, 5});  // running status; then a lone LSB
    EXPECT_EQ(r.moves, (Moves{cc14(1, 65 << 7), cc14(1, 65 << 7 | 5)}));
    EXPECT_EQ(r.wires[0], (Bytes{0xB0, 1, 65, 0xB0, 33, 0})) << "both halves pass on together";

    // A lone MSB moves with LSB 0 at the channel's next message or the wait's end.
    r.clear().feed({0xB0, 1, 66, 0xB0, 7, 10});
    EXPECT_EQ(r.moves, (Moves{cc14(1, 66 << 7), cc(0, 7, 10)}));
    r.clear().feed({0xB0, 1, 67}, 1000ms);
    const auto due = std::chrono::nanoseconds(1000ms + SourceRecognizer::kPairWait).count();
    r.recognizer.flush(due - 1, r);
    EXPECT_TRUE(r.moves.empty()) << "still waiting";
    r.recognizer.flush(due, r);
    EXPECT_EQ(r.moves, (Moves{cc14(1, 67 << 7)}));

    // Controller 34 never following 2: a controller of its own; and other channels are apart.
    r.clear().feed({0xB0, 34, 9, 0xB1, 1, 3, 0xB0, 2, 4, 0xB1, 34, 5});
    EXPECT_EQ(r.moves, (Moves{cc(0, 34, 9), cc(1, 1, 3), cc(0, 2, 4), cc(1, 34, 5)}));
}

TEST(SourceRecognizer, MappingHintsDecidePairsBeforeAnyLsbIsSeen) {
    Recognised r;
    std::array<std::uint32_t, 16> pairs{};
    std::array<std::uint32_t, 16> plain{};
    pairs[0] = 1U << 7;  // CC 7/39 is a pair on channel 1
    plain[0] = 1U << 1;  // CC 33 is a knob of its own on channel 1
    r.recognizer.setPairHints(pairs, plain);
    r.feed({0xB0, 7, 100, 0xB0, 39, 1, 0xB0, 1, 2, 0xB0, 33, 3});
    EXPECT_EQ(r.moves, (Moves{cc14(7, 100 << 7 | 1), cc(0, 1, 2), cc(0, 33, 3)}));
}

TEST(SourceRecognizer, NrpnAndRpnWithDataEntryIncrementAndDecrementAndHalfAnNrpnMovesNothing) {
    Recognised r;
    r.feed({0xB0, 99, 1, 98, 2, 6, 64});  // NRPN 130, 7-bit data, running status
    ASSERT_EQ(r.moves, (Moves{mv(NRPN, 0, 130, scale7To14(64))}));
    EXPECT_EQ(r.wires[0], (Bytes{0xB0, 99, 1, 0xB0, 98, 2, 0xB0, 6, 64}))
        << "passed on with its selection in front";

    r.clear().feed({0xB0, 38, 16, 0xB0, 6, 65, 0xB0, 38, 0});
    EXPECT_EQ(r.moves,
              (Moves{mv(NRPN, 0, 130, 64 << 7 | 16, true), mv(NRPN, 0, 130, 65 << 7, true)}))
        << "once the channel sent 38, data MSB and LSB move as one";
    EXPECT_EQ(r.wires[1], (Bytes{0xB0, 99, 1, 0xB0, 98, 2, 0xB0, 6, 65, 0xB0, 38, 0}));

    r.clear().feed({0xB3, 101, 0, 100, 0, 6, 2, 96, 1, 97, 0});
    EXPECT_EQ(r.moves, (Moves{{SourceKind::rpn, 3, 0, V, scale7To14(2), false},
                              {SourceKind::rpn, 3, 0, SourceAction::increment, 0, false},
                              {SourceKind::rpn, 3, 0, SourceAction::decrement, 0, false}}));

    // The null RPN ends the selection: data entry is a plain controller again.
    r.clear().feed({0xB3, 101, 127, 100, 127, 6, 9});
    EXPECT_EQ(r.moves, (Moves{cc(3, 6, 9)}));

    // Half an NRPN moves nothing and is never passed on.
    r.clear().feed({0xB0, 99, 5, 98, 6});  // selection without data
    r.feed({0xB1, 99, 5, 6, 10});          // data with half a selection
    EXPECT_TRUE(r.moves.empty());
    EXPECT_TRUE(r.others.empty());
    EXPECT_EQ(r.recognizer.incompleteSelections(), 1u);
    // A stream reset forgets the selection: its data no longer lands on it.
    r.recognizer.reset(0);
    r.feed({0xB0, 6, 10});
    EXPECT_EQ(r.moves, (Moves{cc(0, 6, 10)}));
}

TEST(SourceRecognizer, NotesPressAndReleaseOtherMessagesArePassedAlong) {
    Recognised r;
    r.feed({0x99, 36, 100, 36, 0, 0x89, 36, 64, 0xC0, 5, 0xA0, 60, 10, 0xF8});
    EXPECT_EQ(r.moves, (Moves{{NOTE, 9, 36, SourceAction::press, scale7To14(100), false},
                              {NOTE, 9, 36, SourceAction::release, 0, false},
                              {NOTE, 9, 36, SourceAction::release, 0, false}}));
    EXPECT_EQ(r.others, (Messages{{0xC0, 5}, {0xA0, 60, 10}, {0xF8}}));
}

TEST(RelativeEncoders, TheThreeCommonEncodings) {
    using enum MappingMode;
    const std::vector<std::pair<MappingMode, std::vector<std::pair<std::uint8_t, int>>>> cases = {
        {relativeTwosComplement, {{1, 1}, {63, 63}, {127, -1}, {64, -64}, {0, 0}}},
        {relativeSignedBit, {{1, 1}, {63, 63}, {65, -1}, {127, -63}, {64, 0}}},
        {relativeBinaryOffset, {{65, 1}, {127, 63}, {63, -1}, {0, -64}, {64, 0}}},
        {absolute, {{5, 0}}}};
    for (const auto& [mode, rows] : cases) {
        for (const auto& [value, steps] : rows) {
            EXPECT_EQ(relativeDelta(mode, value), steps)
                << "mode " << static_cast<int>(mode) << " value " << int{value};
        }
    }
}

}  // namespace
}  // namespace tarnwell
