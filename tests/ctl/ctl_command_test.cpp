// SPDX-License-Identifier: MIT
// Names, arguments and script lines as a bench script writes them, and the Setting page's refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctl_command.h"
#include "ctl_watchdog.h"
#include "model/setting_table.h"

namespace krx::ctl {
namespace {

// One script line: the command it resolves to, or a part of the message that refuses it.
struct CommandRow {
    const char* name;
    std::string line;
    std::optional<Command> expected;
    std::string errorPart = "";
};

class ParseCommand : public ::testing::TestWithParam<CommandRow> {};

TEST_P(ParseCommand, ResolvesNamesOrSaysWhy) {
    const CommandRow& row = GetParam();
    const auto parsed = parseScript(row.line);
    if (const auto* error = std::get_if<ScriptError>(&parsed)) {
        EXPECT_FALSE(row.expected) << error->message;
        EXPECT_NE(error->message.find(row.errorPart), std::string::npos) << error->message;
    } else {
        ASSERT_TRUE(row.expected);
        EXPECT_EQ(std::get<std::vector<ScriptLine>>(parsed).at(0).command, *row.expected);
    }
}

using K = CommandKind;
using O = SettingOption;

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseCommand,
    ::testing::Values(
        CommandRow{"TimingStatusName", "timing 1080P(60)", Command{K::Timing, 0x14}},
        CommandRow{"TimingRadioCaption", "timing SMPTE4K(24)", Command{K::Timing, 0x21}},
        CommandRow{"TimingOtherCase", "timing 1080p(60)", Command{K::Timing, 0x14}},
        CommandRow{"ThreeDStatusName", "timing 720P_3D(59.94)SbS", Command{K::Timing, 0x2A}},
        CommandRow{"TimingAuto", "timing auto", Command{K::Timing, 0x36}},
        CommandRow{"TimingUserSlot", "timing user:3", Command{K::Timing, 0x39}},
        CommandRow{"TimingLastCode", "timing 0x40", Command{K::Timing, 0x40}},
        CommandRow{"PatternCaption", "pattern \"Cross Black\"", Command{K::Pattern, 0x0C}},
        CommandRow{"PatternCaptionWithBlank", "pattern Window", Command{K::Pattern, 0x1D}},
        CommandRow{"PatternByCode", "pattern 36", Command{K::Pattern, 0x24}},
        CommandRow{"SetDepthCaption", "set color-depth 30bit", Command{K::Set, 1, O::ColorDepth}},
        CommandRow{"SetSourceCaption", "set audio-source \"External Stereo Input\"",
                   Command{K::Set, 1, O::AudioSource}},
        CommandRow{"PowerOff", "power off", Command{K::Power, 1}},
        CommandRow{"EdidSavedSlotToFolder", "edid read saved 10 --save out",
                   Command{K::EdidRead, 10, O::OutputMode, "out"}},
        CommandRow{"AddressWrite", "address write 01fe", Command{K::AddressWrite, 0x01FE}},
        CommandRow{
            "StoreFromTimingWithEdits",
            "user-timing store 3 --from 1080i(60) video-clk=74.25 hsync=-",
            Command{
                K::StoreUserTiming, 3, O::OutputMode, "", 0x0E, {{10, 74.25}, {kHSyncEdit, 1}}}},
        CommandRow{"TimingCodeOutOfRange", "timing 0x41", std::nullopt, "outside 0x00..0x40"},
        CommandRow{"UserSlotOutOfRange", "timing user:11", std::nullopt, "user:1 to user:10"},
        CommandRow{"SharedRadioCaption", "timing 720P_3D(59.94)", std::nullopt,
                   "\"720P_3D(59.94)SbS\" (0x2A)"},
        CommandRow{"UnknownTiming", "timing 1080P60", std::nullopt, "unknown timing"},
        CommandRow{"PatternCodeOutOfRange", "pattern 0x25", std::nullopt, "outside"},
        CommandRow{"UnknownDepth", "set color-depth 64bit", std::nullopt, "\"48bit\""},
        CommandRow{"UnknownKey", "set volume 1", std::nullopt, "unknown setting"},
        CommandRow{"PowerNeitherOnNorOff", "power 1", std::nullopt, "on or off"},
        CommandRow{"StoreComputedField", "user-timing store 1 h-total=3", std::nullopt,
                   "not an editable field"},
        CommandRow{"StoreFractionalWidth", "user-timing store 1 h-active=1.5", std::nullopt,
                   "Please enter an integer."},
        CommandRow{"EdidSlotOutOfRange", "edid read saved 0", std::nullopt, "slots are 1 to 10"},
        CommandRow{"AddressOneDigitDevice", "address write 015", std::nullopt,
                   "It is not hex digi !"},
        CommandRow{"UnknownCommandCutAndEscaped", std::string(1, '\0') + std::string(100'000, 'x'),
                   std::nullopt,
                   "unknown command \"\\x00" + std::string(kShownTokenBytes - 1, 'x') + "...\""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseOptions, AddressesAndLimits) {
    const auto parse = [](std::vector<std::string> args) { return parseOptions(args); };
    const auto silent = parse({"--address", "all-silent", "status"});
    ASSERT_TRUE(std::holds_alternative<Options>(silent));
    EXPECT_TRUE(std::get<Options>(silent).silentBroadcast());
    const auto device = parse({"--port", "COM3", "--address", "0102", "--json", "status"});
    ASSERT_TRUE(std::holds_alternative<Options>(device));
    EXPECT_EQ(std::get<Options>(device).address, (TargetAddress{0x01, 0x02}));
    EXPECT_EQ(std::get<Options>(device).port.comNumber, 3);
    // A broadcast group with one device reaches nobody; COM numbers end at 99.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--address", "0001", "status"},
          {"--address", "FF00", "status"},
          {"--port", "COM100", "status"},
          {"--timeout-ms", "0", "status"},
          {"--script", "x.txt", "status"},
          {"status", "now"}})
        EXPECT_TRUE(std::holds_alternative<UsageError>(parse(bad))) << bad[0] << " " << bad[1];
}

TEST(ParseScript, FirstBadLineGivesItsNumber) {
    const auto good =  // saved as UTF-8 with a byte-order mark
        parseScript("\xEF\xBB\xBF# bench\n\nstatus\ntiming \"1080P(60)\"  # full HD\nwait 500\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<ScriptLine>>(good));
    const auto& lines = std::get<std::vector<ScriptLine>>(good);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].lineNumber, 4);
    EXPECT_EQ(lines[1].command, (Command{K::Timing, 0x14}));
    EXPECT_EQ(lines[2].command, (Command{K::Wait, 500}));

