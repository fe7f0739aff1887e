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
    const auto add = [&file](ControlId control, SourceId source, MappingMode mode) {
        Mapping m = proposeMapping(control, source);
        m.mode = mode;
        file.mappings.push_back(m);
        return &file.mappings.back();
    };
    Mapping* first = add({ControlKind::parameter, 0}, {SourceKind::controlChange, 15, 127},
                         MappingMode::absolute);
    first->minimum = 0.1 + 0.2;  // no short decimal form
    first->maximum = 16383.0;
    first->inverted = true;
    first->pickup = Pickup::jump;
    add({ControlKind::parameter, 41}, {SourceKind::controlChange14, 0, 31}, MappingMode::absolute);
    add({ControlKind::modButton, 5}, {SourceKind::note, 9, 36}, MappingMode::momentary);
    add({ControlKind::modeSwitch, 5}, {SourceKind::controlChange, 0, 64}, MappingMode::toggle);
    add({ControlKind::resetDac, 0}, {SourceKind::nrpn, 1, 16383}, MappingMode::momentary);
    add({ControlKind::dice, 0}, {SourceKind::rpn, 2, 0}, MappingMode::toggle);
    add({ControlKind::calibrate, 0}, {SourceKind::pitchBend, 3, 0}, MappingMode::absolute);
    add({ControlKind::physicsDice, 0}, {SourceKind::channelPressure, 4, 0}, MappingMode::absolute);
    Mapping* encoder = add({ControlKind::ballPhaseY, 4}, {SourceKind::controlChange, 5, 20},
                           MappingMode::relativeSignedBit);
    encoder->relativeSteps = 1000;
    encoder->maximum = 3.0;
    add({ControlKind::ballFreqX, 0}, {SourceKind::controlChange, 5, 21},
        MappingMode::relativeTwosComplement);
    add({ControlKind::ballAmpY, 2}, {SourceKind::controlChange, 5, 22},
        MappingMode::relativeBinaryOffset);
    add({ControlKind::ballRun, 1}, {SourceKind::note, 0, 0}, MappingMode::toggle);
    add({ControlKind::morph, 0}, {SourceKind::controlChange, 0, 1}, MappingMode::absolute);
    return file;
}

std::string errorOf(const std::string& text) {
    const MappingFileReading reading = decodeMappingFile(text);
    EXPECT_FALSE(reading.file) << text.substr(0, 200);
    return reading.error;
}

std::string withMapping(const std::string& member) {
    return R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[{"control":"param/1","source":"cc","channel":1,"number":7)" +
           member + "}]}";
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
    const MappingFileReading reading =
        decodeMappingFile(R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[)"
                          R"({"control":"ball/9/ampX","source":"cc","channel":1,"number":1},)"
                          R"({"control":"param/42","source":"cc","channel":1,"number":2},)"
                          R"({"control":"param/43","source":"cc","channel":1,"number":3}]})");
    ASSERT_TRUE(reading.file) << reading.error;
    EXPECT_EQ(reading.file->mappings.size(), 1u);
    EXPECT_EQ(reading.skipped, 2u);
    EXPECT_EQ(reading.warning, R"(2 mappings skipped: no control named "ball/9/ampX", "param/43")");
}

TEST(MappingFile, AnythingElseWrongRefusesTheWholeFileWithTheReason) {
    EXPECT_EQ(errorOf("[]"), "not a mappings file: the top level is an array, not an object");
    EXPECT_EQ(errorOf(R"({"format":"presets","version":1,"mappings":[]})"),
              R"(not a mappings file: "format" is not "tarnwell-controller-mappings")");
    EXPECT_EQ(
        errorOf(R"({"format":"tarnwell-controller-mappings","version":2,"mappings":[]})"),
        "not a mappings file: version 2 is not 1 (written by another version of the program)");
    EXPECT_EQ(errorOf(R"({"format":"tarnwell-controller-mappings","version":1})"),
              R"(not a mappings file: the file lacks "mappings")");
    EXPECT_EQ(errorOf(withMapping(R"(,"channel":17)")),
              R"(not a mappings file: mapping 1: "channel" 17 is not 1-16)");
    EXPECT_EQ(errorOf(withMapping(R"(,"mode":"relativeSignedBit","max":1e999)")),
              "not a mappings file: a number is too large");
    EXPECT_EQ(errorOf(withMapping(R"(,"min":-5)")),
              "not a mappings file: mapping 1 (param/1): the range -5 to 16383 lies outside " +
                  controlInfo({ControlKind::parameter, 0}).name + "'s 0 to 16383");
    EXPECT_EQ(errorOf(withMapping(R"(,"min":300,"max":200)")),
              "not a mappings file: mapping 1 (param/1): the range's minimum 300 is above its "
              "maximum 200");
    EXPECT_EQ(errorOf(withMapping(R"(,"invert":1)")),
              R"(not a mappings file: mapping 1: "invert" is an integer, not true/false)");
    EXPECT_EQ(errorOf(withMapping(R"(,"mode":"sideways")")),
              R"(not a mappings file: mapping 1: "mode" "sideways" is not one of "absolute", )"
              R"("relativeTwosComplement", "relativeSignedBit", "relativeBinaryOffset", "toggle", )"
              R"("momentary")");
    EXPECT_NE(
        errorOf(
            R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[{"control":"param/1","source":"pitchBend","channel":1,"number":0}]})")
            .find("has no \"number\""),
        std::string::npos);
    EXPECT_NE(
        errorOf(
            R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[{"control":"param/1","source":"note","channel":1,"number":1,"mode":"absolute"}]})")
            .find("this mode does not suit Note 1, channel 1"),
        std::string::npos);
    EXPECT_EQ(errorOf(withMapping("") + "x"),
              "not a mappings file: not valid JSON (error at byte 126)");
    EXPECT_EQ(errorOf(std::string("{\"format\":\0}", 12)),
              "not a mappings file: not valid JSON (a NUL byte at byte 11)");
    EXPECT_EQ(errorOf(std::string(100000, '[') + std::string(100000, ']')),
              "not a mappings file: nested deeper than 16 levels");
    EXPECT_EQ(errorOf(std::string(kMaxMappingFileBytes + 1, ' ')),
              "not a mappings file: larger than 1 MiB");
    std::string many = R"({"format":"tarnwell-controller-mappings","version":1,"mappings":[)";
    for (std::size_t i = 0; i <= kMaxMappingsInFile; ++i) {
        many += std::string(i ? "," : "") +
                R"({"control":"param/1","source":"cc","channel":1,"number":1})";
    }
    EXPECT_EQ(errorOf(many + "]}"), "not a mappings file: it holds 1025 mappings, more than 1024");
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
