// SPDX-License-Identifier: MIT
// General-mode answers as they reach the real window: acceptance (length, checksum, code,
// address, port number) and what each handler shows.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <numeric>

#include "console_fixture.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

constexpr TargetAddress kBroadcast{0x00, 0x00};
const Bytes kHdcpOnAnswer = {0xAB, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x65, 0x80, 0x01, 0x69};

class AnswerTest : public ConsoleTest {
  protected:
    bool hdcpOnShown() {
        CConsoleDlg& w = window();
        QAbstractButton* on = w.settingPage().groups[1]->button(1);
        return w.hdcpField->text() == "ON " && on->isChecked() && w.settingPage().hdcp == 1;
    }
};

TEST_F(AnswerTest, HdcpAnswerChecksRadioAndShowsText) {
    receive(kHdcpOnAnswer);
    EXPECT_TRUE(hdcpOnShown());
    EXPECT_EQ(window().receiver.rxPosition, -1);
}

TEST_F(AnswerTest, BadChecksumChangesNothingAndNextFrameStartsClean) {
    Bytes corrupt = kHdcpOnAnswer;
    corrupt.back() = 0x6A;
    receive(corrupt);
    EXPECT_FALSE(hdcpOnShown());
    EXPECT_EQ(window().settingPage().hdcp, -1);
    receive(kHdcpOnAnswer);
    EXPECT_TRUE(hdcpOnShown());
}

// Each row: a broken or odd head, followed at once by the valid HDCP answer, which must be
// applied: the broken frame was dropped where it broke instead of swallowing the next one.
struct DropCase {
    const char* name;
    Bytes head;
};

const DropCase kDropCases[] = {
    {"LengthHighByteTwo", {0xAB, 0x00, 0x00, 0x06, 0x02}},
    {"Length501", {0xAB, 0x00, 0x00, 0xF5, 0x01}},
    {"LengthBelowFive", {0xAB, 0x00, 0x00, 0x04, 0x00}},
};

class DroppedHeadTest : public AnswerTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DroppedHeadTest, NextAnswerIsStillApplied) {
    receive(GetParam().head);
    EXPECT_EQ(window().receiver.rxPosition, -1);
    receive(kHdcpOnAnswer);
    EXPECT_TRUE(hdcpOnShown());
}

