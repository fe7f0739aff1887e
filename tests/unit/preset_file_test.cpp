#include "core/panel/preset_file.hpp"

#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

const char* const kFlags =
    R"("voiceModeToggle":false,"drumModeToggle":false,"filterModeToggle":false,)"
    R"("regenModeToggle":false,"regen2ModeToggle":false)";

std::string object(const std::string& values, const std::string& mods, const std::string& rest) {
    return R"({"values":[)" + values + R"(],"modStates":[)" + mods + "]," + rest + "}";
}

std::string errorOf(const std::string& text) {
    const PresetDecoding d = decodePresetFile(text);
    EXPECT_FALSE(d.presets) << text.substr(0, 200);
    return d.error;
}

TEST(PresetFileWriting, CompactMembersInFieldOrderAndOnlyFiniteValues) {
    EXPECT_EQ(*encodePresetFile({}).text, "[]");

    MidiSliderPreset p{{1000.5, 0.0, 16383.0, 0.1}, {true, false}, {}, ""};
    p.modeToggles[static_cast<std::size_t>(ModeToggle::regenModeToggle)] = true;
    const std::string expected =
        R"([{"values":[1000.5,0,16383,0.1],"modStates":[true,false],"voiceModeToggle":false,)"
        R"("drumModeToggle":false,"filterModeToggle":false,"regenModeToggle":true,)"
        R"("regen2ModeToggle":false}])";
    EXPECT_EQ(*encodePresetFile({p}).text, expected);

    // A non-finite value is refused rather than written unreadable.
    p.values[2] = std::numeric_limits<double>::infinity();
    const PresetEncoding e = encodePresetFile({MidiSliderPreset{}, p});
    EXPECT_FALSE(e.text);
    EXPECT_EQ(e.error, "preset 2 value 3 is not a finite number");
}

TEST(PresetFileReading, AcceptsAnyMemberOrderNumberSpellingAndLengthAndIgnoresUnknownMembers) {
    const std::string text =
        R"([{"regen2ModeToggle":true,"modStates":[true],"values":[0,1000.5,1e3,-0.0,2E-3,7],)"
        R"("filterModeToggle":false,"drumModeToggle":true,"regenModeToggle":false,)"
        R"("voiceModeToggle":false,"comment":"hi","extra":{"a":[1,{"b":null}],"c":true},)"
        R"("more":[[[]]],"n":null,"x":1e5},)" +
        object("", "", kFlags) + "]";
    const PresetDecoding d = decodePresetFile(text);
    ASSERT_TRUE(d.presets) << d.error;
    ASSERT_EQ(d.presets->size(), 2u);
    MidiSliderPreset expected{{0, 1000.5, 1000, -0.0, 0.002, 7}, {true}, {}, ""};
    expected.modeToggles[static_cast<std::size_t>(ModeToggle::regen2ModeToggle)] = true;
    expected.modeToggles[static_cast<std::size_t>(ModeToggle::drumModeToggle)] = true;
    EXPECT_EQ(*d.presets, (std::vector<MidiSliderPreset>{expected, {{}, {}, {}, ""}}));
}

TEST(PresetFileReading, EveryViolationRejectsTheWholeFileWithAReason) {
    const std::string good = object("1", "false", kFlags);
    const std::string flags = kFlags;
    const std::string lacksRegen2 = object("1", "false", flags.substr(0, flags.rfind(',')));
    EXPECT_EQ(errorOf("[" + good + "," + good + "," + lacksRegen2 + "]"),
              "not a preset file: object 3 lacks regen2ModeToggle");
    EXPECT_EQ(errorOf("[" + object("1", "false", R"("voiceModeToggle":null)") + "]"),
              "not a preset file: object 1 member voiceModeToggle is null, not true/false");
    EXPECT_EQ(errorOf("[" + object(R"("5")", "false", kFlags) + "]"),
              "not a preset file: object 1 member values is a string, not a number");
    EXPECT_EQ(errorOf("[" + object("1", "false", std::string(kFlags) + R"(,"name":5)") + "]"),
              "not a preset file: object 1 member name is a number, not a string");
    EXPECT_EQ(errorOf(R"([{"values":5}])"),
              "not a preset file: object 1 member values is a number, not an array of numbers");
    EXPECT_EQ(errorOf(R"({"values":[]})"),
              "not a preset file: the top level is an object, not an array");
    EXPECT_EQ(errorOf("[" + object("1e400", "false", kFlags) + "]").substr(0, 37),
              "not a preset file: a number at byte 1");
    // Cut short, followed by more than whitespace, empty, invalid UTF-8.
    for (const std::string& text : {"[" + good, "[" + good + "] x", "[" + good + "] \n" + '\0',
                                    std::string(), std::string("[{\"name\":\"\xff\"}]")}) {
        EXPECT_EQ(errorOf(text).substr(0, 33), "not a preset file: not valid JSON") << text;
    }
    EXPECT_TRUE(decodePresetFile("[" + good + "] \n\t\r").presets) << "whitespace may follow";
}

TEST(PresetFileReading, HostileNestingAndSizeAreRefusedCheaply) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(errorOf(deep), "not a preset file: element 1 is an array, not an object");
    const std::string deepInUnknown =
        "[{\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}]";
    EXPECT_EQ(errorOf(deepInUnknown), "not a preset file: nested deeper than 64 levels");

    const std::string huge = "[" + std::string(kMaxPresetFileBytes, ' ') + "]";
    EXPECT_EQ(errorOf(huge), "not a preset file: larger than " +
                                 std::to_string(kMaxPresetFileBytes >> 20) + " MiB");
}

