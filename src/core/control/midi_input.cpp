#include "core/control/midi_input.hpp"

#include <algorithm>

#include "core/base/wake_signal.hpp"

namespace tarnwell {

bool MidiInputWriter::write(std::uint8_t stream, std::int64_t time,
                            std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return true;
    }
    if (stream >= kMaxInputStreams) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const std::uint32_t bit = std::uint32_t{1} << stream;
    std::array<MidiInputEvent, kGroupChunks> group;
    while (!bytes.empty()) {
        std::size_t chunks = 0;
        while (chunks < kGroupChunks && !bytes.empty()) {
            MidiInputEvent& event = group[chunks++];
            const std::size_t size = std::min(bytes.size(), kInputChunkBytes);
            event.time = time;
            event.stream = stream;
            event.size = static_cast<std::uint8_t>(size);
            event.flags = 0;
            std::copy_n(bytes.begin(), size, event.bytes.begin());
            bytes = bytes.subspan(size);
        }
        if ((gapPending_ & bit) != 0) {
            group[0].flags = MidiInputEvent::kGapBefore;
        }
        if (!ring_.pushAll(std::span<const MidiInputEvent>(group.data(), chunks))) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            gapPending_ |= bit;
            return false;
        }
        gapPending_ &= ~bit;
    }
    return true;
}

void MidiInputQueue::received(std::int64_t time, std::span<const std::uint8_t> bytes) noexcept {
    if (bytes.empty()) {
        return;
    }
    // Written even when the ring is full: the writer counts the loss and
    // marks the gap, and the main thread must still be woken to make room.
    writer_.write(stream_.load(std::memory_order_acquire), time, bytes);
    if (WakeSignal* wake = wake_.load(std::memory_order_acquire)) {
        wake->notify();
    }
}

std::size_t MidiInputQueue::take(MidiInputConsumer& consumer) {
    const std::size_t count = ring_.readable();
    for (std::size_t i = 0; i < count; ++i) {
        consumer.receive(ring_.peek(i));
    }
    ring_.commit(count);
    return count;
}

}  // namespace tarnwell