INSTANTIATE_TEST_SUITE_P(Heads, DroppedHeadTest, ::testing::ValuesIn(kDropCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnswerTest, LengthOf500IsAccepted) {
    Bytes frame = {0xAB, 0x00, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x65, 0x80, 0x01};
    frame.resize(500 + 4, 0x00);  // data up to byte length + 3
    const unsigned sum = std::accumulate(frame.begin(), frame.end(), 0u);
    frame.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
    ASSERT_EQ(frame.size(), 505u);
    receive(frame);
    EXPECT_TRUE(hdcpOnShown());
}

TEST_F(AnswerTest, BytesFromPortsOutsideOneTo99AreIgnored) {
    receive(kHdcpOnAnswer, 0);
    receive(kHdcpOnAnswer, 100);
    EXPECT_EQ(window().settingPage().hdcp, -1);
    EXPECT_TRUE(window().hdcpField->text().isEmpty());
    receive(kHdcpOnAnswer, 99);
    EXPECT_TRUE(hdcpOnShown());
}

// The address filter: target, answering device, applied or not.
struct AddressCase {
    const char* name;
    TargetAddress target;
    TargetAddress from;
    bool applied;
};

const AddressCase kAddressCases[] = {
    {"OtherDeviceDropped", {0x01, 0x02}, {0x01, 0x03}, false},
    {"SameDeviceApplied", {0x01, 0x02}, {0x01, 0x02}, true},
    {"GroupTargetTakesAnyDevice", {0x01, 0xFF}, {0x01, 0x03}, true},
    {"GroupTargetTakesListedDevice", {0x01, 0xFF}, {0x01, 0x02}, true},
    {"GroupZeroDeviceTakesOtherGroup", {0x05, 0x00}, {0x07, 0x09}, true},
    {"BroadcastFFTakesAll", {0xFF, 0xFF}, {0x33, 0x44}, true},
    {"OtherGroupDropped", {0x01, 0x02}, {0x02, 0x02}, false},
};

class AddressFilterTest : public AnswerTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(AddressFilterTest, AppliesOnlyAnswersForTheTarget) {
    const AddressCase& c = GetParam();
    window().targetAddress = c.target;
    receive(answerFrame(c.from, CMD_GET_HDCP, {0x01}));
    EXPECT_EQ(hdcpOnShown(), c.applied);
}

INSTANTIATE_TEST_SUITE_P(Targets, AddressFilterTest, ::testing::ValuesIn(kAddressCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnswerTest, ReadAddressAnswerIsAppliedWhateverTheTarget) {
    CConsoleDlg& w = window();
    w.targetAddress = {0x01, 0x02};
    receive(answerFrame({0x07, 0x07}, CMD_READ_ADDRESS, {0x0A, 0xB5}));
    EXPECT_EQ(w.targetAddress, (TargetAddress{0x0A, 0xB5}));
    EXPECT_EQ(w.originalAddress.group, "0a");
    EXPECT_EQ(w.originalAddress.device, "b5");
}

TEST_F(AnswerTest, CodeShiftTakesCodeFromDataButAddressFromBytesFiveAndSix) {
    CConsoleDlg& w = window();
    // AB 00 00 07 00 G FF | FF 00 | 39 B8 ..: bytes 6 and 7 are FF, so the code is 0xB839 and
    // its data byte d0 is 0x39 (non-zero: a display is attached).
    auto shifted = [](std::uint8_t group) {
        Bytes frame = {0xAB, 0x00, 0x00, 0x07, 0x00, group, 0xFF, 0xFF, 0x00, 0x39, 0xB8};
        const unsigned sum = std::accumulate(frame.begin(), frame.end(), 0u);
        frame.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
        return frame;
    };
    w.targetAddress = {0x01, 0x02};
    receive(shifted(0x01));
    EXPECT_TRUE(w.hotPlugField->text().isEmpty()) << "device byte 0xFF is not device 0x02";
    w.targetAddress = kBroadcast;
    receive(shifted(0x01));
    EXPECT_EQ(w.hotPlugField->text(), "ON ");
}

// One-byte answers of the Setting family: selection, radio and status text.
struct SettingAnswerCase {
    const char* name;
    CommandCode code;
    std::uint8_t value;
    int CSettingPage::*selection;
    std::size_t group;
    QLabel* CConsoleDlg::*field;  // null: no status text
    const char* shown;
};

const SettingAnswerCase kSettingAnswers[] = {
    {"ColorSpace", CMD_GET_COLOR_SPACE, 2, &CSettingPage::colorSpace, 2,
     &CConsoleDlg::colorSpaceField, "YUV4:2:2"},
    {"ColorDepth", CMD_GET_COLOR_DEPTH, 1, &CSettingPage::colorDepth, 3,
     &CConsoleDlg::colorDepthField, "30bit"},
    {"HdcpOff", CMD_GET_HDCP, 0, &CSettingPage::hdcp, 1, &CConsoleDlg::hdcpField, "OFF"},
    {"OutputDvi", CMD_GET_OUTPUT_MODE, 0, &CSettingPage::outputMode, 0,
     &CConsoleDlg::outputModeField, "DVI"},
    {"SampleRateAuto", CMD_GET_SAMPLE_RATE, 7, &CSettingPage::sampleRate, 5,
     &CConsoleDlg::sampleRateField, "AUTO"},
    {"AudioBits", CMD_GET_AUDIO_BITS, 0, &CSettingPage::audioBits, 6, &CConsoleDlg::audioBitsField,
     "16bit"},
    {"AudioSource", CMD_GET_AUDIO_SOURCE, 1, &CSettingPage::audioSource, 4, nullptr, ""},
    {"Channels", CMD_GET_AUDIO_CHANNELS, 2, &CSettingPage::channels, 7, &CConsoleDlg::channelsField,
     "4ch"},
};

class SettingAnswerTest : public AnswerTest,
                          public ::testing::WithParamInterface<SettingAnswerCase> {};

TEST_P(SettingAnswerTest, SetsSelectionRadioAndText) {
    const SettingAnswerCase& c = GetParam();
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, c.code, {c.value}));
    EXPECT_EQ(w.settingPage().*c.selection, c.value);
    EXPECT_EQ(w.settingPage().groups[c.group]->checkedId(), c.value);
    if (c.field != nullptr) {
        EXPECT_EQ((w.*c.field)->text(), c.shown);
    } else {
        for (QLabel* field :
             {w.hdcpField, w.outputModeField, w.colorSpaceField, w.colorDepthField,
              w.sampleRateField, w.audioBitsField, w.channelsField, w.audioTypeField})
            EXPECT_TRUE(field->text().isEmpty()) << field->accessibleDescription().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, SettingAnswerTest, ::testing::ValuesIn(kSettingAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnswerTest, ColorSpaceAnswerEmptiesTheResetNote) {
    CConsoleDlg& w = window();
    w.settingPage().resetNote = "Wait for a few seconds...";
    w.settingPage().refresh();
    receive(answerFrame(kBroadcast, CMD_GET_COLOR_SPACE, {0x00}));
    EXPECT_TRUE(w.settingPage().resetNoteLabel->text().isEmpty());
}

TEST_F(AnswerTest, AnswersWithoutTheirDataAreIgnored) {
    CConsoleDlg& w = window();
    for (CommandCode code : {CMD_GET_TIMING, CMD_GET_HDCP, CMD_GET_TIMING_DETAILS,
                             CMD_GET_LINK_STATUS, CMD_GET_POWER, CMD_READ_ADDRESS})
        receive(answerFrame({0x01, 0x02}, code));
    EXPECT_EQ(w.timingPage().selection, -1);
    EXPECT_EQ(w.settingPage().hdcp, -1);
    EXPECT_EQ(w.powerSelection, -1);
    EXPECT_EQ(w.targetAddress, kBroadcast);
    EXPECT_TRUE(w.colorSpaceField->text().isEmpty());
}

TEST_F(AnswerTest, PatternPowerAndHotPlugAnswers) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_PATTERN, {0x05}));
    EXPECT_EQ(w.patternPage().selection, 5);
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), 5);
    receive(answerFrame(kBroadcast, CMD_GET_PATTERN, {0x7F}));
    EXPECT_EQ(w.patternPage().selection, -1) << "a code outside the table checks nothing";
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), -1);

    receive(answerFrame(kBroadcast, CMD_GET_POWER, {0x00}));
    EXPECT_EQ(w.powerIconId(), 189);
    EXPECT_TRUE(w.powerOnRadio->isChecked());
    receive(answerFrame(kBroadcast, CMD_GET_POWER, {0x03}));
    EXPECT_EQ(w.powerIconId(), 190);
    EXPECT_EQ(w.powerSelection, 3);
    EXPECT_FALSE(w.powerOnRadio->isChecked());

    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {0x02}));
    EXPECT_EQ(w.hotPlugField->text(), "ON ");
    receive(answerFrame(kBroadcast, CMD_GET_HOT_PLUG, {0x00}));
    EXPECT_EQ(w.hotPlugField->text(), "OFF");
}

