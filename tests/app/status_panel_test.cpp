// SPDX-License-Identifier: MIT
// The status-panel setters as the main window shows them: a setter changes the text, the next
// refresh shows it.
#include <QLabel>

#include "console_fixture.h"
#include "pages/tables/timing_tables.h"
#include "pages/timing_details_page.h"

namespace krx::testing {
namespace {

struct SetterCase {
    const char* name;
    void (CConsoleDlg::*setter)(int);
    QLabel* CConsoleDlg::*field;
    int value;
    const char* shown;
};

const SetterCase kSetterCases[] = {
    {"HdcpOne", &CConsoleDlg::setHdcpText, &CConsoleDlg::hdcpField, 1, "ON "},
    {"HdcpTwoIsOff", &CConsoleDlg::setHdcpText, &CConsoleDlg::hdcpField, 2, "OFF"},
    {"OutputDvi", &CConsoleDlg::setOutputModeText, &CConsoleDlg::outputModeField, 0, "DVI"},
    {"Space420", &CConsoleDlg::setColorSpaceText, &CConsoleDlg::colorSpaceField, 4, "YUV4:2:0"},
    {"SpaceNegative", &CConsoleDlg::setColorSpaceText, &CConsoleDlg::colorSpaceField, -1,
     "YUV4:2:0"},
    {"DepthFourIsAuto", &CConsoleDlg::setColorDepthText, &CConsoleDlg::colorDepthField, 4, "AUTO"},
    {"Rate192", &CConsoleDlg::setSampleRateText, &CConsoleDlg::sampleRateField, 6, "192K"},
    {"Bits20", &CConsoleDlg::setAudioBitsText, &CConsoleDlg::audioBitsField, 1, "20bit"},
    {"Channels8", &CConsoleDlg::setChannelsText, &CConsoleDlg::channelsField, 6, "8ch"},
    {"TimingAuto", &CConsoleDlg::setTimingText, &CConsoleDlg::timingField, 0x36, "AUTO"},
    {"TimingSmpte", &CConsoleDlg::setTimingText, &CConsoleDlg::timingField, 0x21, "4096x2160(24)"},
    // No name and no timing for a negative code: blank rather than a read outside the table.
    {"TimingNegative", &CConsoleDlg::setTimingText, &CConsoleDlg::timingField, -1, ""},
};

class StatusSetterTest : public ConsoleTest, public ::testing::WithParamInterface<SetterCase> {};

TEST_P(StatusSetterTest, ShowsTheTextAfterTheNextRefresh) {
    const SetterCase& c = GetParam();
    CConsoleDlg& w = window();
    (w.*c.setter)(c.value);
    EXPECT_TRUE((w.*c.field)->text().isEmpty()) << "a setter alone changes only the member";
    w.refreshMainWindow();
    EXPECT_EQ((w.*c.field)->text(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Values, StatusSetterTest, ::testing::ValuesIn(kSetterCases),
                         [](const auto& info) { return std::string(info.param.name); });

using StatusPanelTest = ConsoleTest;

TEST_F(StatusPanelTest, AudioTypeIsAlwaysPcm) {
    CConsoleDlg& w = window();
    w.setAudioTypeText();
    w.refreshMainWindow();
    EXPECT_EQ(w.audioTypeField->text(), "PCM");
}

// A user timing's text comes from what the Timing Details page holds.
struct UserTimingTextCase {
    const char* name;
    int hActive;
    int vActive;
    int scanType;
    float vFreqHz;
    const char* shown;
};

const UserTimingTextCase kUserTimingTextCases[] = {
    {"FourDigitsAndThree", 1000, 1000, kProgressive, 100.0f, "1000x1000(100)"},
    {"InterlaceDoublesLines", 1920, 540, kInterlace, 59.94f, "1920x1080i(60)"},
};

class UserTimingTextTest : public ConsoleTest,
                           public ::testing::WithParamInterface<UserTimingTextCase> {};

TEST_P(UserTimingTextTest, ComposedFromTheDetailsShown) {
    const UserTimingTextCase& c = GetParam();
    CConsoleDlg& w = window();
    TimingDetails& shown = w.timingDetailsPage().details;
    shown.hActive = c.hActive;
    shown.vActive = c.vActive;
    shown.scanType = c.scanType;
    shown.vFreqHz = c.vFreqHz;
    for (int code : {0x37, 0x40, 0x7F}) {
        w.setTimingText(code);
        w.refreshMainWindow();
        EXPECT_EQ(w.timingField->text(), c.shown) << "code " << code;
    }
}

INSTANTIATE_TEST_SUITE_P(Details, UserTimingTextTest, ::testing::ValuesIn(kUserTimingTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace krx::testing
