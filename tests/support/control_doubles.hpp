#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "core/control/control_engine.hpp"

namespace tarnwell::test {

// A panel for the controller engine: values by control, every call recorded.
class FakeTarget final : public ControlTarget {
public:
    struct Call {
        std::string what;  // "set", "on", "press"
        ControlId control;
        double value = 0.0;
        friend bool operator==(const Call&, const Call&) = default;
    };

    [[nodiscard]] double value(ControlId control) const override {
        const auto it = values_.find(controlSlot(control));
        return it == values_.end() ? 0.0 : it->second;
    }
    void setValue(ControlId control, double v) override {
        calls.push_back({"set", control, v});
        values_[controlSlot(control)] = v;
    }
    void setOn(ControlId control, bool on) override {
        calls.push_back({"on", control, on ? 1.0 : 0.0});
        values_[controlSlot(control)] = on ? 1.0 : 0.0;
    }
    void press(ControlId control) override { calls.push_back({"press", control, 1.0}); }

    // Moves a control by other means (the mouse, a recall): no call recorded.
    void put(ControlId control, double v) { values_[controlSlot(control)] = v; }

    std::vector<Call> calls;

private:
    std::map<std::size_t, double> values_;
};

class ThruRecorder final : public ThruSink {
public:
    void forward(std::span<const std::uint8_t> bytes) override {
        calls.emplace_back(bytes.begin(), bytes.end());
    }
    // Every forwarded message on its own, 3 bytes apiece except real time
    // and the shorter channel and system messages.
    [[nodiscard]] std::vector<std::vector<std::uint8_t>> messages() const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& call : calls) {
            for (auto at = call.begin(); at != call.end();) {
                const bool one = *at >= 0xF8 || *at == 0xF6;
                const bool two = (*at & 0xE0) == 0xC0 || *at == 0xF1 || *at == 0xF3;
                const int size = one ? 1 : two ? 2 : 3;
                out.emplace_back(at, at + size);
                at += size;
            }
        }
        return out;
    }
    void clear() { calls.clear(); }

    std::vector<std::vector<std::uint8_t>> calls;
};

inline ControlId param(std::uint8_t index) {
    return {ControlKind::parameter, index};
}

}  // namespace tarnwell::test
