#include "core/base/random.hpp"

#include <limits>
#include <random>

#include <sys/random.h>

namespace tarnwell {

namespace {

bool systemFill(void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(bytes + filled, size - filled, 0);
        if (got <= 0) {
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

std::uint64_t SystemRandom::next64() {
    std::uint64_t word = 0;
    if (systemFill(&word, sizeof word)) {
        return word;
    }
    static thread_local std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

std::uint64_t uniformInclusive(RandomSource& random, std::uint64_t bound) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (bound == kMax) {
        return random.next64();
    }
    const std::uint64_t count = bound + 1;
    // 2^64 mod count: the draws in the incomplete last block, which would
    // favour the low residues.
    const std::uint64_t remainder = (kMax % count + 1) % count;
    const std::uint64_t lastAccepted = kMax - remainder;
    for (;;) {
        const std::uint64_t draw = random.next64();
        if (draw <= lastAccepted) {
            return draw % count;
        }
    }
}

double uniformClosed(RandomSource& random, double lo, double hi) {
    constexpr std::uint64_t kTop = std::uint64_t{1} << 53;
    const std::uint64_t r = uniformInclusive(random, kTop);
    if (r == kTop) {
        return hi;
    }
    return lo + static_cast<double>(r) * 0x1.0p-53 * (hi - lo);
}

std::size_t uniformIndex(RandomSource& random, std::size_t count) {
    return static_cast<std::size_t>(uniformInclusive(random, count - 1));
}

}  // namespace tarnwell