TEST(PresetFileNames, NameIsAnOptionalEighthMemberAndTheSevenKeepTheirBytes) {
    // A quote, a backslash, CJK and an emoji.
    const MidiSliderPreset named{
        {1000.5, -0.0}, {true}, {}, "Glass \"Bells\" \\ \xE9\xBC\x93 \xF0\x9F\x8E\xB9"};
    MidiSliderPreset unnamed = named;
    unnamed.name.clear();
    const std::string unnamedText = *encodePresetFile({unnamed, unnamed}).text;
    const std::string namedText = *encodePresetFile({named, unnamed}).text;
    const std::string member =
        ",\"name\":\"Glass \\\"Bells\\\" \\\\ \xE9\xBC\x93 \xF0\x9F\x8E\xB9\"";
    const std::size_t end = unnamedText.find('}');
    EXPECT_EQ(namedText, unnamedText.substr(0, end) + member + unnamedText.substr(end))
        << "the name follows the seven members, which are written byte for byte as before";

    const PresetDecoding back = decodePresetFile(namedText);
    ASSERT_TRUE(back.presets) << back.error;
    EXPECT_TRUE(samePresets(*back.presets, {named, unnamed}));

    // A file of the earlier format (no names) reads as before.
    const PresetDecoding earlier = decodePresetFile(unnamedText);
    ASSERT_TRUE(earlier.presets) << earlier.error;
    EXPECT_EQ((*earlier.presets)[0].name, "");
}

TEST(PresetFileNames, NormalisedToOneTrimmedLineAndIllFormedUtf8Replaced) {
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Glass Bells", "Glass Bells"},
        {" \t\n\r\u00A0\u3000Glass Bells\u202F ", "Glass Bells"},
        {"a\tb\nc\177d\u0085e\u2028f\0g"s, "a b c d e f g"},
        // Invalid UTF-8: each ill-formed sequence becomes one U+FFFD.
        {"a\377b", "a\uFFFDb"},
        {"\xC0\xAF", "\uFFFD\uFFFD"},                      // overlong '/'
        {"\xED\xA0\x80x", "\uFFFD\uFFFD\uFFFDx"},          // a surrogate
        {"\xE2\x82x", "\uFFFDx"},                          // cut short
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"x\xF0\x9F\x8E", "x\uFFFD"},                      // cut at the end
    };
    for (const auto& [given, stored] : cases) {
        EXPECT_EQ(normalisedPresetName(given), stored) << given;
        EXPECT_EQ(normalisedPresetName(stored), stored) << "normalising twice changes nothing";
    }
}

TEST(PresetFileBounds, TheReadLimitFollowsFromTheBoundsAndEachBoundIsEnforcedWithAReason) {
    static_assert(kMaxPresetFileBytes >= kMaxWrittenPresetFileBytes);
    static_assert(kMaxPresetFileBytes - kMaxWrittenPresetFileBytes < (std::size_t{1} << 20));

    const auto repeated = [](const std::string& item, std::size_t times) {
        std::string out = item;
        for (std::size_t i = 1; i < times; ++i) {
            out += "," + item;
        }
        return out;
    };
    EXPECT_EQ(errorOf("[" + object(repeated("0", kMaxValuesPerPreset + 1), "", kFlags) + "]"),
              "not a preset file: object 1 member values holds more than 64 numbers");
    EXPECT_EQ(errorOf("[" + object("", repeated("true", kMaxModStatesPerPreset + 1), kFlags) + "]"),
              "not a preset file: object 1 member modStates holds more than 16 flags");
    EXPECT_EQ(errorOf("[" + repeated(object("", "", kFlags), kMaxPresetsInFile + 1) + "]"),
              "not a preset file: more than 50000 presets");

    // Writing refuses the same, so a list too large to read back never replaces a good file.
    std::vector<MidiSliderPreset> presets(kMaxPresetsInFile + 1);
    EXPECT_EQ(encodePresetFile(presets).error,
              "a preset file holds at most 50000 presets, and the list has 50001");
    presets.resize(3);
    presets[2].values.resize(kMaxValuesPerPreset + 1);
    EXPECT_EQ(encodePresetFile(presets).error,
              "preset 3 holds 65 values, more than the 64 a preset file keeps");
    presets[2] = MidiSliderPreset{};
    presets[1].modStates.resize(kMaxModStatesPerPreset + 1);
    EXPECT_EQ(encodePresetFile(presets).error,
              "preset 2 holds 17 mod button flags, more than the 16 a preset file keeps");
}

TEST(PresetFileWriting, AListThatWouldNotReadBackTheSameIsNeverWritten) {
    // Names that bypassed normalisation stand for any fault that breaks reading back.
    std::vector<MidiSliderPreset> presets(2);
    presets[1].name = " Glass Bells";
    PresetEncoding e = encodePresetFile(presets);
    EXPECT_FALSE(e.text);
    EXPECT_EQ(e.error, "the file it would write would read back different");

    presets[1].name = "Glass\xFF";
    e = encodePresetFile(presets);
    EXPECT_FALSE(e.text);
    EXPECT_EQ(e.error.substr(0, 68),
              "the file it would write could not be read back (not a preset file: n");
}

}  // namespace
}  // namespace tarnwell
