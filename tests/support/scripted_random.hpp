#pragma once

#include <cstdint>
#include <deque>
#include <utility>

#include "core/base/random.hpp"

namespace tarnwell::test {

// Replays scripted words, then zeros, and counts the draws.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::deque<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t next64() override {
        ++draws;
        if (words_.empty()) {
            return 0;
        }
        const auto w = words_.front();
        words_.pop_front();
        return w;
    }
    int draws = 0;

private:
    std::deque<std::uint64_t> words_;
};

}  // namespace tarnwell::test
