// SPDX-License-Identifier: MIT
// The status sweep against the simulated generator: its frames, what it shows when it finishes,
// its follow-ups and how it ends when answers go missing.
#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>

#include "console_fixture.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/tables/pattern_table.h"
#include "pages/tables/status_texts.h"
#include "pages/tables/timing_details.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"

namespace krx::testing {
namespace {

constexpr TargetAddress kBroadcast{0x00, 0x00};

QString qs(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The frames one full sweep writes, in order, ending with the link-status query.
std::vector<Bytes> sweepFrames() {
    std::vector<Bytes> frames;
    for (std::size_t i = 0; i < 12; ++i)
        frames.push_back(commandFrame(kBroadcast, kStatusQueryCodes[i]));
    for (std::uint8_t slot = 0; slot < 10; ++slot)
        frames.push_back(commandFrame(kBroadcast, CMD_GET_USER_TIMING, {slot}));
    frames.push_back(commandFrame(kBroadcast, CMD_GET_LINK_STATUS));
    return frames;
}

void apply(sim::Generator& device, CommandCode code, const Bytes& payload) {
    ASSERT_TRUE(device.handle(code, payload, 0).has_value()) << std::hex << code;
}

using SweepTest = ConsoleTest;

TEST_F(SweepTest, WritesTheQueriesByteForByte) {
    attachGenerator(1);
    connect(1);
    const std::vector<Bytes> frames = writtenSince(0);
    EXPECT_EQ(frames, sweepFrames());
    // The examples as they go on the line.
    ASSERT_EQ(frames.size(), 23u);
    EXPECT_EQ(frames[0], (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x61, 0x80, 0x70}));
    EXPECT_EQ(frames[1], (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x62, 0x80, 0x6F}));
    EXPECT_EQ(frames[12],
              (Bytes{0xAA, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0xA0, 0x80, 0x00, 0x30}));
    EXPECT_EQ(frames[22], (Bytes{0xAA, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xA9, 0x80, 0x28}));
    EXPECT_FALSE(window().receiver.sweepMode);
    EXPECT_TRUE(services.messages().empty());
}

TEST_F(SweepTest, FinishedSweepShowsTheGeneratorsState) {
    sim::GeneratorLine& line = attachGenerator(1);
    sim::Generator& device = line.device(0);
    apply(device, CMD_SET_TIMING, {0x0E});
    apply(device, CMD_SET_PATTERN, {0x21});
    apply(device, CMD_SET_COLOR_SPACE, {0x02});
    apply(device, CMD_SET_COLOR_DEPTH, {0x01});
    apply(device, CMD_SET_HDCP, {0x01});
    apply(device, CMD_SET_SAMPLE_RATE, {0x04});
    apply(device, CMD_SET_AUDIO_BITS, {0x02});
    apply(device, CMD_SET_AUDIO_SOURCE, {0x01});
    apply(device, CMD_SET_AUDIO_CHANNELS, {0x05});
    apply(device, CMD_SET_POWER, {0x01});
    UserTiming stored = standardTimingRecord(0x0E);
    stored.slot = 4;
    const auto storedBytes = stored.toBytes();
    apply(device, CMD_STORE_USER_TIMING, Bytes(storedBytes.begin(), storedBytes.end()));

    connect(1);
    CConsoleDlg& w = window();
    const DeviceStatus& s = device.status();
    EXPECT_EQ(w.receiver.deviceStatus, s);

    const auto link = device.linkStatus();
    EXPECT_EQ(w.hdcpField->text(), qs(hdcpSweepText(s.hdcp)));
    EXPECT_EQ(w.hotPlugField->text(), qs(hotPlugText(s.hotPlug)));
    EXPECT_EQ(w.timingField->text(), "1080i(60)");
    EXPECT_EQ(w.colorSpaceField->text(), qs(colorSpaceText(link[0])));
    EXPECT_EQ(w.colorDepthField->text(), qs(colorDepthText(link[1])));
    EXPECT_EQ(w.outputModeField->text(), qs(outputModeText(link[2])));
    EXPECT_EQ(w.sampleRateField->text(), qs(sampleRateText(link[3])));
    EXPECT_EQ(w.audioBitsField->text(), qs(audioBitsText(link[4])));
    EXPECT_EQ(w.channelsField->text(), qs(channelsText(link[5])));
    EXPECT_EQ(w.audioTypeField->text(), "PCM");

    EXPECT_EQ(w.powerSelection, s.power);
    EXPECT_EQ(w.powerIconId(), s.power == 0 ? 189 : 190);
    EXPECT_EQ(w.patternPage().patternGroup->checkedId(), *patternPositionOf(s.patternCode));
    EXPECT_EQ(w.timingPage().timingGroup->checkedId(), s.timingCode);
    EXPECT_EQ(w.timingDetailsPage().details, standardTimingDetails(s.timingCode));
    const CSettingPage& setting = w.settingPage();
    const std::array<std::pair<int, int>, 8> selections = {{
        {setting.outputMode, s.outputMode},
        {setting.hdcp, s.hdcp},
        {setting.colorSpace, s.colorSpace},
        {setting.colorDepth, s.colorDepth},
        {setting.audioSource, s.audioSource},
        {setting.sampleRate, s.sampleRate},
        {setting.audioBits, s.audioBits},
        {setting.channels, s.channels},
    }};
    for (std::size_t g = 0; g < selections.size(); ++g) {
        EXPECT_EQ(selections[g].first, selections[g].second) << "group " << g;
        EXPECT_EQ(setting.groups[g]->checkedId(), selections[g].second) << "group " << g;
    }
    for (int slot = 1; slot <= 10; ++slot)
        EXPECT_EQ(w.timingPage().timingButton(userTimingCode(slot))->text().toStdString(),
                  formatUserTimingLabel(device.userTimings()[static_cast<std::size_t>(slot - 1)]));
    EXPECT_EQ(w.timingPage().timingButton(0x3B)->text(), "1920x1080i(60)");
}

TEST_F(SweepTest, ReportedHdcpTwoShowsOnAfterASweep) {
    CConsoleDlg& w = window();
    w.receiver.deviceStatus.hdcp = 2;
    w.sweepFinished();
    EXPECT_EQ(w.hdcpField->text(), "ON ");
    EXPECT_EQ(w.settingPage().hdcp, 2);
}

TEST_F(SweepTest, Timing2AAsksForDetailsAfterTheLinkStatus) {
    sim::GeneratorLine& line = attachGenerator(1);
    apply(line.device(0), CMD_SET_TIMING, {0x2A});
    connect(1);
    CConsoleDlg& w = window();
    std::vector<Bytes> expected = sweepFrames();
    expected.push_back(commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS));
    EXPECT_EQ(writtenSince(0), expected);
    EXPECT_FALSE(w.receiver.detailsPending);
    EXPECT_EQ(w.currentTiming(), line.device(0).currentTimingRecord());
    EXPECT_EQ(w.timingField->text(), "720P_3D(59.94)SbS");
}

