#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string_view>

#include "core/panel/preset_file.hpp"
#include "preset_fuzz.hpp"

namespace tarnwell::test {

namespace {

using Rng = std::mt19937_64;

constexpr std::string_view kKeyboard = "\xF0\x9F\x8E\xB9";  // U+1F3B9, four bytes

std::string repeat(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// `items` comma-separated.
std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ",") + item;
    }
    return out;
}

std::string flagsText(const std::vector<bool>& flags) {
    std::vector<std::string> words;
    for (const bool flag : flags) {
        words.emplace_back(flag ? "true" : "false");
    }
    return joined(words);
}

std::string shortest(double value) {
    std::array<char, 32> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    return {buffer.data(), end};
}

// The parts of one preset object, numbers and name as JSON text.
struct Parts {
    std::vector<std::string> values;
    std::vector<bool> flags;
    std::array<bool, kModeToggleCount> toggles{};
    std::optional<std::string> name;  // the JSON value, quotes and all
};

// The members in the writer's order, compact.
std::string objectText(const Parts& parts) {
    std::string out = R"({"values":[)" + joined(parts.values) + R"(],"modStates":[)" +
                      flagsText(parts.flags) + ']';
    for (const ModeToggleInfo& toggle : kModeToggles) {
        if (!toggle.presetKey.empty()) {
            out += ",\"" + std::string(toggle.presetKey) + "\":";
            out += parts.toggles[static_cast<std::size_t>(toggle.toggle)] ? "true" : "false";
        }
    }
    if (parts.name) {
        out += ",\"name\":" + *parts.name;
    }
    return out + '}';
}

std::string listText(const std::string& object, std::size_t count) {
    return '[' + joined(std::vector<std::string>(count, object)) + ']';
}

Parts plain(std::vector<std::string> values = {}) {
    return {std::move(values), std::vector<bool>(kModButtonCount, false), {}, {}};
}

GeneratedFile one(std::string label, const Parts& parts, bool accepted,
                  std::optional<MidiSliderPreset> expected = std::nullopt) {
    return {std::move(label),
            "[" + objectText(parts) + "]",
            accepted,
            expected ? std::optional(std::vector{*expected}) : std::nullopt,
            {}};
}

// Negative doubles whose shortest text is as long as any double's (24
// bytes): the largest magnitude, the smallest normal, and random ones down
// among the subnormals.
std::vector<double> longestNumbers(std::size_t count) {
    std::vector<double> numbers = {-std::numeric_limits<double>::max(),
                                   -std::numeric_limits<double>::min()};
    Rng rng(7);
    while (numbers.size() < count) {
        const double value = -std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52,
                                         -1070 + static_cast<int>(rng() % 700));
        if (shortest(value).size() == 24) {
            numbers.push_back(value);
        }
    }
    return numbers;
}

void boundLists(const std::function<void(GeneratedFile)>& check) {
    // The largest list the panel accepts, each number and name as long as
    // written text gets: the file the writer produces is exactly the longest
    // it can produce, and the read limit must take it.
    {
        const std::vector<double> numbers = longestNumbers(kMaxValuesPerPreset);
        Parts parts;
        for (const double value : numbers) {
            parts.values.push_back(shortest(value));
        }
        parts.flags.assign(kMaxModStatesPerPreset, false);
        const std::string name = repeat(kKeyboard, kMaxPresetNameLength);
        parts.name = '"' + name + '"';
        check({"largest list, longest numbers and names",
               listText(objectText(parts), kMaxPresetsInFile), true,
               std::vector<MidiSliderPreset>(
                   kMaxPresetsInFile,
                   MidiSliderPreset{.values = numbers, .modStates = parts.flags, .name = name}),
               kMaxWrittenPresetFileBytes});
    }
    // The same counts with the numbers spelled short, as a hostile import
    // would, so they grow when written, and names all escapes.
    {
        Parts parts;
        parts.values.assign(kMaxValuesPerPreset, "1e5");
        parts.flags.assign(kMaxModStatesPerPreset, true);
        parts.toggles.fill(true);
        parts.name = '"' + repeat("\\u00e9", kMaxPresetNameLength) + '"';
        check({"largest list, short numbers, escaped names",
               listText(objectText(parts), kMaxPresetsInFile),
               true,
               {},
               {}});
    }
    // A file of exactly the read limit, white space after the list, reads;
    // one byte more is refused unread.
    const std::string small = "[" + objectText(plain({"1"})) + "]";
    std::string padded = small + std::string(kMaxPresetFileBytes - small.size(), ' ');
    check({"a file of exactly the read limit", padded, true, {}, std::size_t{small.size()}});
    padded += ' ';
    check({"a file one byte past the read limit", std::move(padded), false, {}, {}});
}

