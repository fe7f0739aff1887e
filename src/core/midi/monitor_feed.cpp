#include "core/midi/monitor_feed.hpp"

#include <cstdio>

namespace tarnwell {

double MonitorRow::rate() const {
    if (recent.size() < 2) {
        return 0.0;
    }
    const std::chrono::duration<double> span = recent.back().time - recent.front().time;
    if (span.count() <= 0.0) {
        return 0.0;
    }
    return static_cast<double>(recent.size() - 1) / span.count();
}

MonitorFeed::MonitorFeed(NameOf nameOf, Limits limits)
    : nameOf_(std::move(nameOf)), limits_(limits) {
    if (limits_.maxRows == 0) {
        limits_.maxRows = 1;
    }
    if (limits_.recentPerRow == 0) {
        limits_.recentPerRow = 1;
    }
}

void MonitorFeed::sequenceSent(const SentSequence& sequence) {
    ++version_;
    if (rows_.empty() && newest_.empty()) {
        epoch_ = sequence.time;
    }
    const auto key = std::make_pair(sequence.destination, sequence.number);
    if (const auto it = newest_.find(key); it != newest_.end() && !rows_.empty()) {
        const std::uint64_t index = it->second - rows_.front().id;
        if (index < rows_.size()) {
            MonitorRow& row = rows_[index];
            if (sequence.time - row.last <= limits_.streamGap) {
                row.value = sequence.value;
                row.origin = sequence.origin;
                row.last = sequence.time;
                ++row.count;
                row.recent.push_back(sequence);
                if (row.recent.size() > limits_.recentPerRow) {
                    row.recent.pop_front();
                }
                announce();
                return;
            }
        }
    }
    MonitorRow row;
    row.id = nextId_++;
    row.destination = sequence.destination;
    row.destinationName = nameOf_ ? nameOf_(sequence.destination) : std::string();
    row.number = sequence.number;
    row.value = sequence.value;
    row.origin = sequence.origin;
    row.first = sequence.time;
    row.last = sequence.time;
    row.count = 1;
    row.recent.push_back(sequence);
    rows_.push_back(std::move(row));
    newest_[key] = rows_.back().id;
    while (rows_.size() > limits_.maxRows) {
        const MonitorRow& oldest = rows_.front();
        const auto it = newest_.find({oldest.destination, oldest.number});
        if (it != newest_.end() && it->second == oldest.id) {
            newest_.erase(it);
        }
        rows_.pop_front();
        ++droppedRows_;
    }
    announce();
}

void MonitorFeed::clear() {
    rows_.clear();
    newest_.clear();
    droppedRows_ = 0;
    ++version_;
    announce();
}

std::string monitorText(const std::deque<MonitorRow>& rows, std::chrono::nanoseconds epoch,
                        const std::function<std::string(std::int64_t)>& nameOf) {
    std::string text;
    char buffer[64];
    for (const MonitorRow& row : rows) {
        const std::chrono::duration<double> at = row.first - epoch;
        std::snprintf(buffer, sizeof buffer, "%.3f", at.count());
        text += buffer;
        text += "\t" + std::to_string(row.number) + "\t" +
                (nameOf ? nameOf(row.number) : std::string()) + "\t" + std::to_string(row.value) +
                "\t";
        if (row.count > 1) {
            std::snprintf(buffer, sizeof buffer, "%llu sent, %.1f/s",
                          static_cast<unsigned long long>(row.count), row.rate());
            text += buffer;
        }
        text += "\t" + row.destinationName + "\t";
        text += originName(row.origin);
        text += "\n";
    }
    return text;
}

}  // namespace tarnwell
