// SPDX-License-Identifier: MIT
// General-mode answers as they reach the real window: which ones it takes and what each handler
// shows.
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "console_fixture.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

class AnswerTest : public ConsoleTest {
  protected:
    bool hdcpOnShown() {
        CConsoleDlg& w = window();
        return panelText(SettingOption::Hdcp) == "ON " &&
               w.settingPage().groups[1]->checkedId() == 1 && w.settingPage().hdcp == 1;
    }
};

// Whether an HDCP-on answer is taken: the port it came from and the target the window passes on.
// Framing, checksums, lengths and the code shift are pinned on the receiver itself.
TEST_F(AnswerTest, TakesOnlyAnswersFromValidPortsForTheTarget) {
    const Bytes hdcpOn = hex("AB 00 00 06 00 00 00 65 80 01 69");
    struct Arrival {
        Bytes bytes;
        int port;
    };
    struct Row {
        const char* name;
        TargetAddress target;
        std::vector<Arrival> arrivals;
        bool taken;
    };
    const Row rows[] = {
        {"valid", kBroadcast, {{hdcpOn, 1}}, true},
        {"ports 0 and 100 ignored", kBroadcast, {{hdcpOn, 0}, {hdcpOn, 100}}, false},
        {"port 99", kBroadcast, {{hdcpOn, 99}}, true},
        {"other device",
         {0x01, 0x02},
         {{answerFrame({0x01, 0x03}, CMD_GET_HDCP, {0x01}), 1}},
         false},
        {"own device", {0x01, 0x02}, {{answerFrame({0x01, 0x02}, CMD_GET_HDCP, {0x01}), 1}}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        destroyWindow();
        window().connection().setTargetAddress(row.target);
        for (const Arrival& arrival : row.arrivals)
            receive(arrival.bytes, arrival.port);
        EXPECT_EQ(hdcpOnShown(), row.taken);
        EXPECT_EQ(window().connection().receiver().rxPosition, -1);
    }
}

// One-byte answers of the Setting family: selection, radio, its own status text and no other;
// only the colour-space answer empties the reset note.
TEST_F(AnswerTest, SettingAnswersSetSelectionRadioAndText) {
    struct Row {
        const char* name;
        CommandCode code;
        std::uint8_t value;
        int CSettingPage::*selection;
        std::size_t group;
        const char* shown;  // "": no status text
    };
    const Row rows[] = {
        {"colour space", CMD_GET_COLOR_SPACE, 2, &CSettingPage::colorSpace, 2, "YUV4:2:2"},
        {"colour depth", CMD_GET_COLOR_DEPTH, 1, &CSettingPage::colorDepth, 3, "30bit"},
        {"hdcp off", CMD_GET_HDCP, 0, &CSettingPage::hdcp, 1, "OFF"},
        {"output DVI", CMD_GET_OUTPUT_MODE, 0, &CSettingPage::outputMode, 0, "DVI"},
        {"sample rate auto", CMD_GET_SAMPLE_RATE, 7, &CSettingPage::sampleRate, 5, "AUTO"},
        {"audio bits", CMD_GET_AUDIO_BITS, 0, &CSettingPage::audioBits, 6, "16bit"},
        {"audio source", CMD_GET_AUDIO_SOURCE, 1, &CSettingPage::audioSource, 4, ""},
        {"channels", CMD_GET_AUDIO_CHANNELS, 2, &CSettingPage::channels, 7, "4ch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        destroyWindow();
        CConsoleDlg& w = window();
        CSettingPage& setting = w.settingPage();
        setting.resetNote = "Wait for a few seconds...";
        setting.refresh();
        receive(answerFrame(kBroadcast, row.code, {row.value}));
        EXPECT_EQ(setting.*row.selection, row.value);
        EXPECT_EQ(setting.groups[row.group]->checkedId(), row.value);
        EXPECT_EQ(setting.resetNoteLabel->text().isEmpty(), row.code == CMD_GET_COLOR_SPACE);
        const QLabel* own = *row.shown != '\0'
                                ? w.statusPanel().field(settingFactsForCode(row.code)->option)
                                : nullptr;
        for (const QLabel* field : statusFields())
            EXPECT_EQ(field->text(), field == own ? row.shown : "")
                << field->accessibleDescription().toStdString();
    }
}

TEST_F(AnswerTest, AnswersWithoutTheirDataAreIgnored) {
    CConsoleDlg& w = window();
    for (CommandCode code : {CMD_GET_TIMING, CMD_GET_HDCP, CMD_GET_TIMING_DETAILS,
                             CMD_GET_LINK_STATUS, CMD_GET_POWER, CMD_READ_ADDRESS})
        receive(answerFrame({0x01, 0x02}, code));
    EXPECT_EQ(w.timingPage().selection, -1);
    EXPECT_EQ(w.settingPage().hdcp, -1);
    EXPECT_EQ(w.power().selection(), -1);
    EXPECT_EQ(w.connection().targetAddress(), kBroadcast);
    EXPECT_TRUE(panelText(SettingOption::ColorSpace).isEmpty());
}

TEST_F(AnswerTest, PatternPowerAndHotPlugAnswers) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_POWER, {0x00}));
    EXPECT_EQ(w.power().iconId(), 189);
    EXPECT_TRUE(w.power().onRadio()->isChecked());
    receive(answerFrame(kBroadcast, CMD_GET_PATTERN, {0x05}));
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), 5);
    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {0x02}));
    EXPECT_EQ(w.statusPanel().hotPlugField()->text(), "ON ");
    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {0x00}));
    EXPECT_EQ(w.statusPanel().hotPlugField()->text(), "OFF");
}

