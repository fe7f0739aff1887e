#include "core/panel/preset_file.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace tarnwell {

namespace {

// A member of a preset object: "values", "modStates", then one per stored
// mode switch, keyed by the switch table.
using Key = std::size_t;
constexpr Key kValuesKey = 0;
constexpr Key kModStatesKey = 1;
constexpr Key kFirstToggleKey = 2;
constexpr std::size_t kKeyCount = kFirstToggleKey + kModeToggleCount;

constexpr std::string_view keyName(Key key) {
    return key == kValuesKey      ? "values"
           : key == kModStatesKey ? "modStates"
                                  : kModeToggles[key - kFirstToggleKey].presetKey;
}

constexpr bool isStoredKey(Key key) {
    return !keyName(key).empty();
}

ModeToggle toggleOfKey(Key key) {
    return kModeToggles[key - kFirstToggleKey].toggle;
}

std::optional<Key> keyFromString(std::string_view text) {
    for (Key key = 0; key < kKeyCount; ++key) {
        if (isStoredKey(key) && keyName(key) == text) {
            return key;
        }
    }
    return std::nullopt;
}

void appendNumber(std::string& out, double value) {
    if (value == 0.0 && std::signbit(value)) {
        // "-0" would read back as the integer 0 and lose its sign.
        out += "-0.0";
        return;
    }
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

void appendFlag(std::string& out, std::string_view key, bool value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += value ? "true" : "false";
}

// Builds the presets straight from the parser's events: no document tree is
// ever built, so nesting depth and size cost nothing beyond the checks here.
class PresetReader final : public nlohmann::json::json_sax_t {
public:
    std::vector<MidiSliderPreset> presets;
    std::string error;

    bool null() override { return scalar("null"); }
    bool boolean(bool value) override {
        if (skipDepth_ > 0 || state_ == State::inUnknownScalar) {
            return skippedScalar();
        }
        if (state_ == State::inModStates) {
            presets.back().modStates.push_back(value);
            return true;
        }
        if (state_ == State::expectValue && isFlag(*key_)) {
            presets.back().modeToggles[static_cast<std::size_t>(toggleOfKey(*key_))] = value;
            return memberDone();
        }
        return scalar("true/false");
    }
    bool number_integer(number_integer_t value) override {
        return number(static_cast<double>(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return number(static_cast<double>(value));
    }
    bool number_float(number_float_t value, const string_t&) override {
        if (!std::isfinite(value) && skipDepth_ == 0 && state_ != State::inUnknownScalar) {
            return fail(where() + " holds a number too large for a double");
        }
        return number(value);
    }
    bool string(string_t&) override { return scalar("a string"); }
    bool binary(binary_t&) override { return scalar("binary data"); }

    bool start_object(std::size_t) override {
        if (const auto opened = openContainer(); opened != Opened::toRead) {
            return opened == Opened::skipped;
        }
        switch (state_) {
            case State::inTopArray:
                presets.emplace_back();
                presets.back().values.clear();
                presets.back().modStates.clear();
                seen_ = {};
                state_ = State::inObject;
                return true;
            case State::start:
                return fail("the top level is an object, not an array");
            default:
                return scalar("an object");
        }
    }
    bool key(string_t& text) override {
        if (skipDepth_ > 0) {
            return true;
        }
        key_ = keyFromString(text);
        state_ = key_ ? State::expectValue : State::inUnknownScalar;
        return true;
    }
    bool end_object() override {
        --depth_;
        if (skipDepth_ > 0) {
            return leaveSkipped();
        }
        for (Key key = 0; key < kKeyCount; ++key) {
            if (isStoredKey(key) && !seen_[key]) {
                return fail("object " + std::to_string(presets.size()) + " lacks " +
                            std::string(keyName(key)));
            }
        }
        state_ = State::inTopArray;
        return true;
    }
    bool start_array(std::size_t) override {
        if (const auto opened = openContainer(); opened != Opened::toRead) {
            return opened == Opened::skipped;
        }
        switch (state_) {
            case State::start:
                state_ = State::inTopArray;
                return true;
            case State::expectValue:
                if (*key_ == kValuesKey) {
                    presets.back().values.clear();
                    state_ = State::inValues;
                    return true;
                }
                if (*key_ == kModStatesKey) {
                    presets.back().modStates.clear();
                    state_ = State::inModStates;
                    return true;
                }
                return scalar("an array");
            default:
                return scalar("an array");
        }
    }
    bool end_array() override {
        --depth_;
        if (skipDepth_ > 0) {
            return leaveSkipped();
        }
        if (state_ == State::inTopArray) {
            state_ = State::done;
            return true;
        }
        return memberDone();
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::json::exception& ex) override {
        constexpr int kNumberOverflow = 406;
        if (ex.id == kNumberOverflow) {
            return fail("a number at byte " + std::to_string(position) +
                        " is too large for a double");
        }
        return fail("not valid JSON (error at byte " + std::to_string(position) + ")");
    }

    [[nodiscard]] bool finished() const { return state_ == State::done && error.empty(); }

private:
    enum class State {
        start,
        inTopArray,
        inObject,
        expectValue,      // after a known key
        inUnknownScalar,  // after an unknown key, before its value
        inValues,
        inModStates,
        done,
    };

    static bool isFlag(Key key) { return key >= kFirstToggleKey; }
    static std::string_view expectedFor(Key key) {
        return key == kValuesKey      ? "an array of numbers"
               : key == kModStatesKey ? "an array of true/false"
                                      : "true/false";
    }

    enum class Opened { tooDeep, skipped, toRead };
    // Counts an opening array or object against the depth cap and decides
    // whether it is read or skipped as (part of) an ignored member.
    Opened openContainer() {
        if (++depth_ > kMaxPresetFileDepth) {
            fail("nested deeper than " + std::to_string(kMaxPresetFileDepth) + " levels");
            return Opened::tooDeep;
        }
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return Opened::skipped;
        }
        if (state_ == State::inUnknownScalar) {
            skipDepth_ = 1;
            return Opened::skipped;
        }
        return Opened::toRead;
    }
    bool leaveSkipped() {
        if (--skipDepth_ == 0) {
            state_ = State::inObject;
        }
        return true;
    }
    bool skippedScalar() {
        if (skipDepth_ == 0) {
            state_ = State::inObject;
        }
        return true;
    }
    bool number(double value) {
        if (skipDepth_ > 0 || state_ == State::inUnknownScalar) {
            return skippedScalar();
        }
        if (state_ == State::inValues) {
            presets.back().values.push_back(value);
            return true;
        }
        return scalar("a number");
    }
    bool scalar(std::string_view what) {
        if (skipDepth_ > 0 || state_ == State::inUnknownScalar) {
            return skippedScalar();
        }
        if (state_ == State::start) {
            return fail("the top level is " + std::string(what) + ", not an array");
        }
        if (state_ == State::inTopArray) {
            return fail("element " + std::to_string(presets.size() + 1) + " is " +
                        std::string(what) + ", not an object");
        }
        const std::string_view expected = state_ == State::inValues      ? "a number"
                                          : state_ == State::inModStates ? "true/false"
                                                                         : expectedFor(*key_);
        return fail(where() + " is " + std::string(what) + ", not " + std::string(expected));
    }
    bool memberDone() {
        seen_[*key_] = true;
        state_ = State::inObject;
        return true;
    }
    std::string where() const {
        std::string text = "object " + std::to_string(presets.size());
        if (key_) {
            text += " member " + std::string(keyName(*key_));
        }
        return text;
    }
    bool fail(std::string message) {
        if (error.empty()) {
            error = std::move(message);
        }
        return false;
    }

    State state_ = State::start;
    std::optional<Key> key_;
    std::array<bool, kKeyCount> seen_{};
    std::size_t depth_ = 0;
    std::size_t skipDepth_ = 0;
};

}  // namespace

PresetEncoding encodePresetFile(const std::vector<MidiSliderPreset>& presets) {
    std::string out;
    out.reserve(64 + presets.size() * 600);
    out += '[';
    for (std::size_t p = 0; p < presets.size(); ++p) {
        const MidiSliderPreset& preset = presets[p];
        if (p > 0) {
            out += ',';
        }
        out += "{\"values\":[";
        for (std::size_t i = 0; i < preset.values.size(); ++i) {
            if (!std::isfinite(preset.values[i])) {
                return {std::nullopt, "preset " + std::to_string(p + 1) + " value " +
                                          std::to_string(i + 1) + " is not a finite number"};
            }
            if (i > 0) {
                out += ',';
            }
            appendNumber(out, preset.values[i]);
        }
        out += "],\"modStates\":[";
        for (std::size_t i = 0; i < preset.modStates.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            out += preset.modStates[i] ? "true" : "false";
        }
        out += ']';
        for (const ModeToggleInfo& toggle : kModeToggles) {
            if (!toggle.presetKey.empty()) {
                appendFlag(out, toggle.presetKey, preset.modeToggle(toggle.toggle));
            }
        }
        out += '}';
    }
    out += ']';
    return {std::move(out), {}};
}

PresetDecoding decodePresetFile(std::string_view bytes) {
    if (bytes.size() > kMaxPresetFileBytes) {
        return {std::nullopt, "not a preset file: larger than " +
                                  std::to_string(kMaxPresetFileBytes >> 20) + " MiB"};
    }
    // The parser takes a NUL byte for the end of the text, which would let
    // anything after it pass unread; JSON text never holds one.
    if (const auto nul = bytes.find('\0'); nul != std::string_view::npos) {
        return {std::nullopt, "not a preset file: not valid JSON (a NUL byte at byte " +
                                  std::to_string(nul + 1) + ")"};
    }
    PresetReader reader;
    const bool parsed = nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader);
    if (!parsed || !reader.finished()) {
        const std::string reason = reader.error.empty() ? "not valid JSON" : reader.error;
        return {std::nullopt, "not a preset file: " + reason};
    }
    return {std::move(reader.presets), {}};
}

}  // namespace tarnwell