    for (const auto& [text, line] :
         {std::pair{"status\npattern \"Cross Black\n", 2},
          std::pair{"status\r\n\r\nset hdcp maybe\r\n", 3}, std::pair{"status\nsearch\n", 2}}) {
        const auto bad = parseScript(text);
        ASSERT_TRUE(std::holds_alternative<ScriptError>(bad)) << text;
        EXPECT_EQ(std::get<ScriptError>(bad).lineNumber, line) << text;
    }
}

// Bytes restart the watchdog from now, but never from past the end of the request's interval.
TEST(AnswerWatchdog, BytesHoldAnExchangeOneRestartPastItsInterval) {
    using std::chrono::milliseconds;
    const AnswerWatchdog::Clock::time_point sent{};
    AnswerWatchdog watchdog;
    watchdog.requestSent();
    watchdog.start(sent, 400);
    watchdog.start(sent + milliseconds(390), 200);  // an answer begun in time
    EXPECT_EQ(watchdog.deadline(), sent + milliseconds(590));
    for (int ms = 400; ms <= 2000; ms += 10)  // then a line that keeps sending
        watchdog.start(sent + milliseconds(ms), 200);
    EXPECT_EQ(watchdog.deadline(), sent + milliseconds(600));
    watchdog.requestSent();  // the next query
    watchdog.start(sent + milliseconds(2000), 400);
    watchdog.start(sent + milliseconds(3000), 200);
    EXPECT_EQ(watchdog.deadline(), sent + milliseconds(2600));
}

}  // namespace
}  // namespace krx::ctl
