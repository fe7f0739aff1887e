#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwell {

// A source of uniformly distributed 64-bit words.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::uint64_t next64() = 0;
};

// The operating system's cryptographically secure generator (getrandom).
// Never fails:
// should the system call fail, std::random_device is used instead.
class SystemRandom final : public RandomSource {
public:
    std::uint64_t next64() override;
};

// A uniform integer in [0, bound], without modulo bias: 64-bit draws whose
// value falls in the incomplete last block are rejected and drawn again.
std::uint64_t uniformInclusive(RandomSource& random, std::uint64_t bound);

// A uniform double on the closed range [lo, hi]: an integer r is drawn from
// [0, 2^53] and the result is hi when r = 2^53, else lo + r * 2^-53 * (hi - lo).
// Both ends can be drawn.
double uniformClosed(RandomSource& random, double lo, double hi);

// A uniform index in [0, count); count must be at least 1.
std::size_t uniformIndex(RandomSource& random, std::size_t count);

}  // namespace tarnwell
