#include "core/midi/din_pacer.hpp"

#include <algorithm>
#include <utility>

namespace tarnwell {

DinPacer::DinPacer(std::int64_t bytesPerSecond, ControlOf controlOf)
    : slot_(std::chrono::nanoseconds(kSequenceBytes * 1'000'000'000 /
                                     std::max<std::int64_t>(bytesPerSecond, 1))),
      controlOf_(controlOf != nullptr ? controlOf : &eachNumberItsOwn) {}

bool DinPacer::sameControl(const SentSequence& a, const SentSequence& b) const {
    return a.destination == b.destination && controlOf_(a.number) == controlOf_(b.number);
}

void DinPacer::offer(const SentSequence& sequence) {
    const auto matches = [&](const SentSequence& kept) { return sameControl(kept, sequence); };
    if (const auto it = std::ranges::find_if(hand_, matches); it != hand_.end()) {
        ++replaced_;
        it->number = sequence.number;
        it->value = sequence.value;
        it->time = sequence.time;
        if (sequence.origin != SendOrigin::physics) {
            it->origin = sequence.origin;
        }
        return;
    }
    // A move on a hardware controller is a hand edit: it goes first too.
    if (const auto it = std::ranges::find_if(physics_, matches); it != physics_.end()) {
        ++replaced_;
        if (sequence.origin != SendOrigin::physics) {
            physics_.erase(it);
            hand_.push_back(sequence);
        } else {
            it->number = sequence.number;
            it->value = sequence.value;
            it->time = sequence.time;
        }
        return;
    }
    (sequence.origin == SendOrigin::physics ? physics_ : hand_).push_back(sequence);
}

std::optional<SentSequence> DinPacer::release(std::chrono::nanoseconds now) {
    if (keptCount() == 0 || now < freeAt_) {
        return std::nullopt;
    }
    auto& from = hand_.empty() ? physics_ : hand_;
    SentSequence next = from.front();
    from.pop_front();
    // Within one slot of the link's free time the schedule is kept (a late
    // timer); after longer idle time the link starts afresh from now.
    const bool onSchedule = freeAt_ != std::chrono::nanoseconds::min() && now - freeAt_ <= slot_;
    freeAt_ = (onSchedule ? freeAt_ : now) + slot_;
    return next;
}

std::optional<std::chrono::nanoseconds> DinPacer::nextRelease() const {
    if (keptCount() == 0) {
        return std::nullopt;
    }
    return freeAt_;
}

std::deque<SentSequence> DinPacer::takeAll() {
    std::deque<SentSequence> all = std::exchange(hand_, {});
    for (auto& s : std::exchange(physics_, {})) {
        all.push_back(s);
    }
    return all;
}

}  // namespace tarnwell
