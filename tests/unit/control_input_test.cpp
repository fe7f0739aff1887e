#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/control/control_engine.hpp"
#include "core/control/midi_input.hpp"
#include "support/control_doubles.hpp"

namespace tarnwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

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
};

std::vector<Bytes> parse(const Bytes& bytes) {
    Parsed p;
    return p.feed(bytes).messages;
}

TEST(MidiStreamParser, RunningStatusGivesEveryMessageItsStatusByte) {
    EXPECT_EQ(
        parse({0x90, 60, 100, 62, 90, 64, 0, 0xC3, 5, 7}),
        (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 62, 90}, {0x90, 64, 0}, {0xC3, 5}, {0xC3, 7}}));
    EXPECT_EQ(parse({0xB0, 99, 1, 98, 2, 6, 64, 38, 0}),
              (std::vector<Bytes>{{0xB0, 99, 1}, {0xB0, 98, 2}, {0xB0, 6, 64}, {0xB0, 38, 0}}))
        << "an NRPN sent with running status";
}

TEST(MidiStreamParser, RealTimeBytesComeOutAtOnceWhereverTheyFallAndChangeNothingElse) {
    EXPECT_EQ(parse({0xB0, 0xF8, 7, 0xFE, 100, 0xFA, 8, 0xFF, 9}),
              (std::vector<Bytes>{{0xF8}, {0xFE}, {0xB0, 7, 100}, {0xFA}, {0xFF}, {0xB0, 8, 9}}))
        << "inside a message and between running-status messages";
    EXPECT_EQ(parse({0xF0, 0x7E, 0xF8, 0x01, 0xF7, 0xB0, 1, 2}),
              (std::vector<Bytes>{{0xF8}, {0xB0, 1, 2}}))
        << "inside a system-exclusive message too";
}

TEST(MidiStreamParser, SystemExclusiveIsSkippedWholeEvenUnterminated) {
    Parsed p;
    p.feed({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0xB0, 1, 2});
    EXPECT_EQ(p.messages, (std::vector<Bytes>{{0xB0, 1, 2}}));

    // An unterminated one ends at the next status byte, which counts as usual.
    p.messages.clear();
    p.feed({0xF0, 0x41, 0x10, 0x42, 0x90, 60, 100, 61, 0});
    EXPECT_EQ(p.messages, (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 61, 0}}));
    EXPECT_EQ(p.parser.counts().sysex, 2u);

    // It clears the running status: data after it belongs to nothing.
    p.messages.clear();
    p.feed({0xF0, 1, 0xF7, 62, 100});
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.parser.counts().strayBytes, 2u);
}

TEST(MidiStreamParser, SystemCommonLengthsAndTheRunningStatusTheyClear) {
    Parsed p;
    p.feed({0xF1, 0x12, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6});
    EXPECT_EQ(p.messages, (std::vector<Bytes>{{0xF1, 0x12}, {0xF2, 1, 2}, {0xF3, 5}, {0xF6}}));

    p.messages.clear();
    p.feed({0x90, 60, 100, 0xF1, 0x10, 61, 100, 0xF4, 0xF5, 1, 0xF7});
    EXPECT_EQ(p.messages, (std::vector<Bytes>{{0x90, 60, 100}, {0xF1, 0x10}}));
    EXPECT_EQ(p.parser.counts().strayBytes, 6u)
        << "61 100 after system common, undefined F4 F5, 1 after them, a lone F7";
}

TEST(MidiStreamParser, StrayDataAndCutMessagesAreDroppedNotMisread) {
    Parsed p;
    p.feed({1, 2, 3, 0x90, 60, 0xB0, 7, 100});
    EXPECT_EQ(p.messages, (std::vector<Bytes>{{0xB0, 7, 100}}));
    EXPECT_EQ(p.parser.counts().strayBytes, 3u);
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
        MidiStreamParser parser;
        std::vector<Bytes> got;
        while (ring.readable() > 0) {
            const MidiInputEvent& e = ring.peek(0);
            EXPECT_EQ(e.stream, 3);
            for (std::size_t i = 0; i < e.size; ++i) {
                parser.feed(e.bytes[i], e.time, e.stream, [&got](const MidiMessage& m) {
                    got.emplace_back(m.wire().begin(), m.wire().end());
                });
            }
            ring.commit(1);
        }
        ASSERT_EQ(got, whole) << "round " << round;
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
    EXPECT_EQ(thru.messages(), (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0}, {0x80, 61, 0}}))
        << "the note passed on before the gap is ended (its note-off may be what was lost)";

    // A long system-exclusive dump goes in groups and is skipped whole.
    MidiInputRing big(64);
    MidiInputWriter bigWriter(big);
    Bytes dump(300, 0x11);
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    dump.push_back(0xB0);
    dump.push_back(5);
    dump.push_back(6);
    EXPECT_TRUE(bigWriter.write(1, 0, dump));
    thru.clear();
    engine.drain(big);
    EXPECT_EQ(thru.messages(), (std::vector<Bytes>{{0xB0, 5, 6}}));
    EXPECT_FALSE(bigWriter.write(kMaxInputStreams, 0, noteOn)) << "no such stream";
}

}  // namespace
}  // namespace tarnwell
