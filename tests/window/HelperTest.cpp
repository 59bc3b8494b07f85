// SPDX-License-Identifier: MIT
// The tone and envelope helpers: command texts, list display, checks and messages.
#include <gtest/gtest.h>

#include "music/EnvelopeHelper.h"
#include "music/ToneHelper.h"

namespace tavolin::window {
namespace {

struct ToneRow {
    const char* name;
    int tone;
    int wave;
    std::string freqNoise;   // field 1007
    std::string levelNoise;  // field 1037
    std::string switchMs;    // field 1008
    std::vector<std::string> duties;  // texts typed into the duty combo, added in order
    std::string command;
    std::vector<std::string> messages;
};

TEST(ToneHelper, BuildsCommands) {
    const ToneRow rows[] = {
        {"start state", 0, 0, "0", "0", "0", {}, "@W0:0@0", {music::kMsgNoDuty}},
        {"one duty", 0, 0, "0", "0", "0", {"50"}, "@W0:0:50@0", {}},
        {"half duty", 0, 0, "0", "0", "0", {"12.5"}, "@W0:0:12.5@0", {}},
        {"all parts", 3, 4, "5", "10", "100", {"25", "75"}, "@W3:4R5N10C100:25:75@3", {}},
        {"noise at 100 is allowed", 1, 2, "100", "0", "0", {"50"}, "@W1:2R100:50@1", {}},
        {"noise above 100", 0, 0, "101", "0", "0", {"50"}, "", {music::kMsgNoiseRange}},
        {"both messages", 0, 0, "101", "0", "0", {}, "", {music::kMsgNoDuty, music::kMsgNoiseRange}},
        {"typed text without number is refused", 31, 3, "", "", "", {"abc"}, "@W31:3@31", {music::kMsgDutyRange, music::kMsgNoDuty}},
        {"duties outside 0..99 or with junk are refused", 0, 0, "0", "0", "0", {"507", "5x}", "99.5", "-1", "1e1", "5.5.5", "50"},
         "@W0:0:50@0", {music::kMsgDutyRange, music::kMsgDutyRange, music::kMsgDutyRange, music::kMsgDutyRange, music::kMsgDutyRange, music::kMsgDutyRange}},
        {"the ends of the range, blanks around", 0, 0, "0", "0", "0", {"0", " 99 ", "33.3", ".5"}, "@W0:0:0:99:33.3:0.5@0", {}},
        {"level noise decimals", 2, 1, "0", "2.5", "0", {"50"}, "@W2:1N2.5:50@2", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        music::ToneHelper h;
        std::vector<std::string> messages;
        for (const auto& d : r.duties)
            if (std::string refused = h.addDuty(d, r.wave); !refused.empty()) messages.push_back(refused);
        h.setWaveType(r.wave);
        h.setFreqNoiseText(r.freqNoise);
        h.setSwitchText(r.switchMs);
        const std::string command =
            h.buildToneCommand(r.tone, r.levelNoise, [&](const std::string& m) { messages.push_back(m); });
        EXPECT_EQ(command, r.command);
        EXPECT_EQ(messages, r.messages);
    }
}

TEST(ToneHelper, ListShowsDutiesAsTypedAndDeleteKeepsOrder) {
    music::ToneHelper h;
    h.addDuty("50", 2);
    h.addDuty("12.5", 2);
    h.addDuty("75", 2);
    EXPECT_EQ(h.waveType(), 2);  // Add also takes the wave type
    EXPECT_EQ(h.listLines(), (std::vector<std::string>{"50", "12.5", "75"}));
    h.deleteDuty(-1);  // nothing selected
    h.deleteDuty(3);   // past the end
    EXPECT_EQ(h.dutyList().size(), 3u);
    h.deleteDuty(1);
    EXPECT_EQ(h.listLines(), (std::vector<std::string>{"50", "75"}));
    EXPECT_EQ(h.buildToneCommand(0, "0", {}), "@W0:2:50:75@0");
}

TEST(ToneHelper, FieldsAreReadAsIntegers) {
    music::ToneHelper h;
    h.setFreqNoiseText("12.9");
    h.setSwitchText("x");
    EXPECT_EQ(h.freqNoisePercent(), 12.0f);
    EXPECT_EQ(h.toneSwitchMs(), 0.0f);
}

struct TemplateRow {
    int index;
    const char* caption;
    std::array<std::string, 5> fields;
};

TEST(EnvelopeHelper, Templates) {
    const TemplateRow rows[] = {
        {0, "標準値", {"20", "20", "20", "255", "204"}},
        {1, "なし", {"0", "0", "0", "255", "255"}},
        {2, "めっちゃアタック", {"50", "50", "20", "255", "127"}},
        {3, "めっちゃ２", {"20", "80", "20", "255", "127"}},
        {4, "長いリリース", {"10", "10", "100", "229", "204"}},
        {5, "長いリリース2", {"20", "20", "150", "229", "204"}},
        {6, "長いリリース3", {"30", "20", "200", "229", "204"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.caption);
        EXPECT_STREQ(music::kEnvelopeTemplates[static_cast<size_t>(r.index)].caption, r.caption);
        EXPECT_EQ(music::applyEnvelopeTemplate(r.index), r.fields);
    }
}

struct EnvelopeRow {
    const char* name;
    music::EnvelopeFields fields;
    std::string text;
    std::string message;
};

TEST(EnvelopeHelper, CommandAndChecks) {
    const EnvelopeRow rows[] = {
        {"template 0", {"20", "20", "20", "255", "204", "0"}, "@ED0:20:20:20:255:204", ""},
        {"none, number 3", {"0", "0", "0", "255", "255", "3"}, "@ED3:0:0:0:255:255", ""},
        {"decimal times", {"1.5", "0.25", "100", "0", "0", "255"}, "@ED255:1.5:0.25:100:0:0", ""},
        {"empty fields read 0", {"", "", "", "", "", ""}, "@ED0:0:0:0:0:0", ""},
        {"negative attack time", {"-1", "20", "20", "255", "204", "0"}, "", "atack timeの時間が不正です(0ms～)"},
        {"negative decay time", {"20", "-5", "20", "255", "204", "0"}, "", "decay timeの時間が不正です(0ms～)"},
        {"negative release time", {"20", "20", "-0.5", "255", "204", "0"}, "", "release timeの時間が不正です(0ms～)"},
        {"attack level 256", {"20", "20", "20", "256", "204", "0"}, "", "atack levelが不正です(0～255)"},
        {"negative attack level", {"20", "20", "20", "-1", "204", "0"}, "", "atack levelが不正です(0～255)"},
        {"sustain level 256", {"20", "20", "20", "255", "256", "0"}, "", "sustain levelが不正です(0～255)"},
        {"number 256", {"20", "20", "20", "255", "204", "256"}, "", "番号が不正です(0～255)"},
        {"huge number does not wrap", {"20", "20", "20", "255", "204", "4294967296"}, "", "番号が不正です(0～255)"},
        {"first failure wins", {"-1", "-1", "20", "999", "204", "0"}, "", "atack timeの時間が不正です(0ms～)"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const music::EnvelopeCommand c = music::buildEnvelopeCommand(r.fields);
        EXPECT_EQ(c.text, r.text);
        EXPECT_EQ(c.message, r.message);
    }
}

}  // namespace
}  // namespace tavolin::window
