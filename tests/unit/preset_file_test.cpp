#include "core/panel/preset_file.hpp"

#include <cmath>
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

    MidiSliderPreset p;
    p.values = {1000.5, 0.0, 16383.0, 0.1};
    p.modStates = {true, false};
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
    MidiSliderPreset expected;
    expected.values = {0, 1000.5, 1000, -0.0, 0.002, 7};
    expected.modStates = {true};
    expected.modeToggles[static_cast<std::size_t>(ModeToggle::regen2ModeToggle)] = true;
    expected.modeToggles[static_cast<std::size_t>(ModeToggle::drumModeToggle)] = true;
    MidiSliderPreset empty;
    empty.values.clear();
    empty.modStates.clear();
    EXPECT_EQ(*d.presets, (std::vector<MidiSliderPreset>{expected, empty}));
}

TEST(PresetFileReading, EveryViolationRejectsTheWholeFileWithAReason) {
    const std::string good = object("1", "false", kFlags);
    const std::string lacksRegen2 = object(
        "1", "false",
        R"("voiceModeToggle":false,"drumModeToggle":false,"filterModeToggle":false,"regenModeToggle":false)");
    EXPECT_EQ(errorOf("[" + good + "," + good + "," + lacksRegen2 + "]"),
              "not a preset file: object 3 lacks regen2ModeToggle");
    EXPECT_EQ(errorOf("[" + object("1", "false", R"("voiceModeToggle":null)") + "]"),
              "not a preset file: object 1 member voiceModeToggle is null, not true/false");
    EXPECT_EQ(errorOf("[" + object(R"("5")", "false", kFlags) + "]"),
              "not a preset file: object 1 member values is a string, not a number");
    EXPECT_EQ(errorOf(R"([{"values":5}])"),
              "not a preset file: object 1 member values is a number, not an array of numbers");
    EXPECT_EQ(errorOf(R"({"values":[]})"),
              "not a preset file: the top level is an object, not an array");
    EXPECT_EQ(errorOf("[" + object("1e400", "false", kFlags) + "]").substr(0, 37),
              "not a preset file: a number at byte 1");
    EXPECT_EQ(errorOf("[" + good).substr(0, 33), "not a preset file: not valid JSON");
    EXPECT_EQ(errorOf("[" + good + "] x").substr(0, 33), "not a preset file: not valid JSON");
    EXPECT_EQ(errorOf("[" + good + "] \n" + std::string(1, '\0')).substr(0, 33),
              "not a preset file: not valid JSON");
    EXPECT_TRUE(decodePresetFile("[" + good + "] \n\t\r").presets) << "whitespace may follow";
    EXPECT_EQ(errorOf("").substr(0, 33), "not a preset file: not valid JSON");
    EXPECT_EQ(errorOf("[{\"name\":\"\xff\"}]").substr(0, 33), "not a preset file: not valid JSON")
        << "invalid UTF-8";
}

TEST(PresetFileReading, HostileNestingAndSizeAreRefusedCheaply) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(errorOf(deep), "not a preset file: element 1 is an array, not an object");
    const std::string deepInUnknown =
        "[{\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}]";
    EXPECT_EQ(errorOf(deepInUnknown), "not a preset file: nested deeper than 64 levels");

    std::string huge = "[" + std::string(kMaxPresetFileBytes, ' ') + "]";
    EXPECT_EQ(errorOf(huge), "not a preset file: larger than 16 MiB");
}

TEST(PresetFileRoundTrip, EveryDoubleReadsBackToTheSameBits) {
    MidiSliderPreset p;
    p.values = {16383.0, 0.1, 1e-300, -0.0, 5e-324, 1.0 / 3.0, 16382.999999999998, 7.1};
    p.modStates = {true, false, true};
    p.modeToggles[static_cast<std::size_t>(ModeToggle::drumModeToggle)] = true;
    MidiSliderPreset empty;
    empty.values.clear();
    empty.modStates.clear();
    const std::vector<MidiSliderPreset> presets = {p, empty, MidiSliderPreset{}};
    const PresetDecoding back = decodePresetFile(*encodePresetFile(presets).text);
    ASSERT_TRUE(back.presets) << back.error;
    ASSERT_EQ(*back.presets, presets);
    EXPECT_TRUE(std::signbit((*back.presets)[0].values[3])) << "-0 stays negative";
}

}  // namespace
}  // namespace tarnwell
