#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "core/midi/sent_sequence.hpp"

namespace tarnwell {

// One line of the outgoing-MIDI monitor: a single sequence, or a stream of
// sequences of one parameter to one destination, shown as its latest value,
// its count and its recent rate.
struct MonitorRow {
    std::uint64_t id = 0;  // stays with the row while it grows
    EndpointRef destination = 0;
    std::string destinationName;
    std::int64_t number = 0;
    std::int64_t value = 0;                // latest
    SendOrigin origin = SendOrigin::hand;  // of the latest
    std::chrono::nanoseconds first{0};
    std::chrono::nanoseconds last{0};
    std::uint64_t count = 0;
    // The row's latest sequences, oldest first, at most `recentPerRow`.
    std::deque<SentSequence> recent;

    // Sequences a second over `recent`; 0 until there are two.
    [[nodiscard]] double rate() const;
};

// The monitor's record of what the panel sends, bounded in memory. A sequence
// joins the newest row of its parameter and destination when that row's last
// sequence is at most `streamGap` older; otherwise it opens a new row. Rows
// beyond `maxRows` fall off the oldest end.
//
// Attach it to the manager only while someone looks at it: as an observer it
// costs the send path a call per sequence. Main thread only.
class MonitorFeed final : public SendObserver {
public:
    struct Limits {
        std::size_t maxRows = 1000;
        std::size_t recentPerRow = 64;
        std::chrono::nanoseconds streamGap = std::chrono::milliseconds(500);
    };
    using NameOf = std::function<std::string(EndpointRef)>;

    explicit MonitorFeed(NameOf nameOf, Limits limits);
    explicit MonitorFeed(NameOf nameOf) : MonitorFeed(std::move(nameOf), Limits{}) {}

    void sequenceSent(const SentSequence& sequence) override;

    // Oldest first.
    [[nodiscard]] const std::deque<MonitorRow>& rows() const { return rows_; }
    [[nodiscard]] const Limits& limits() const { return limits_; }
    // Whether `row` may still grow at `now`.
    [[nodiscard]] bool isLive(const MonitorRow& row, std::chrono::nanoseconds now) const {
        return now - row.last <= limits_.streamGap;
    }
    // The time rows are shown relative to: the first sequence since the feed
    // was made or cleared.
    [[nodiscard]] std::chrono::nanoseconds epoch() const { return epoch_; }
    // Changes whenever the rows change, so a view redraws only then.
    [[nodiscard]] std::uint64_t version() const { return version_; }
    // Called after every change of the rows, inside the send that made it
    // (it must not send), so a view that sleeps while nothing changes learns
    // when to wake. Empty for none.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    // Rows that fell off the oldest end since the last clear.
    [[nodiscard]] std::uint64_t droppedRows() const { return droppedRows_; }

    void clear();

private:
    void announce() {
        if (changed_) {
            changed_();
        }
    }

    NameOf nameOf_;
    std::function<void()> changed_;
    Limits limits_;
    std::deque<MonitorRow> rows_;
    // The newest row of each destination and number, by id.
    std::map<std::pair<EndpointRef, std::int64_t>, std::uint64_t> newest_;
    std::uint64_t nextId_ = 1;
    std::uint64_t version_ = 0;
    std::uint64_t droppedRows_ = 0;
    std::chrono::nanoseconds epoch_{0};
};

// The rows as plain text, one line each, columns separated by tabs: time in
// seconds since the epoch, NRPN number, name, value, count and rate for
// streams, destination, origin. `nameOf` names an NRPN number.
[[nodiscard]] std::string monitorText(const std::deque<MonitorRow>& rows,
                                      std::chrono::nanoseconds epoch,
                                      const std::function<std::string(std::int64_t)>& nameOf);

}  // namespace tarnwell