TEST_F(SweepTest, TimingAnswer36AsksForDetailsAtOnce) {
    sim::GeneratorLine& line = attachGenerator(1);
    apply(line.device(0), CMD_SET_TIMING, {0x36});
    connect(1);
    CConsoleDlg& w = window();
    const std::size_t before = channel.writes().size();
    EXPECT_EQ(writtenSince(0), sweepFrames()) << "the sweep itself tests 0x2A, not 0x36";

    receive(answerFrame({0x01, 0x02}, CMD_GET_TIMING, {0x36}));
    services.runFor(1);
    EXPECT_EQ(writtenSince(before),
              (std::vector<Bytes>{commandFrame(kBroadcast, CMD_GET_TIMING_DETAILS)}));
    services.runFor(500);
    const UserTiming current = line.device(0).currentTimingRecord();
    EXPECT_EQ(w.currentTiming(), current);
    EXPECT_EQ(w.timingDetailsPage().details.hActive, current.hActive);
    EXPECT_EQ(w.timingField->text(), "AUTO");
}

// Answers that stop: the sweep is abandoned by the watchdog and nothing is shown.
struct BrokenSweepCase {
    const char* name;
    sim::FaultConfig faults;
    std::size_t queriesSent;  // frames written before the sweep gave up
    int sweepIndex;
};

sim::FaultConfig silent(CommandCode code) {
    sim::FaultConfig f;
    f.silentCodes = {code};
    return f;
}
sim::FaultConfig stalled(CommandCode code, std::int64_t stallUs) {
    sim::FaultConfig f;
    f.stallCodes = {code};
    f.stallAfterBytes = 5;
    f.stallUs = stallUs;
    return f;
}

