#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/midi/spsc_ring.hpp"

namespace tarnwell {

class WakeSignal;

// Raw MIDI input from a hardware controller, on its way from the MIDI system's
// real-time thread to the main thread.
//
// A MIDI system hands over input either as whole messages per event (JACK,
// ALSA sequencer, RtMidi) or as an arbitrary cut of a byte stream (a raw DIN
// port). Both are carried the same way: the bytes of one delivered event, in
// chunks, tagged with the input stream they came from, and parsed on the main
// thread by a stateful parser per stream. So running status, a message split
// across two deliveries and real-time bytes inside a message all come out right
// whichever way the system cut the stream.

// Input streams the panel tells apart (one per connected source).
inline constexpr std::size_t kMaxInputStreams = 16;
// Bytes one ring record carries: a whole NRPN sequence fits.
inline constexpr std::size_t kInputChunkBytes = 12;

// One record of the input ring: up to kInputChunkBytes bytes of one stream.
struct MidiInputEvent {
    // Set on the first record of a stream after input of that stream was lost
    // (the ring was full): the parser must not join bytes across the gap.
    static constexpr std::uint8_t kGapBefore = 1;

    std::int64_t time = 0;  // nanoseconds on the steady clock, when it arrived
    std::uint8_t stream = 0;
    std::uint8_t size = 0;  // bytes used, 1 to kInputChunkBytes
    std::uint8_t flags = 0;
    std::array<std::uint8_t, kInputChunkBytes> bytes{};
};

using MidiInputRing = SpscQueue<MidiInputEvent>;

// The producer side of the input ring, for the MIDI system's real-time
// callback.
//
// Threading: `write` is called by one thread at a time (the ring's producer);
// it never blocks, locks, allocates or makes a system call. `droppedEvents`
// may be read from any thread.
class MidiInputWriter {
public:
    explicit MidiInputWriter(MidiInputRing& ring) : ring_(ring) {}
    MidiInputWriter(const MidiInputWriter&) = delete;
    MidiInputWriter& operator=(const MidiInputWriter&) = delete;

    // Copies the bytes of one delivered event. An event of up to
    // kInputChunkBytes * kGroupChunks bytes goes in whole or not at all; a
    // longer one (a system-exclusive dump) goes in groups and may lose its
    // tail. Whatever is lost is counted and the stream's next record is marked
    // kGapBefore. Returns false when anything was lost. A stream number at or
    // beyond kMaxInputStreams is dropped and counted.
    bool write(std::uint8_t stream, std::int64_t time, std::span<const std::uint8_t> bytes);

    // Events (or tails of events) lost because the ring was full.
    [[nodiscard]] std::uint64_t droppedEvents() const {
        return dropped_.load(std::memory_order_relaxed);
    }

    static constexpr std::size_t kGroupChunks = 8;

private:
    MidiInputRing& ring_;
    std::atomic<std::uint64_t> dropped_{0};
    // Streams whose next record follows lost input; producer-only.
    std::uint32_t gapPending_ = 0;
};

// Takes the records of an input queue on the main thread.
class MidiInputConsumer {
public:
    virtual ~MidiInputConsumer() = default;
    virtual void receive(const MidiInputEvent& record) = 0;
};

// One MIDI system's input on its way to the main thread: the ring its input
// thread writes, the stream number its records carry and the signal that
// wakes the main thread. A service keeps one per input thread, so every ring
// has one producer.
//
// Threading: `received` on the MIDI system's input thread (one at a time; the
// role may move to another thread only across a synchronisation point such as
// closing and opening a port). It never blocks, locks or allocates; the wake
// is one atomic operation and, when the main thread was not yet told, one
// write to a pipe. `setStream` and `setWake` on the main thread; `take` on the
// main thread only.
class MidiInputQueue {
public:
    // About two seconds of a controller streaming 2,000 messages a second,
    // should the main thread stall that long; beyond that input is dropped
    // and counted, never queued without bound.
    static constexpr std::size_t kDefaultRecords = 4096;

    explicit MidiInputQueue(std::size_t records = kDefaultRecords)
        : ring_(records), writer_(ring_) {}
    MidiInputQueue(const MidiInputQueue&) = delete;
    MidiInputQueue& operator=(const MidiInputQueue&) = delete;

    // Set before input can arrive; the signal must outlive the queue's use.
    void setWake(WakeSignal* wake) { wake_.store(wake, std::memory_order_release); }
    void setStream(std::uint8_t stream) { stream_.store(stream, std::memory_order_release); }
    [[nodiscard]] std::uint8_t stream() const { return stream_.load(std::memory_order_acquire); }

    // The bytes of one event as the MIDI system delivered it, at `time`
    // (nanoseconds on the steady clock).
    void received(std::int64_t time, std::span<const std::uint8_t> bytes) noexcept;

    // Hands every record queued now to `consumer`, oldest first; returns how
    // many.
    std::size_t take(MidiInputConsumer& consumer);
    // Events lost because the ring was full.
    [[nodiscard]] std::uint64_t dropped() const { return writer_.droppedEvents(); }
    [[nodiscard]] std::size_t capacity() const { return ring_.capacity(); }
    // Records waiting now (approximate off the main thread).
    [[nodiscard]] std::size_t queued() const { return ring_.readable(); }

private:
    MidiInputRing ring_;
    MidiInputWriter writer_;
    std::atomic<std::uint8_t> stream_{0};
    std::atomic<WakeSignal*> wake_{nullptr};
};

// One complete MIDI message as the parser delivers it: a channel message with
// its status byte restored (running status is undone), a system common
// message, or a single real-time byte.
struct MidiMessage {
    std::int64_t time = 0;
    std::uint8_t stream = 0;
    std::uint8_t size = 0;  // 1 to 3
    std::array<std::uint8_t, 3> bytes{};

