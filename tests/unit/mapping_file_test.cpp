#include "core/control/mapping_file.hpp"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.hpp"

namespace tarnwell {
namespace {

// One of every kind of control, source and mode, with odd ranges.
MappingFile everyKind() {
    MappingFile file;
    file.input = "nanoKONTROL2 MIDI 1 \xc3\xa9";  // UTF-8 is kept
    using K = ControlKind;
    using S = SourceKind;
    using M = MappingMode;
    const auto add = [&file](ControlId control, SourceId source, MappingMode mode) {
        Mapping m = proposeMapping(control, source);
        m.mode = mode;
        file.mappings.push_back(m);
        return &file.mappings.back();
    };
    Mapping* first = add({K::parameter, 0}, {S::controlChange, 15, 127}, M::absolute);
    first->minimum = 0.1 + 0.2;  // no short decimal form
    first->maximum = 16383.0;
    first->inverted = true;
    first->pickup = Pickup::jump;
    add({K::parameter, 41}, {S::controlChange14, 0, 31}, M::absolute);
    add({K::modButton, 5}, {S::note, 9, 36}, M::momentary);
    add({K::modeSwitch, 5}, {S::controlChange, 0, 64}, M::toggle);
    add({K::resetDac, 0}, {S::nrpn, 1, 16383}, M::momentary);
    add({K::dice, 0}, {S::rpn, 2, 0}, M::toggle);
    add({K::calibrate, 0}, {S::pitchBend, 3, 0}, M::absolute);
    add({K::physicsDice, 0}, {S::channelPressure, 4, 0}, M::absolute);
    Mapping* encoder = add({K::ballPhaseY, 4}, {S::controlChange, 5, 20}, M::relativeSignedBit);
    encoder->relativeSteps = 1000;
    encoder->maximum = 3.0;
    add({K::ballFreqX, 0}, {S::controlChange, 5, 21}, M::relativeTwosComplement);
    add({K::ballAmpY, 2}, {S::controlChange, 5, 22}, M::relativeBinaryOffset);
    add({K::ballRun, 1}, {S::note, 0, 0}, M::toggle);
    add({K::morph, 0}, {S::controlChange, 0, 1}, M::absolute);
    return file;
}

std::string errorOf(const std::string& text) {
    const MappingFileReading reading = decodeMappingFile(text);
    EXPECT_FALSE(reading.file) << text.substr(0, 200);
    return reading.error;
}

// A mappings file around `list`, the mappings' objects.
std::string withMappings(const std::string& list) {
    return R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[)" + list + "]}";
}

// A file of one mapping with `member` added.
std::string withMapping(const std::string& member) {
    return withMappings(R"({"control":"param/1","source":"cc","channel":1,"number":7)" + member +
                        "}");
}

TEST(MappingFile, EverythingAcceptedIsWrittenSoItReadsBackEqual) {
    const MappingFile file = everyKind();
    const MappingFileText text = encodeMappingFile(file);
    ASSERT_TRUE(text.text) << text.error;
    const MappingFileReading back = decodeMappingFile(*text.text);
    ASSERT_TRUE(back.file) << back.error;
    EXPECT_EQ(*back.file, file);
    EXPECT_EQ(back.skipped, 0u);
    EXPECT_EQ(*encodeMappingFile(*back.file).text, *text.text) << "and writes the same again";
    EXPECT_NE(text.text->find(R"("control": "ball/5/phaseY")"), std::string::npos);
    EXPECT_NE(text.text->find(R"("channel": 16)"), std::string::npos)
        << "channels as musicians count";

    // Members left out take their defaults, and those are written out in full.
    const MappingFileReading sparse = decodeMappingFile(
        R"({"format":"tarnwell-controller-mappings","version":1,"extra":[1,{"x":2}],)"
        R"("mappings":[{"control":"switch/132","source":"note","channel":10,"number":36}]})");
    ASSERT_TRUE(sparse.file) << sparse.error;
    ASSERT_EQ(sparse.file->mappings.size(), 1u);
    EXPECT_FALSE(sparse.file->input);
    const Mapping& m = sparse.file->mappings[0];
    EXPECT_EQ(m.control, (ControlId{ControlKind::modeSwitch, 1}));
    EXPECT_EQ(m.mode, MappingMode::toggle);
    EXPECT_EQ(m.pickup, Pickup::softTakeover);
    EXPECT_EQ(*decodeMappingFile(*encodeMappingFile(*sparse.file).text).file, *sparse.file);

    // At the bound: the most mappings a file may hold, written within the size limit.
    MappingFile full;
    full.input = std::string(kMaxInputNameBytes, 'n');
    while (full.mappings.size() < kMaxMappingsInFile) {
        full.mappings.push_back(file.mappings[full.mappings.size() % file.mappings.size()]);
    }
    const auto fullText = encodeMappingFile(full);
    ASSERT_TRUE(fullText.text);
    EXPECT_LE(fullText.text->size(), kMaxMappingFileBytes);
    EXPECT_EQ(*decodeMappingFile(*fullText.text).file, full);
}