TEST_F(AnswerTest, LinkStatusSetsSixTextsButNoSelection) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_LINK_STATUS, {0x01, 0x02, 0x00, 0x06, 0x01, 0x07}));
    EXPECT_EQ(w.colorSpaceField->text(), "YUV4:4:4");
    EXPECT_EQ(w.colorDepthField->text(), "36bit");
    EXPECT_EQ(w.outputModeField->text(), "DVI");
    EXPECT_EQ(w.sampleRateField->text(), "192K");
    EXPECT_EQ(w.audioBitsField->text(), "20bit");
    EXPECT_EQ(w.channelsField->text(), "AUTO");
    EXPECT_EQ(w.settingPage().colorSpace, -1);
    EXPECT_EQ(w.settingPage().outputMode, -1);
    EXPECT_TRUE(channel.writes().empty()) << "no details were pending";
}

// Timing answers and the 4K colour rule on the Setting page's selections.
struct TimingRuleCase {
    const char* name;
    int spaceBefore;
    int depthBefore;
    std::uint8_t timing;
    int spaceAfter;
    int depthAfter;
    const char* timingText;
};

const TimingRuleCase kTimingRules[] = {
    {"To4k420", 1, 2, 0x22, 4, 0, "4K(4:2:0)(60)"},
    {"Leaving420ForHd", 4, 0, 0x14, 0, 0, "1080P(60)"},
    {"Plain4kKeeps422", 2, 3, 0x1C, 2, 0, "4K(30)"},
    {"Plain4kDrops420", 4, 1, 0x21, 0, 0, "4096x2160(24)"},
    {"HdKeepsDepth", 1, 2, 0x0C, 1, 2, "720P(60)"},
};

