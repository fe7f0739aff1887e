#include "core/panel/preset_file.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

namespace tarnwell {

namespace {

// A member of a preset object: "values", "modStates", one per stored mode
// switch, keyed by the switch table, then the optional "name".
using Key = std::size_t;
constexpr Key kValuesKey = 0;
constexpr Key kModStatesKey = 1;
constexpr Key kFirstToggleKey = 2;
constexpr Key kNameKey = kFirstToggleKey + kModeToggleCount;
constexpr std::size_t kKeyCount = kNameKey + 1;

constexpr std::string_view keyName(Key key) {
    return key == kValuesKey      ? "values"
           : key == kModStatesKey ? "modStates"
           : key == kNameKey      ? "name"
                                  : kModeToggles[key - kFirstToggleKey].presetKey;
}

constexpr bool isStoredKey(Key key) {
    return !keyName(key).empty();
}

constexpr bool isRequiredKey(Key key) {
    return isStoredKey(key) && key != kNameKey;
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

constexpr char32_t kReplacement = 0xFFFD;

// Unicode's White_Space property.
constexpr bool isWhiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Characters that would break a name shown on one line.
constexpr bool becomesSpace(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Decodes the code point at `at`, advancing past it. An ill-formed sequence
// yields U+FFFD and advances past its longest well-formed start (at least
// one byte), so the bytes after it are read as they are.
char32_t nextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at++);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at >= text.size()) {
            return kReplacement;
        }
        const unsigned char next = byte(at);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3Fu);
        ++at;
    }
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    const auto put = [&](unsigned value) { out += static_cast<char>(value); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

// A name as a JSON string: its UTF-8 as it is, with the quote and the
// backslash escaped. A stored name holds no control characters (see
// normalisedPresetName); should one ever slip through, the read-back check
// of encodePresetFile refuses the file this makes.
void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

bool sameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
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
            if (presets.back().modStates.size() == kMaxModStatesPerPreset) {
                return fail(where() + " holds more than " + std::to_string(kMaxModStatesPerPreset) +
                            " flags");
            }
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
    bool string(string_t& text) override {
        if (skipDepth_ == 0 && state_ == State::expectValue && *key_ == kNameKey) {
            presets.back().name = normalisedPresetName(text);
            return memberDone();
        }
        return scalar("a string");
    }
    bool binary(binary_t&) override { return scalar("binary data"); }

    bool start_object(std::size_t) override {
        if (const auto opened = openContainer(); opened != Opened::toRead) {
            return opened == Opened::skipped;
        }
        switch (state_) {
            case State::inTopArray:
                if (presets.size() == kMaxPresetsInFile) {
                    return fail("more than " + std::to_string(kMaxPresetsInFile) + " presets");
                }
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
            if (isRequiredKey(key) && !seen_[key]) {
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

    static bool isFlag(Key key) { return key >= kFirstToggleKey && key < kNameKey; }
    static std::string_view expectedFor(Key key) {
        return key == kValuesKey      ? "an array of numbers"
               : key == kModStatesKey ? "an array of true/false"
               : key == kNameKey      ? "a string"
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
            if (presets.back().values.size() == kMaxValuesPerPreset) {
                return fail(where() + " holds more than " + std::to_string(kMaxValuesPerPreset) +
                            " numbers");
            }
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

std::string normalisedPresetName(std::string_view text) {
    std::string name;
    std::size_t length = 0;     // code points in `name`
    std::size_t keptBytes = 0;  // up to the last that is not white space
    for (std::size_t at = 0; at < text.size() && length < kMaxPresetNameLength;) {
        char32_t c = nextCodePoint(text, at);
        if (becomesSpace(c)) {
            c = U' ';
        }
        if (length == 0 && isWhiteSpace(c)) {
            continue;
        }
        appendUtf8(name, c);
        ++length;
        if (!isWhiteSpace(c)) {
            keptBytes = name.size();
        }
    }
    name.resize(keptBytes);
    return name;
}

namespace {

// The bounds a list must keep to be written; empty when it does.
std::string boundBroken(const std::vector<MidiSliderPreset>& presets) {
    if (presets.size() > kMaxPresetsInFile) {
        return "a preset file holds at most " + std::to_string(kMaxPresetsInFile) +
               " presets, and the list has " + std::to_string(presets.size());
    }
    for (std::size_t p = 0; p < presets.size(); ++p) {
        const MidiSliderPreset& preset = presets[p];
        const std::string which = "preset " + std::to_string(p + 1);
        if (preset.values.size() > kMaxValuesPerPreset) {
            return which + " holds " + std::to_string(preset.values.size()) +
                   " values, more than the " + std::to_string(kMaxValuesPerPreset) +
                   " a preset file keeps";
        }
        if (preset.modStates.size() > kMaxModStatesPerPreset) {
            return which + " holds " + std::to_string(preset.modStates.size()) +
                   " mod button flags, more than the " + std::to_string(kMaxModStatesPerPreset) +
                   " a preset file keeps";
        }
        for (std::size_t i = 0; i < preset.values.size(); ++i) {
            if (!std::isfinite(preset.values[i])) {
                return which + " value " + std::to_string(i + 1) + " is not a finite number";
            }
        }
    }
    return {};
}

std::string encodeWithinBounds(const std::vector<MidiSliderPreset>& presets) {
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
        if (!preset.name.empty()) {
            out += ",\"name\":";
            appendJsonString(out, preset.name);
        }
        out += '}';
    }
    out += ']';
    return out;
}

}  // namespace

PresetEncoding encodePresetFile(const std::vector<MidiSliderPreset>& presets) {
    if (std::string broken = boundBroken(presets); !broken.empty()) {
        return {std::nullopt, std::move(broken)};
    }
    std::string text = encodeWithinBounds(presets);
    // The bounds keep every list readable; this reading back proves it for
    // this one, so a fault here can never replace a good file with one the
    // panel cannot open (or opens as something else).
    const PresetDecoding back = decodePresetFile(text);
    if (!back.presets) {
        return {std::nullopt,
                "the file it would write could not be read back (" + back.error + ")"};
    }
    if (!samePresets(*back.presets, presets)) {
        return {std::nullopt, "the file it would write would read back different"};
    }
    return {std::move(text), {}};
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

bool samePresets(const std::vector<MidiSliderPreset>& a, const std::vector<MidiSliderPreset>& b) {
    return std::ranges::equal(a, b, [](const MidiSliderPreset& x, const MidiSliderPreset& y) {
        return x.modStates == y.modStates && x.modeToggles == y.modeToggles && x.name == y.name &&
               std::ranges::equal(x.values, y.values, sameBits);
    });
}

}  // namespace tarnwell