void boundNumbers(const std::function<void(GeneratedFile)>& check) {
    const double max = std::numeric_limits<double>::max();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double smallestNormal = std::numeric_limits<double>::min();
    const std::vector<std::pair<std::string, double>> cases = {
        {"-0", 0.0},  // an integer: JSON integers carry no sign of zero
        {"-0.0", -0.0},
        {"-0e0", -0.0},
        {"0e-999", 0.0},
        {"1e-400", 0.0},
        {"-1e-400", -0.0},
        {"4.9406564584124654e-324", tiny},
        {"5e-324", tiny},
        {"2.4703282292062328e-324", tiny},
        {"2.2250738585072009e-308", smallestNormal - tiny},
        {"2.2250738585072014E-308", smallestNormal},
        {"1.7976931348623157e308", max},
        {"-1.7976931348623157e+308", -max},
        {"1.7976931348623158e308", max},
        {"1e5", 100000.0},
        {"1E+5", 100000.0},
        {"100000.000000000000000000001", 100000.0},
        {"0." + std::string(800, '3'), 1.0 / 3.0},
        {"0.0000000000000000000000000000001e31", 1.0},
        {"18446744073709551615", 18446744073709551616.0},
        {"18446744073709551616", 18446744073709551616.0},
        {"-9223372036854775808", -9223372036854775808.0},
        {"9007199254740993", 9007199254740992.0},
        {"16382.999999999998", 16382.999999999998},
    };
    Parts parts = plain();
    std::vector<double> expected;
    for (const auto& [text, value] : cases) {
        parts.values.push_back(text);
        expected.push_back(value);
    }
    check(one("-0, subnormals, the largest doubles, long and short spellings", parts, true,
              MidiSliderPreset{.values = expected, .name = {}}));
    for (const std::string& overflow :
         std::vector<std::string>{"1.8e308", "-1e400", "1" + std::string(400, '0')}) {
        check(one("a number past the largest double", plain({overflow}), false));
    }
}

void boundNames(const std::function<void(GeneratedFile)>& check) {
    const auto named = [&](std::string label, std::string json, std::string expected) {
        Parts parts = plain();
        parts.name = std::move(json);
        check(one(std::move(label), parts, true,
                  MidiSliderPreset{.values = {}, .name = std::move(expected)}));
    };
    const std::string longest = repeat(kKeyboard, kMaxPresetNameLength);
    named("the longest name in four-byte UTF-8", '"' + longest + '"', longest);
    named("the longest name as escaped surrogate pairs",
          '"' + repeat("\\ud83c\\udfb9", kMaxPresetNameLength) + '"', longest);
    named("a name one code point too long", '"' + longest + std::string(kKeyboard) + '"', longest);
    named("a cut after two- and three-byte characters",
          '"' + repeat("\xC3\xA9", 63) + "\xE6\xBC\xA2" + std::string(kKeyboard) + '"',
          repeat("\xC3\xA9", 63) + "\xE6\xBC\xA2");
    named("quotes and backslashes", '"' + repeat("\\\"\\\\", 32) + '"', repeat("\"\\", 32));
    named("white space trimmed, controls and separators made spaces",
          "\" \\u3000\\u00a0Glass\\tBells\\u0000\\n\\u2028x\\u00a0 \"", "Glass Bells   x");
    named("white space left at the cut is trimmed", "\"x" + std::string(70, ' ') + "y\"", "x");
    named("nothing but white space is no name", "\" \\t\\u3000 \"", "");
    named("an empty name", "\"\"", "");

    for (const char* wrong : {"5", "null", "[]", "{}", "true", "[\"a\"]", "{\"a\":\"b\"}"}) {
        Parts parts = plain();
        parts.name = wrong;
        check(one(std::string("a name that is ") + wrong, parts, false));
    }
    for (const char* broken : {"\"\\ud800\"", "\"\\udc00x\"", "\"\xED\xA0\x80\"", "\"\xC0\xAF\"",
                               "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\""}) {
        Parts parts = plain();
        parts.name = broken;
        check(one("a name that is not valid UTF-8", parts, false));
    }
}

