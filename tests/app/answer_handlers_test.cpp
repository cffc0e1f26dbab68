// SPDX-License-Identifier: MIT
// Answers as they reach the real window: which ones it takes, what each handler shows, and the
// status sweep against the simulated generator with its follow-ups.

#include "console_fixture.h"

namespace krx::testing {
namespace {

using AnswerTest = ConsoleTest;

// Bytes from a port outside 1..99 are ignored; an answer must come from the target the window
// passes on (framing, checksums, lengths and addressing are pinned on the receiver itself).
TEST_F(AnswerTest, TakesOnlyAnswersFromValidPortsForTheTarget) {
    const Bytes hdcpOn = hex("AB 00 00 06 00 00 00 65 80 01 69");
    receive(hdcpOn, 0);
    receive(hdcpOn, 100);
    EXPECT_TRUE(panelText(SettingOption::Hdcp).isEmpty());
    receive(hdcpOn, 99);
    EXPECT_EQ(panelText(SettingOption::Hdcp), "ON ");

    window().connection().setTargetAddress({0x01, 0x02});
    receive(answerFrame({0x01, 0x03}, CMD_GET_HDCP, {0x00}));
    EXPECT_EQ(panelText(SettingOption::Hdcp), "ON ") << "another device's answer";
    receive(answerFrame({0x01, 0x02}, CMD_GET_HDCP, {0x00}));
    EXPECT_EQ(panelText(SettingOption::Hdcp), "OFF");
}

// One-byte answers of the Setting family set the option's selection and its own status text and no
// other (the texts are pinned with optionText, the option's member is the Setting page's, which the
// sweep's rows reach for every option); the audio source has no text. (The reset note is the
// reset's test.)
TEST_F(AnswerTest, SettingAnswersSetSelectionRadioAndText) {
    struct Row {
        CommandCode code;
        std::uint8_t value;
        const char* shown;
    };
    const Row rows[] = {
        {CMD_GET_COLOR_SPACE, 2, "YUV4:2:2"},
        {CMD_GET_AUDIO_SOURCE, 1, ""},  // no status text
        {CMD_GET_AUDIO_CHANNELS, 2, "4ch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(commandName(row.code));
        destroyWindow();
        receive(answerFrame(kBroadcast, row.code, {row.value}));
        const SettingOption option = settingFactsForCode(row.code)->option;
        EXPECT_EQ(window().settingPage().groups[static_cast<std::size_t>(option)]->checkedId(),
                  row.value);
        QStringList shown(2 + kSettingOptionCount);
        shown[2 + static_cast<qsizetype>(option)] = row.shown;
        EXPECT_EQ(statusTexts(), shown);
    }
}

// Answers that lack their data change nothing; with it the pattern is checked by code, the power
// state and the hot plug shown.
TEST_F(AnswerTest, PatternPowerAndHotPlugAnswersShowTheirDataAndWithoutItNothing) {
    CConsoleDlg& w = window();
    for (CommandCode code :
         {CMD_GET_TIMING, CMD_GET_HDCP, CMD_GET_TIMING_DETAILS, CMD_GET_LINK_STATUS, CMD_GET_POWER,
          CMD_READ_ADDRESS, CMD_GET_PATTERN, CMD_GET_HOT_PLUG})
        receive(answerFrame({0x01, 0x02}, code));
    EXPECT_EQ(w.timingPage().selection, -1);
    EXPECT_EQ(w.settingPage().hdcp, -1);
    EXPECT_EQ(w.power().selection(), -1);
    EXPECT_EQ(w.power().iconId(), 190) << "the power-off picture while nothing is selected";
    EXPECT_EQ(w.connection().targetAddress(), kBroadcast);
    EXPECT_EQ(statusTexts(), QStringList(2 + kSettingOptionCount));

    receive(answerFrame(kBroadcast, CMD_GET_POWER, {0x00}));
    EXPECT_EQ(w.power().iconId(), 189);
    EXPECT_TRUE(w.power().onRadio()->isChecked());
    receive(answerFrame(kBroadcast, CMD_GET_PATTERN, {0x24}));
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), 35);
    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {0x02}));
    EXPECT_EQ(w.statusPanel().hotPlugField()->text(), "ON ");
}