class TimingRuleTest : public AnswerTest, public ::testing::WithParamInterface<TimingRuleCase> {};

TEST_P(TimingRuleTest, SelectionsFollowAndTimingIsShown) {
    const TimingRuleCase& c = GetParam();
    CConsoleDlg& w = window();
    CSettingPage& setting = w.settingPage();
    setting.colorSpace = c.spaceBefore;
    setting.colorDepth = c.depthBefore;
    setting.refresh();
    w.setColorSpaceText(c.spaceBefore);
    w.refreshMainWindow();
    const QString spaceText = w.colorSpaceField->text();

    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {c.timing}));
    EXPECT_EQ(setting.colorSpace, c.spaceAfter);
    EXPECT_EQ(setting.colorDepth, c.depthAfter);
    EXPECT_EQ(setting.groups[2]->checkedId(), c.spaceAfter);
    EXPECT_EQ(setting.groups[3]->checkedId(), c.depthAfter);
    EXPECT_EQ(w.colorSpaceField->text(), spaceText) << "only the selections follow";
    EXPECT_EQ(w.timingPage().selection, c.timing);
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), c.timing);
    EXPECT_EQ(w.timingField->text(), c.timingText);
    EXPECT_EQ(w.timingDetailsPage().details, standardTimingDetails(c.timing));
    EXPECT_EQ(w.timingDetailsPage().fields[0]->isReadOnly(), is4k(c.timing));
}

INSTANTIATE_TEST_SUITE_P(Timings, TimingRuleTest, ::testing::ValuesIn(kTimingRules),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AnswerTest, NegativeTimingChecksNothingAndStaysInsideTables) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x14}));
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0xC0}));
    EXPECT_EQ(w.timingPage().selection, -64);
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), -1);
    EXPECT_FALSE(w.timingDetailsPage().details.hasTiming);
    EXPECT_TRUE(w.timingField->text().isEmpty());
}

TEST_F(AnswerTest, UserTimingAnswerIsNamedFromTheSlotRecord) {
    CConsoleDlg& w = window();
    UserTiming record = standardTimingRecord(0x0E);  // 1080i(60)
    w.receiver.userTimings[2] = record;
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x39}));
    EXPECT_EQ(w.timingDetailsPage().details.hActive, 1920);
    EXPECT_EQ(w.timingField->text(), "1920x1080i(60)");
}

TEST_F(AnswerTest, TimingDetailsAnswerStoresCurrentTimingForAuto) {
    CConsoleDlg& w = window();
    receive(answerFrame(kBroadcast, CMD_GET_TIMING, {0x36}));  // port closed: 0x80A1 refused
    EXPECT_EQ(w.timingField->text(), "AUTO");
    const UserTiming record = standardTimingRecord(0x0C);  // 720P(60)
    const auto bytes = record.toBytes();
    receive(answerFrame({0x01, 0x02}, CMD_GET_TIMING_DETAILS, Bytes(bytes.begin(), bytes.end())));
    EXPECT_EQ(w.currentTiming(), record);
    EXPECT_EQ(w.timingDetailsPage().details.hActive, 1280);
    EXPECT_EQ(w.timingDetailsPage().details.vActive, 720);
    EXPECT_EQ(w.timingDetailsPage().fields[0]->text(), "1280");
}

}  // namespace
}  // namespace krx::testing