TEST(MappingFile, WhatCouldNotBeReadBackIsNotWritten) {
    MappingFile file = everyKind();
    file.mappings[0].maximum = NAN;
    EXPECT_FALSE(encodeMappingFile(file).text);
    file = everyKind();
    file.mappings[1].minimum = -1.0;
    EXPECT_EQ(encodeMappingFile(file).error, "mapping 2: the range -1 to 16383 lies outside " +
                                                 controlInfo(file.mappings[1].control).name +
                                                 "'s 0 to 16383");
    file = everyKind();
    file.input = "\xff\xfe";
    EXPECT_EQ(encodeMappingFile(file).error, "the input name is not UTF-8 text");
    file = everyKind();
    file.mappings.resize(kMaxMappingsInFile + 1, file.mappings[0]);
    EXPECT_FALSE(encodeMappingFile(file).text);
}

TEST(MappingFile, AMappingNamingNoControlIsSkippedAndSaidTheRestLoads) {
    const MappingFileReading reading = decodeMappingFile(
        withMappings(R"({"control":"ball/9/ampX","source":"cc","channel":1,"number":1},)"
                     R"({"control":"param/42","source":"cc","channel":1,"number":2},)"
                     R"({"control":"param/43","source":"cc","channel":1,"number":3})"));
    ASSERT_TRUE(reading.file) << reading.error;
    EXPECT_EQ(reading.file->mappings.size(), 1u);
    EXPECT_EQ(reading.skipped, 2u);
    EXPECT_EQ(reading.warning, R"(2 mappings skipped: no control named "ball/9/ampX", "param/43")");
}

TEST(MappingFile, AnythingElseWrongRefusesTheWholeFileWithTheReason) {
    std::string many = R"({"control":"param/1","source":"cc","channel":1,"number":1})";
    for (std::size_t i = 0; i < kMaxMappingsInFile; ++i) {
        many += R"(,{"control":"param/1","source":"cc","channel":1,"number":1})";
    }
    const std::string outside = "mapping 1 (param/1): the range -5 to 16383 lies outside " +
                                controlInfo({ControlKind::parameter, 0}).name + "'s 0 to 16383";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[]", "the top level is an array, not an object"},
        {R"({"format":"presets","version":1,"mappings":[]})",
         R"("format" is not "tarnwell-controller-mappings")"},
        {R"({"format":"tarnwell-controller-mappings","version":2,"mappings":[]})",
         "version 2 is not 1 (written by another version of the program)"},
        {R"({"format":"tarnwell-controller-mappings","version":1})",
         R"(the file lacks "mappings")"},
        {withMapping(R"(,"channel":17)"), R"(mapping 1: "channel" 17 is not 1-16)"},
        {withMapping(R"(,"mode":"relativeSignedBit","max":1e999)"), "a number is too large"},
        {withMapping(R"(,"min":-5)"), outside},
        {withMapping(R"(,"min":300,"max":200)"),
         "mapping 1 (param/1): the range's minimum 300 is above its maximum 200"},
        {withMapping(R"(,"invert":1)"), R"(mapping 1: "invert" is an integer, not true/false)"},
        {withMapping(R"(,"mode":"sideways")"),
         R"(mapping 1: "mode" "sideways" is not one of "absolute", "relativeTwosComplement", )"
         R"("relativeSignedBit", "relativeBinaryOffset", "toggle", "momentary")"},
        {withMapping("") + "x", "not valid JSON (error at byte 126)"},
        {std::string("{\"format\":\0}", 12), "not valid JSON (a NUL byte at byte 11)"},
        {std::string(100000, '[') + std::string(100000, ']'), "nested deeper than 16 levels"},
        {std::string(kMaxMappingFileBytes + 1, ' '), "larger than 1 MiB"},
        {withMappings(many), "it holds 1025 mappings, more than 1024"},
    };
    for (const auto& [text, reason] : cases) {
        EXPECT_EQ(errorOf(text), "not a mappings file: " + reason);
    }
    EXPECT_NE(errorOf(withMappings(
                          R"({"control":"param/1","source":"pitchBend","channel":1,"number":0})"))
                  .find("has no \"number\""),
              std::string::npos);
    EXPECT_NE(errorOf(withMappings(R"({"control":"param/1","source":"note","channel":1,)"
                                   R"("number":1,"mode":"absolute"})"))
                  .find("this mode does not suit Note 1, channel 1"),
              std::string::npos);
}

TEST(MappingFile, WrittenAtomicallyAndARefusedFileChangesNothingOnDisk) {
    test::TempDir dir;
    const auto path = dir / "mappings.json";
    EXPECT_EQ(writeMappingFile(path, everyKind()), "");
    const MappingFileReading read = readMappingFile(path);
    ASSERT_TRUE(read.file) << read.error;
    EXPECT_EQ(*read.file, everyKind());

    MappingFile bad = everyKind();
    bad.mappings[3].relativeSteps = 0;
    const std::string before = test::readText(path);
    EXPECT_NE(writeMappingFile(path, bad), "");
    EXPECT_EQ(test::readText(path), before) << "the file on disk is as it was";
    EXPECT_FALSE(readMappingFile(dir / "missing.json").file);
}

}  // namespace
}  // namespace tarnwell