// Random text in JSON for one double, spelled any way that reads back to
// exactly that double.
std::string spell(double value, Rng& rng) {
    using enum std::chars_format;
    std::array<char, 1100> buffer{};
    char* const first = buffer.data();
    char* const last = first + buffer.size();
    // Shortest, scientific, fixed, scientific with more digits than needed, general.
    const auto how = rng() % 5;
    std::string text(
        first, how == 0   ? std::to_chars(first, last, value).ptr
               : how == 3 ? std::to_chars(first, last, value, scientific, 25).ptr
                          : std::to_chars(first, last, value,
                                          std::array{fixed, scientific, fixed, fixed, general}[how])
                                .ptr);
    if (const auto e = text.find('e'); e != std::string::npos) {
        if (rng() % 2 == 0) {
            text[e] = 'E';
        }
        if (text[e + 1] == '+' && rng() % 2 == 0) {
            text.erase(e + 1, 1);
        }
    }
    // JSON has no sign on an integer's zero: keep -0 a fraction.
    if (value == 0.0 && std::signbit(value) && text.find_first_of(".eE") == std::string::npos) {
        text += ".0";
    }
    return text;
}

double randomDouble(Rng& rng) {
    switch (rng() % 6) {
        case 0:
            return static_cast<double>(rng() % 16384);
        case 1:
            return std::uniform_real_distribution<double>(0.0, 16383.0)(rng);
        case 2: {  // any finite bit pattern
            double value = 0.0;
            do {
                value = std::bit_cast<double>(rng());
            } while (!std::isfinite(value));
            return value;
        }
        case 3:  // subnormal
            return std::bit_cast<double>(rng() & 0x800FFFFFFFFFFFFFull);
        case 4:
            return rng() % 2 == 0 ? -0.0 : 0.0;
        default:
            return std::ldexp(static_cast<double>(rng() % 100) - 50.0,
                              static_cast<int>(rng() % 40) - 20);
    }
}

void appendUtf8(std::string& out, char32_t c) {
    const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(std::array{0x00u, 0xC0u, 0xE0u, 0xF0u}[more] | (c >> (6 * more)));
    for (int shift = 6 * (more - 1); shift >= 0; shift -= 6) {
        out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
    }
}

char32_t randomCodePoint(Rng& rng) {
    static constexpr std::array<char32_t, 12> kSpaces = {
        0x20, 0x09, 0x0A, 0x0D, 0xA0, 0x85, 0x1680, 0x2003, 0x2028, 0x2029, 0x3000, 0x202F};
    switch (rng() % 8) {
        case 0:
            return kSpaces[rng() % kSpaces.size()];
        case 1:
            return static_cast<char32_t>(rng() % 0x20);  // controls
        case 2:
            return static_cast<char32_t>(0x80 + rng() % 0x780);
        case 3: {
            const auto c = static_cast<char32_t>(0x800 + rng() % (0x10000 - 0x800));
            return c >= 0xD800 && c <= 0xDFFF ? U'\uFFFD' : c;
        }
        case 4:
            return static_cast<char32_t>(0x10000 + rng() % 0x100000);
        default:
            return static_cast<char32_t>(0x20 + rng() % 0x5F);  // printable ASCII
    }
}

