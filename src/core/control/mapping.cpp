#include "core/control/mapping.hpp"

#include <cmath>

namespace tarnwell {

namespace {

std::string numberText(double value) {
    std::string text = std::to_string(value);
    // "5.000000" reads better as "5".
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text;
}

}  // namespace

bool isRelative(MappingMode mode) {
    return mode == MappingMode::relativeTwosComplement || mode == MappingMode::relativeSignedBit ||
           mode == MappingMode::relativeBinaryOffset;
}

bool modeAllowed(MappingMode mode, ControlType type, SourceKind kind) {
    if (mode > MappingMode::momentary) {
        return false;
    }
    if (kind == SourceKind::note) {
        return mode == MappingMode::toggle || mode == MappingMode::momentary;
    }
    if (isRelative(mode)) {
        return kind == SourceKind::controlChange && type != ControlType::action;
    }
    return true;
}

std::string mappingProblem(const Mapping& mapping) {
    if (!isValidControl(mapping.control)) {
        return "no such control";
    }
    if (!isValidSource(mapping.source)) {
        return "no such source";
    }
    const ControlInfo& info = controlInfo(mapping.control);
    if (!modeAllowed(mapping.mode, info.type, mapping.source.kind)) {
        return "this mode does not suit " + describeSource(mapping.source) + " on " + info.name;
    }
    if (!std::isfinite(mapping.minimum) || !std::isfinite(mapping.maximum)) {
        return "the range is not a pair of finite numbers";
    }
    if (mapping.minimum > mapping.maximum) {
        return "the range's minimum " + numberText(mapping.minimum) + " is above its maximum " +
               numberText(mapping.maximum);
    }
    if (mapping.minimum < info.minimum || mapping.maximum > info.maximum) {
        return "the range " + numberText(mapping.minimum) + " to " + numberText(mapping.maximum) +
               " lies outside " + info.name + "'s " + numberText(info.minimum) + " to " +
               numberText(info.maximum);
    }
    if (mapping.relativeSteps < 1 || mapping.relativeSteps > kMaxRelativeSteps) {
        return "the relative steps must be 1 to " + std::to_string(kMaxRelativeSteps);
    }
    return {};
}

Mapping proposeMapping(ControlId control, const SourceId& source) {
    Mapping mapping;
    mapping.control = control;
    mapping.source = source;
    const ControlInfo& info = controlInfo(control);
    mapping.minimum = info.minimum;
    mapping.maximum = info.maximum;
    switch (info.type) {
        case ControlType::continuous:
            mapping.mode =
                source.kind == SourceKind::note ? MappingMode::toggle : MappingMode::absolute;
            break;
        case ControlType::onOff:
            mapping.mode = MappingMode::toggle;
            break;
        case ControlType::action:
            mapping.mode = MappingMode::momentary;
            break;
    }
    return mapping;
}

int relativeDelta(MappingMode mode, std::uint8_t value) {
    const int v = value & 0x7F;
    switch (mode) {
        case MappingMode::relativeTwosComplement:
            return v < 64 ? v : v - 128;
        case MappingMode::relativeSignedBit:
            return (v & 64) != 0 ? -(v & 63) : v;
        case MappingMode::relativeBinaryOffset:
            return v - 64;
        default:
            return 0;
    }
}

}  // namespace tarnwell
