#include "core/midi/nrpn.hpp"

#include <cmath>

namespace tarnwell {

namespace {

constexpr std::uint8_t msb7(std::int64_t n) {
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(n) >> 7) & 0x7F);
}

constexpr std::uint8_t lsb7(std::int64_t n) {
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(n) & 0x7F);
}

}  // namespace

NrpnBytes encodeNRPN(std::int64_t value, std::int64_t parameter, int channel) {
    const auto status = static_cast<std::uint8_t>(0xB0 | (static_cast<unsigned>(channel) & 0x0F));
    return NrpnBytes{status, 99, msb7(parameter), status, 98, lsb7(parameter),
                     status, 6,  msb7(value),     status, 38, lsb7(value)};
}

std::int64_t nrpnValueFromDouble(double value) {
    if (std::isnan(value) || value <= 0.0) {
        return 0;
    }
    if (value >= static_cast<double>(kNrpnMax)) {
        return kNrpnMax;
    }
    return static_cast<std::int64_t>(value);
}

}  // namespace tarnwell