// A name as JSON text, each character raw or escaped at random, and the
// UTF-8 text it stands for.
std::pair<std::string, std::string> randomName(Rng& rng) {
    std::string json = "\"";
    std::string text;
    const std::size_t length = rng() % 90;
    for (std::size_t i = 0; i < length; ++i) {
        const char32_t c = randomCodePoint(rng);
        appendUtf8(text, c);
        const auto escape = [&](char32_t unit) {
            std::array<char, 16> hex{};
            std::snprintf(hex.data(), hex.size(), "\\u%04x", static_cast<unsigned>(unit));
            json += hex.data();
        };
        if (c < 0x20 || c == '"' || c == '\\' || rng() % 4 == 0) {
            if (c >= 0x10000) {
                escape(0xD800 + ((c - 0x10000) >> 10));
                escape(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                escape(c);
            }
        } else {
            appendUtf8(json, c);
        }
    }
    return {json + '"', text};
}

std::string space(Rng& rng) {
    static constexpr std::array<std::string_view, 6> kSpaces = {"", "", " ", "\n", "\t", "\r\n  "};
    return std::string(kSpaces[rng() % kSpaces.size()]);
}

std::string randomJson(Rng& rng, int depth) {
    switch (depth <= 0 ? rng() % 4 : rng() % 6) {
        case 0:
            return "null";
        case 1:
            return rng() % 2 == 0 ? "true" : "false";
        case 2:
            return spell(randomDouble(rng), rng);
        case 3:
            return randomName(rng).first;
        case 4: {
            std::string out = "[";
            for (std::size_t n = rng() % 4, i = 0; i < n; ++i) {
                out += (i > 0 ? "," : "") + space(rng) + randomJson(rng, depth - 1);
            }
            return out + "]";
        }
        default: {
            std::string out = "{";
            for (std::size_t n = rng() % 4, i = 0; i < n; ++i) {
                out += (i > 0 ? ",\"k" : "\"k") + std::to_string(i) + "\":" + space(rng) +
                       randomJson(rng, depth - 1);
            }
            return out + "}";
        }
    }
}

}  // namespace

void forEachBoundFile(const std::function<void(GeneratedFile)>& check) {
    boundLists(check);
    boundNumbers(check);
    boundNames(check);
}

void forEachRandomFile(std::uint64_t seed, std::size_t count,
                       const std::function<void(GeneratedFile)>& check) {
    Rng rng(seed);
    for (std::size_t file = 0; file < count; ++file) {
        std::vector<MidiSliderPreset> presets;
        std::string text = space(rng) + "[";
        const std::size_t presetCount = rng() % 6;
        for (std::size_t p = 0; p < presetCount; ++p) {
            MidiSliderPreset preset;
            preset.values.resize(rng() % 3 == 0 ? rng() % (kMaxValuesPerPreset + 1)
                                                : kParameterCount);
            preset.modStates.resize(rng() % 3 == 0 ? rng() % (kMaxModStatesPerPreset + 1)
                                                   : kModButtonCount);
            std::vector<std::string> members;
            std::string values;
            for (std::size_t i = 0; i < preset.values.size(); ++i) {
                preset.values[i] = randomDouble(rng);
                values += (i > 0 ? "," : "") + space(rng) + spell(preset.values[i], rng);
            }
            members.push_back("\"values\":" + space(rng) + "[" + values + "]");
            for (std::size_t i = 0; i < preset.modStates.size(); ++i) {
                preset.modStates[i] = rng() % 2 == 0;
            }
            members.push_back("\"modStates\":[" + flagsText(preset.modStates) + "]");
            for (const ModeToggleInfo& toggle : kModeToggles) {
                if (!toggle.presetKey.empty()) {
                    const bool on = rng() % 2 == 0;
                    preset.modeToggles[static_cast<std::size_t>(toggle.toggle)] = on;
                    members.push_back("\"" + std::string(toggle.presetKey) +
                                      "\":" + (on ? "true" : "false"));
                }
            }
            if (rng() % 3 != 0) {
                auto [json, name] = randomName(rng);
                preset.name = normalisedPresetName(name);
                members.push_back("\"name\":" + json);
            }
            for (std::size_t n = rng() % 3, i = 0; i < n; ++i) {
                members.push_back("\"unknown" + std::to_string(i) + "\":" + randomJson(rng, 5));
            }
            std::shuffle(members.begin(), members.end(), rng);
            text += (p > 0 ? "," : "") + space(rng) + "{";
            for (std::size_t i = 0; i < members.size(); ++i) {
                text += (i > 0 ? "," : "") + space(rng) + members[i] + space(rng);
            }
            text += "}";
            presets.push_back(std::move(preset));
        }
        text += space(rng) + "]" + space(rng);
        check(
            {"random file " + std::to_string(file), std::move(text), true, std::move(presets), {}});
    }
}

}  // namespace tarnwell::test