const BrokenSweepCase kBrokenSweeps[] = {
    {"FourthAnswerMissing", silent(CMD_GET_COLOR_DEPTH), 4, 3},
    {"StallOf250MsInsideAnAnswer", stalled(CMD_GET_COLOR_SPACE, 250'000), 3, 2},
    {"UserTimingAnswerMissing", silent(CMD_GET_USER_TIMING), 13, 12},
};

class BrokenSweepTest : public ConsoleTest,
                        public ::testing::WithParamInterface<BrokenSweepCase> {};

TEST_P(BrokenSweepTest, EndsSilentlyWithNothingShown) {
    const BrokenSweepCase& c = GetParam();
    sim::LineConfig config;
    config.faults = c.faults;
    attachGenerator(1, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    connect(1);
    EXPECT_FALSE(w.receiver.sweepMode);
    EXPECT_EQ(w.receiver.sweepIndex, c.sweepIndex);
    EXPECT_EQ(channel.writes().size(), c.queriesSent);
    EXPECT_TRUE(w.timingField->text().isEmpty());
    EXPECT_TRUE(w.hdcpField->text().isEmpty());
    EXPECT_EQ(w.timingPage().selection, -1);
    EXPECT_EQ(w.settingPage().colorSpace, -1);
    EXPECT_EQ(w.powerSelection, -1);
    EXPECT_EQ(w.receiver.deviceStatus.timingCode, 0x14) << "fields already read are kept";
    EXPECT_TRUE(services.messages().empty());
    EXPECT_TRUE(w.portOpen());

    w.startStatusSweep(400);  // a later sweep starts again from the first query
    services.runFor(1);
    EXPECT_EQ(channel.writes().back().bytes, commandFrame(kBroadcast, CMD_GET_TIMING));
    EXPECT_EQ(w.receiver.sweepIndex, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, BrokenSweepTest, ::testing::ValuesIn(kBrokenSweeps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SweepTest, StallShorterThan200MsInsideAnAnswerIsWaitedFor) {
    sim::LineConfig config;
    config.faults = stalled(CMD_GET_COLOR_SPACE, 150'000);
    attachGenerator(1, {0x01, 0x02}, config);
    connect(1);
    EXPECT_EQ(writtenSince(0), sweepFrames());
    EXPECT_EQ(window().timingField->text(), "1080P(60)");
}

TEST_F(SweepTest, MissingAnswerEndsTheSweep400MsAfterItsQuery) {
    sim::LineConfig config;
    config.faults = silent(CMD_GET_COLOR_DEPTH);
    attachGenerator(1, {0x01, 0x02}, config);
    CConsoleDlg& w = window();
    w.togglePort();
    services.runFor(100);
    ASSERT_EQ(channel.writes().size(), 4u);
    const std::int64_t lastQueryMs = channel.writes().back().timeUs / 1000;
    services.runFor(lastQueryMs + 399 - services.nowMs());
    EXPECT_TRUE(w.receiver.sweepMode);
    services.runFor(2);
    EXPECT_FALSE(w.receiver.sweepMode);
}

TEST_F(SweepTest, ChecksumByteABOpensAFrameAndTheSweepRunsOut) {
    // The answer to 0x8061 from (0x60, 0x62) with timing 0x01 sums to a checksum of 0xAB.
    sim::GeneratorLine& line = attachGenerator(1, {0x60, 0x62});
    apply(line.device(0), CMD_SET_TIMING, {0x01});
    const Bytes answer = answerFrame({0x60, 0x62}, CMD_GET_TIMING, {0x01});
    ASSERT_EQ(answer.back(), 0xAB);

    connect(1);
    CConsoleDlg& w = window();
    EXPECT_EQ(w.receiver.deviceStatus.timingCode, 0x01);
    EXPECT_EQ(w.receiver.sweepIndex, 1) << "the pattern answer failed at its byte 1";
    EXPECT_FALSE(w.receiver.sweepMode);
    EXPECT_EQ(channel.writes().size(), 2u);
    EXPECT_TRUE(w.timingField->text().isEmpty());
}

}  // namespace
}  // namespace krx::testing
