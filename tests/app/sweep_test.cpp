// SPDX-License-Identifier: MIT
// The status sweep against the simulated generator: its frames, what it shows when it finishes,
// its follow-ups and how it ends when answers go missing.
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "console_fixture.h"
#include "model/pattern_table.h"
#include "model/status_texts.h"
#include "model/timing_details.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

// A full sweep writes 23 queries (their order is pinned on the receiver), the link status last.
constexpr std::size_t kSweepQueries = 23;

void apply(sim::Generator& device, CommandCode code, const Bytes& payload) {
    ASSERT_TRUE(device.handle(code, payload, 0).has_value()) << std::hex << code;
}

using SweepTest = ConsoleTest;

TEST_F(SweepTest, FinishedSweepShowsTheGeneratorsState) {
    sim::GeneratorLine& line = attachGenerator(1);
    sim::Generator& device = line.device(0);
    const std::pair<CommandCode, std::uint8_t> settings[] = {
        {CMD_SET_TIMING, 0x0E},      {CMD_SET_PATTERN, 0x21},      {CMD_SET_COLOR_SPACE, 0x02},
        {CMD_SET_COLOR_DEPTH, 0x01}, {CMD_SET_HDCP, 0x01},         {CMD_SET_SAMPLE_RATE, 0x04},
        {CMD_SET_AUDIO_BITS, 0x02},  {CMD_SET_AUDIO_SOURCE, 0x01}, {CMD_SET_AUDIO_CHANNELS, 0x05},
        {CMD_SET_POWER, 0x01},
    };
    for (const auto& [code, value] : settings)
        apply(device, code, {value});
    UserTiming stored = standardTimingRecord(0x0E);
    stored.slot = 4;
    const auto storedBytes = stored.toBytes();
    apply(device, CMD_STORE_USER_TIMING, Bytes(storedBytes.begin(), storedBytes.end()));

    connect(1);
    CConsoleDlg& w = window();
    ASSERT_EQ(channel.writes().size(), kSweepQueries);
    EXPECT_EQ(channel.writes()[0].bytes, commandFrame(kBroadcast, CMD_GET_TIMING));
    EXPECT_EQ(channel.writes().back().bytes, commandFrame(kBroadcast, CMD_GET_LINK_STATUS));
    EXPECT_FALSE(w.connection().receiver().sweepMode);
    EXPECT_TRUE(services.messages().empty());
    const DeviceStatus& s = device.status();
    EXPECT_EQ(w.connection().receiver().deviceStatus, s);

    const auto link = device.linkStatus();
    const CStatusPanel& p = w.statusPanel();
    std::vector<std::pair<const QLabel*, std::string_view>> texts = {
        {p.field(SettingOption::Hdcp), hdcpSweepText(s.hdcp)},
        {p.hotPlugField(), hotPlugText(s.hotPlug)},
        {p.timingField(), "1080i(60)"},
        {p.field(SettingOption::AudioSource), "PCM"},
    };
    for (std::size_t i = 0; i < kLinkStatusSize; ++i)  // what is output replaces the sweep's
        texts.emplace_back(p.field(kLinkStatusOptions[i]),
                           optionText(kLinkStatusOptions[i], link[i]));
    for (const auto& [field, text] : texts)
        EXPECT_EQ(field->text(), qs(text)) << field->accessibleDescription().toStdString();

    EXPECT_EQ(w.power().selection(), s.power);
    EXPECT_EQ(w.power().iconId(), s.power == 0 ? 189 : 190);
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), *patternPositionOf(s.patternCode));
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), s.timingCode);
    EXPECT_EQ(w.timingDetailsPage().details, standardTimingDetails(s.timingCode));
    const int selections[] = {s.outputMode,  s.hdcp,       s.colorSpace, s.colorDepth,
                              s.audioSource, s.sampleRate, s.audioBits,  s.channels};
    for (std::size_t g = 0; g < std::size(selections); ++g)
        EXPECT_EQ(w.settingPage().groups[g]->checkedId(), selections[g]) << "group " << g;
    for (int slot = 1; slot <= 10; ++slot)
        EXPECT_EQ(w.timingPage().timingButton(userTimingCode(slot))->text().toStdString(),
                  formatUserTimingLabel(device.userTimings()[static_cast<std::size_t>(slot - 1)]));
    EXPECT_EQ(w.timingPage().timingButton(0x3B)->text(), "1920x1080i(60)");
}

TEST_F(SweepTest, Timing2AAsksForDetailsAfterTheLinkStatus) {
    sim::GeneratorLine& line = attachGenerator(1);
    apply(line.device(0), CMD_SET_TIMING, {0x2A});
    connect(1);
    CConsoleDlg& w = window();
    EXPECT_EQ(writtenSince(kSweepQueries - 1),
              (std::vector<Bytes>{commandFrame(kBroadcast, CMD_GET_LINK_STATUS),
                                  commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS)}));
    EXPECT_FALSE(w.connection().receiver().detailsPending);
    EXPECT_EQ(w.answers().currentTiming(), line.device(0).currentTimingRecord());
    EXPECT_EQ(panelTiming(), "720P_3D(59.94)SbS");
}

TEST_F(SweepTest, TimingAnswer36AsksForDetailsAtOnce) {
    sim::GeneratorLine& line = attachGenerator(1);
    apply(line.device(0), CMD_SET_TIMING, {0x36});
    connect(1);
    CConsoleDlg& w = window();
    const std::size_t before = channel.writes().size();

    receive(answerFrame({0x01, 0x02}, CMD_GET_TIMING, {0x36}));
    services.runFor(1);
    EXPECT_EQ(writtenSince(before),
              (std::vector<Bytes>{commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS)}));
    services.runFor(500);
    const UserTiming current = line.device(0).currentTimingRecord();
    EXPECT_EQ(w.answers().currentTiming(), current);
    EXPECT_EQ(w.timingDetailsPage().fields[0]->text(), QString::number(current.hActive));
    EXPECT_EQ(panelTiming(), "AUTO");
}

// A fourth answer that never comes: the sweep is abandoned by the watchdog (pinned on the
// receiver), nothing is shown, and a later sweep starts again from the first query.
TEST_F(SweepTest, BrokenSweepEndsSilentlyWithNothingShown) {
    sim::LineConfig config;
    config.faults.silentCodes = {CMD_GET_COLOR_DEPTH};
    apply(attachGenerator(1, {0x01, 0x02}, config).device(0), CMD_SET_TIMING, {0x14});
    CConsoleDlg& w = window();
    connect(1);
    EXPECT_FALSE(w.connection().receiver().sweepMode);
    EXPECT_EQ(channel.writes().size(), 4u);
    EXPECT_TRUE(panelTiming().isEmpty());
    EXPECT_TRUE(panelText(SettingOption::Hdcp).isEmpty());
    EXPECT_EQ(w.timingPage().selection, -1);
    EXPECT_EQ(w.settingPage().colorSpace, -1);
    EXPECT_EQ(w.power().selection(), -1);
    EXPECT_EQ(w.connection().receiver().deviceStatus.timingCode, 0x14)
        << "fields already read are kept";
    EXPECT_TRUE(services.messages().empty());
    EXPECT_TRUE(w.connection().portOpen());

    w.connection().startStatusSweep(400);
    services.runFor(1);
    EXPECT_EQ(channel.writes().back().bytes, commandFrame(kBroadcast, CMD_GET_TIMING));
    EXPECT_EQ(w.connection().receiver().sweepIndex, 0);
}

}  // namespace
}  // namespace krx::testing
