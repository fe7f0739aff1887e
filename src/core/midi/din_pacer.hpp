#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "core/midi/link_speed.hpp"
#include "core/midi/sent_sequence.hpp"

namespace tarnwell {

// Holds sequences back so a slow link never gets more than its budget, and
// decides which go first. Pure bookkeeping on times it is given: the owner
// offers sequences, asks what may go now, and arranges to ask again at
// `nextRelease`.
//
// - A sequence is the unit: it goes whole or waits whole, never split.
// - While the link is busy, only the latest sequence of each control (and
//   destination) is kept; a newer one takes the place of the older one. A
//   control may own several numbers (a switch sends its on or its off
//   number): `ControlOf` says which control a number belongs to, so a switch
//   flipped twice while held ends on the synthesizer as it ends on the panel.
// - Hand edits (mouse, keyboard, a hardware controller) go before physics
//   values; within each, in order of arrival.
//   A physics value replacing a kept hand edit keeps the hand edit's place.
// - The link is modelled as busy for `slot` per sequence. A release up to one
//   slot late keeps the schedule, so a late timer costs no throughput; two
//   sequences then leave back to back.
class DinPacer {
public:
    // The control an NRPN number belongs to; numbers of one control map to
    // one key.
    using ControlOf = std::int64_t (*)(std::int64_t number);
    static std::int64_t eachNumberItsOwn(std::int64_t number) { return number; }

    explicit DinPacer(std::int64_t bytesPerSecond = kDinBytesPerSecond,
                      ControlOf controlOf = &eachNumberItsOwn);

    // How long one sequence occupies the link.
    [[nodiscard]] std::chrono::nanoseconds slot() const { return slot_; }

    void offer(const SentSequence& sequence);
    // The kept sequence that may go at `now`, if any; the link then counts as
    // busy for one more slot.
    [[nodiscard]] std::optional<SentSequence> release(std::chrono::nanoseconds now);
    // When the next kept sequence may go; empty when nothing is kept.
    [[nodiscard]] std::optional<std::chrono::nanoseconds> nextRelease() const;
    // Everything kept, in release order, leaving the pacer empty.
    [[nodiscard]] std::deque<SentSequence> takeAll();

    [[nodiscard]] std::size_t keptCount() const { return hand_.size() + physics_.size(); }
    // Values replaced by a newer value of their parameter before they left.
    [[nodiscard]] std::uint64_t replacedCount() const { return replaced_; }

private:
    [[nodiscard]] bool sameControl(const SentSequence& a, const SentSequence& b) const;

    std::chrono::nanoseconds slot_;
    ControlOf controlOf_;
    std::chrono::nanoseconds freeAt_{std::chrono::nanoseconds::min()};
    std::deque<SentSequence> hand_;
    std::deque<SentSequence> physics_;
    std::uint64_t replaced_ = 0;
};

}  // namespace tarnwell