TEST_F(AnswerTest, LinkStatusSetsSixTextsButNoSelection) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_LINK_STATUS, {0x01, 0x02, 0x00, 0x06, 0x01, 0x07}));
    EXPECT_EQ(panelText(SettingOption::ColorSpace), "YUV4:4:4");
    EXPECT_EQ(panelText(SettingOption::ColorDepth), "36bit");
    EXPECT_EQ(panelText(SettingOption::OutputMode), "DVI");
    EXPECT_EQ(panelText(SettingOption::SampleRate), "192K");
    EXPECT_EQ(panelText(SettingOption::AudioBits), "20bit");
    EXPECT_EQ(panelText(SettingOption::Channels), "AUTO");
    EXPECT_EQ(w.settingPage().colorSpace, -1);
    EXPECT_EQ(w.settingPage().outputMode, -1);
    EXPECT_TRUE(channel.writes().empty()) << "no details were pending";
}

// A timing answer selects the timing and shows it; the 4K colour rule (pinned with
// coloursForTiming) moves the Setting page's selections, not the status panel's texts.
TEST_F(AnswerTest, TimingAnswerShowsTheTimingAndTheSelectionsFollow) {
    CConsoleDlg& w = window();
    CSettingPage& setting = w.settingPage();
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x01}));
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_DEPTH, {0x02}));
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x22}));
    EXPECT_EQ(setting.groups[2]->checkedId(), 4) << "YUV4:2:0";
    EXPECT_EQ(setting.groups[3]->checkedId(), 0) << "24bit";
    EXPECT_EQ(panelText(SettingOption::ColorSpace), "YUV4:4:4") << "only the selections follow";
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), 0x22);
    EXPECT_EQ(panelTiming(), "4K(4:2:0)(60)");
    EXPECT_EQ(w.timingDetailsPage().details, standardTimingDetails(0x22));
    EXPECT_TRUE(w.timingDetailsPage().fields[0]->isReadOnly()) << "a 4K timing is locked";
}

TEST_F(AnswerTest, NegativeTimingChecksNothingAndStaysInsideTables) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x14}));
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0xC0}));
    EXPECT_EQ(w.timingPage().selection, -64);
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), -1);
    EXPECT_FALSE(w.timingDetailsPage().details.hasTiming);
    EXPECT_TRUE(panelTiming().isEmpty());
}

TEST_F(AnswerTest, UserTimingAnswerIsNamedFromTheSlotRecord) {
    CConsoleDlg& w = window();
    w.connection().receiver().userTimings[2] = standardTimingRecord(0x0E);  // 1080i(60)
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x39}));
    EXPECT_EQ(w.timingDetailsPage().details.hActive, 1920);
    EXPECT_EQ(panelTiming(), "1920x1080i(60)");
}

}  // namespace
}  // namespace krx::testing