    [[nodiscard]] std::uint8_t status() const { return bytes[0]; }
    [[nodiscard]] bool isChannelMessage() const { return bytes[0] >= 0x80 && bytes[0] < 0xF0; }
    [[nodiscard]] std::uint8_t type() const { return bytes[0] & 0xF0; }
    [[nodiscard]] std::uint8_t channel() const { return bytes[0] & 0x0F; }
    [[nodiscard]] std::span<const std::uint8_t> wire() const { return {bytes.data(), size}; }
};

// What a parser has thrown away or skipped, for the monitor.
struct MidiParseCounts {
    std::uint64_t messages = 0;     // complete messages delivered
    std::uint64_t strayBytes = 0;   // data bytes with no status to belong to, stray 0xF7,
                                    // undefined system common bytes
    std::uint64_t interrupted = 0;  // partial messages cut off by a new status byte
    std::uint64_t sysex = 0;        // system-exclusive messages skipped (terminated or not)
};

// Turns the bytes of one input stream into whole messages.
//
// Rules (those of the MIDI wire protocol):
// - Real-time bytes 0xF8-0xFF are delivered at once as one-byte messages,
//   wherever they fall, even inside another message or a system-exclusive
//   one, and change no other state.
// - A channel status byte starts a message and becomes the running status:
//   data bytes that follow without a status form further messages of it.
// - System-exclusive (0xF0 ... 0xF7) is skipped whole; any status byte other
//   than a real-time one ends it, the unterminated message is skipped, and
//   that status byte is handled as usual.
// - System common messages (0xF1 1 data byte, 0xF2 2, 0xF3 1, 0xF6 none)
//   are delivered; they and system-exclusive clear the running status. The
//   undefined 0xF4, 0xF5 and a stray 0xF7 are dropped and clear it too.
// - A data byte with no status to belong to is dropped; a message cut short by
//   a new status byte is dropped.
//
// Threading: one parser belongs to one thread (the main thread). No
// allocation.
class MidiStreamParser {
public:
    // Forgets the running status and any partial message, as after lost input.
    void reset() {
        status_ = 0;
        have_ = 0;
        inSysEx_ = false;
    }

    // Feeds one byte; calls emit(const MidiMessage&) for each message it
    // completes.
    template <typename Emit>
    void feed(std::uint8_t byte, std::int64_t time, std::uint8_t stream, Emit&& emit) {
        if (byte >= 0xF8) {
            deliver(time, stream, 1, byte, 0, 0, emit);
            return;
        }
        if (byte >= 0x80) {
            startStatus(byte, time, stream, emit);
            return;
        }
        if (inSysEx_) {
            return;
        }
        if (status_ == 0) {
            ++counts_.strayBytes;
            return;
        }
        data_[have_++] = byte;
        if (have_ < expected_) {
            return;
        }
        have_ = 0;
        deliver(time, stream, static_cast<std::uint8_t>(1 + expected_), status_, data_[0],
                expected_ == 2 ? data_[1] : std::uint8_t{0}, emit);
        if (status_ >= 0xF0) {
            status_ = 0;  // system common messages do not run
        }
    }

    [[nodiscard]] const MidiParseCounts& counts() const { return counts_; }

private:
    template <typename Emit>
    void startStatus(std::uint8_t byte, std::int64_t time, std::uint8_t stream, Emit&& emit) {
        if (inSysEx_) {
            inSysEx_ = false;
            if (byte == 0xF7) {
                return;
            }
        } else if (have_ > 0) {
            ++counts_.interrupted;
        }
        have_ = 0;
        status_ = 0;
        if (byte < 0xF0) {
            status_ = byte;
            const std::uint8_t type = byte & 0xF0;
            expected_ = (type == 0xC0 || type == 0xD0) ? 1 : 2;
            return;
        }
        switch (byte) {
            case 0xF0:
                inSysEx_ = true;
                ++counts_.sysex;
                return;
            case 0xF1:
            case 0xF3:
                status_ = byte;
                expected_ = 1;
                return;
            case 0xF2:
                status_ = byte;
                expected_ = 2;
                return;
            case 0xF6:
                deliver(time, stream, 1, byte, 0, 0, emit);
                return;
            default:  // 0xF4, 0xF5 undefined; 0xF7 without a system-exclusive message
                ++counts_.strayBytes;
                return;
        }
    }

    template <typename Emit>
    void deliver(std::int64_t time, std::uint8_t stream, std::uint8_t size, std::uint8_t b0,
                 std::uint8_t b1, std::uint8_t b2, Emit&& emit) {
        ++counts_.messages;
        MidiMessage message;
        message.time = time;
        message.stream = stream;
        message.size = size;
        message.bytes = {b0, b1, b2};
        emit(static_cast<const MidiMessage&>(message));
    }

    std::uint8_t status_ = 0;  // running status, or the system common message being read
    std::uint8_t expected_ = 0;
    std::uint8_t have_ = 0;
    bool inSysEx_ = false;
    std::array<std::uint8_t, 2> data_{};
    MidiParseCounts counts_;
};

}  // namespace tarnwell