// Timing answers in turn: each checks its radio and names the timing (a negative code checks
// nothing and stays inside the tables; a user slot is named from its record); AUTO asks for its
// details at once, refused here as the port is closed. Last, the 4K colour rule (pinned with
// coloursForTiming) moves the Setting page's selections but not the status panel's texts.
TEST_F(AnswerTest, TimingAnswersSelectAndNameTheTiming) {
    struct Row {
        std::uint8_t code;
        int checked;
        const char* shown;
        bool asksDetails = false;
    };
    const Row rows[] = {
        {0x14, 0x14, "1080P(60)"},      {0xC0, -1, ""},
        {0x39, 0x39, "1920x1080i(60)"}, {0x36, 0x36, "AUTO", true},
        {0x22, 0x22, "4K(4:2:0)(60)"},
    };
    CConsoleDlg& w = window();
    w.connection().receiver().userTimings[2] = standardTimingRecord(0x0E);  // 1080i(60)
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_DEPTH, {0x02}));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        services_.clearMessages();
        receive(answerFrame(kBroadcast, CMD_GET_TIMING, {row.code}));
        EXPECT_EQ(w.timingPage().timingGroup->checkedId(), row.checked);
        EXPECT_EQ(panelTiming(), row.shown);
        EXPECT_EQ(messageTexts(), row.asksDetails ? QStringList{kNotOn} : QStringList{});
    }
    EXPECT_EQ(w.settingPage().groups[2]->checkedId(), 4) << "YUV4:2:0";
    EXPECT_EQ(w.settingPage().groups[3]->checkedId(), 0) << "24bit";
    EXPECT_EQ(panelText(SettingOption::ColorSpace), "YUV4:4:4");
}

// A full sweep writes 23 queries (their order is pinned on the receiver), the link status last:
// its answer (AUTO sample rate output as 48K) replaces the sweep's texts but no selection. On
// 720P_3D(59.94)SbS the details are asked for after it.
TEST_F(AnswerTest, FinishedSweepShowsTheGeneratorsState) {
    sim::Generator& device = attachGenerator(1).device(0);
    const std::pair<CommandCode, std::uint8_t> settings[] = {
        {CMD_SET_TIMING, 0x2A},      {CMD_SET_PATTERN, 0x21},      {CMD_SET_COLOR_SPACE, 0x02},
        {CMD_SET_COLOR_DEPTH, 0x01}, {CMD_SET_HDCP, 0x01},         {CMD_SET_SAMPLE_RATE, 0x07},
        {CMD_SET_AUDIO_BITS, 0x02},  {CMD_SET_AUDIO_SOURCE, 0x01}, {CMD_SET_AUDIO_CHANNELS, 0x05},
        {CMD_SET_POWER, 0x01},
    };
    for (const auto& [code, value] : settings)
        ASSERT_TRUE(device.handle(code, std::vector{value}, 0).has_value()) << std::hex << code;
    connect(1);
    CConsoleDlg& w = window();
    ASSERT_EQ(channel_.writes().size(), 24u);
    EXPECT_EQ(channel_.writes()[22].bytes, commandFrame(kBroadcast, CMD_GET_LINK_STATUS));
    EXPECT_EQ(channel_.writes()[23].bytes, commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS));
    EXPECT_EQ(w.answers().currentTiming(), device.currentTimingRecord());
    EXPECT_EQ(statusTexts(), (QStringList{"ON ", "720P_3D(59.94)SbS", "HDMI", "ON ", "YUV4:2:2",
                                          "30bit", "PCM", "48K", "24bit", "7ch"}));
    EXPECT_EQ(w.power().iconId(), 190);
    EXPECT_EQ(w.power().onRadio()->group()->checkedId(), 1);
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), 32) << "SMPTE ColorBar";
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x2A);
    const int selections[] = {1, 1, 2, 1, 1, 7, 2, 5};
    for (std::size_t g = 0; g < std::size(selections); ++g)
        EXPECT_EQ(w.settingPage().groups[g]->checkedId(), selections[g]) << "group " << g;
    // The slots hold 1280x720(60) records: named from them, no longer the "1280X720(60)" label.
    EXPECT_EQ(w.timingPage().timingButton(0x37)->text(), "1280x720(60)");
}

}  // namespace
}  // namespace krx::testing
