// SPDX-License-Identifier: MIT
// krx-vtp-ctl's scripts and command table against a simulated line on virtual time: how names
// resolve, the frames each command puts on the line, what it prints (as lines or JSON) and the
// status it ends with, at the intervals the client really uses. Then the options, the answer
// watchdog, the queue of notifications and the JSON line on their own.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "address/hex_text.h"
#include "ctl_session.h"
#include "ctl_watchdog.h"
#include "sim/simulated_channel.h"
#include "support/bytes.h"

namespace krx::ctl {
namespace {

using std::chrono::microseconds;

// Virtual time that moves one event at a time, so the session sees each notification as it comes.
class SteppedClock final : public EventScheduler, public EventSource {
  public:
    std::int64_t nowUs() const override { return nowUs_; }
    void scheduleAtUs(std::int64_t timeUs, std::function<void()> task) override {
        events_.emplace(std::max(timeUs, nowUs_), std::move(task));  // ties keep their order
    }
    Clock::time_point now() const override { return Clock::time_point(microseconds(nowUs_)); }
    bool runNext(Clock::time_point deadline) override {
        const auto endUs = std::chrono::duration_cast<microseconds>(deadline.time_since_epoch());
        if (events_.empty() || events_.begin()->first >= endUs.count()) {
            nowUs_ = std::max(nowUs_, endUs.count());
            return false;
        }
        auto event = events_.extract(events_.begin());
        nowUs_ = event.key();
        event.mapped()();
        return true;
    }

  private:
    std::int64_t nowUs_ = 0;
    std::multimap<std::int64_t, std::function<void()>> events_;
};

struct SessionRow {
    const char* name;
    std::string script;
    ExitStatus status;
    std::string errPart;
    std::string out = "";
    std::string frames = "";  // every frame written: [GGDD when not 0000] name [payload], ...
    std::string options = "--port COM3";  // before "--script -"
    enum { Line, Busy, Babbling } port = Line;
    std::string noise = "";  // the line of device 01/01 sends it before every answer
    std::size_t hangUpAfterFrames = 0;
};

class Session : public ::testing::TestWithParam<SessionRow> {};

// Runs the row's script as main.cpp does, each line until one fails, and checks what it printed,
// its status and every frame written once it has ended.
TEST_P(Session, SendsItsFramesPrintsAndEnds) {
    const SessionRow& row = GetParam();
    SteppedClock clock;
    sim::LineConfig config;
    config.faults.noise = krx::testing::hex(row.noise);
    if (row.hangUpAfterFrames > 0)
        config.faults.hangUpAfterFrames = row.hangUpAfterFrames;
    sim::GeneratorLine generator(config, {{0x01, 0x01}}, sim::defaultTvEdid());
    sim::SimulatedChannel channel(clock);
    if (row.port == SessionRow::Busy)
        channel.addBusyPort(3);
    else if (row.port == SessionRow::Babbling)  // AB 00 every 10 ms
        channel.addBabblingPort(3, {0xAB, 0x00}, 10'000);
    else
        channel.attachLine(3, generator);
    std::istringstream words(row.options + " --script -");
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    const Options options = std::get<Options>(parseOptions(args));
    std::ostringstream out;
    std::ostringstream err;
    GeneratorSession session(channel, clock, options, out, err);
    const auto script = parseScript(row.script);
    const auto* lines = std::get_if<std::vector<ScriptLine>>(&script);
    ExitStatus status = lines ? ExitStatus::Done : ExitStatus::Usage;
    if (const auto* error = std::get_if<ScriptError>(&script))
        err << "line " << error->lineNumber << ": " << error->message;
    for (std::size_t i = 0; lines && i < lines->size() && status == ExitStatus::Done; ++i)
        status = session.run((*lines)[i].command);
    EXPECT_EQ(status, row.status) << err.str();
    EXPECT_EQ(out.str(), row.out);
    EXPECT_NE(err.str().find(row.errPart), std::string::npos) << err.str();
    std::string frames;
    for (const sim::SimulatedChannel::Write& write : channel.writes()) {
        const TargetAddress to = frameAddress(write.bytes);
        frames += frames.empty() ? "" : ", ";
        if (to != TargetAddress{0x00, 0x00})
            frames += formatHex2(to.group) + formatHex2(to.device) + " ";
        frames += commandName(frameCode(write.bytes));
        for (const std::uint8_t byte : frameData(write.bytes))
            frames += " " + formatHex2(byte);
    }
    EXPECT_EQ(frames, row.frames);
}

using S = ExitStatus;

const SessionRow kSessionRows[] = {
    // A radio caption, another case, a 3D status name whose caption other rows share, the
    // automatic timing, user slots by name and by code, a pattern caption after its leading
    // blank, a setting's value by number.
    SessionRow{"NamesAndCodes",
               "timing SMPTE4K(24)\ntiming 1080p(60)\ntiming 720P_3D(59.94)SbS\ntiming auto\n"
               "timing user:3\ntiming 0x40\npattern Window\nset color-depth 1",
               S::Done, "",
               "Timing: 4096x2160(24)\nTiming: 1080P(60)\nTiming: 720P_3D(59.94)SbS\n"
               "Timing: AUTO\nTiming: user:3\nTiming: user:10\nPattern: Window\n"
               "Color Depth: 30bit\n",
               "CMD_SET_TIMING 21, CMD_GET_TIMING, CMD_SET_TIMING 14, CMD_GET_TIMING, "
               "CMD_SET_TIMING 2A, CMD_GET_TIMING, CMD_SET_TIMING 36, CMD_GET_TIMING, "
               "CMD_SET_TIMING 39, CMD_GET_TIMING, CMD_SET_TIMING 40, CMD_GET_TIMING, "
               "CMD_SET_PATTERN 1D, CMD_GET_PATTERN, CMD_GET_TIMING, CMD_GET_OUTPUT_MODE, "
               "CMD_SET_COLOR_DEPTH 01, CMD_GET_COLOR_DEPTH",
               "--port COM3 --address all"},
    // Malformed scripts: "line N: why" of the first bad line, and nothing runs.
    SessionRow{"UserSlotOutOfRange", "timing user:11", S::Usage, "user:1 to user:10"},
    SessionRow{"SharedRadioCaption", "timing 720P_3D(59.94)", S::Usage,
               "\"720P_3D(59.94)SbS\" (0x2A)"},
    SessionRow{"UnknownDepth", "set color-depth 64bit", S::Usage, "\"48bit\""},
    SessionRow{"DepthOutOfRange", "set color-depth 9", S::Usage, "is outside 0..4"},
    SessionRow{"UnknownKey", "set volume 1", S::Usage, "unknown setting"},
    SessionRow{"PatternOutOfRange", "pattern 0x25", S::Usage, "outside 0x00..0x24"},
    SessionRow{"PowerNeitherOnNorOff", "power 1", S::Usage, "on or off"},
    SessionRow{"WaitTooLong", "wait 600001", S::Usage, "0 to 600000"},
    SessionRow{"EdidSlotOutOfRange", "edid read saved 0", S::Usage, "slots are 1 to 10"},
    SessionRow{"EdidUnknownForm", "edid read --format xml", S::Usage, "not hex, c, base64 or bin"},
    SessionRow{"StoreComputedField", "user-timing store 1 h-total=3", S::Usage,
               "not an editable field"},
    SessionRow{"StoreFractionalWidth", "user-timing store 1 h-active=1.5", S::Usage,
               "Please enter an integer."},
    SessionRow{"AddressOneDigitDevice", "address write 015", S::Usage, "It is not hex digi !"},
    SessionRow{"UnclosedQuote", "status\npattern \"Cross Black\n", S::Usage,
               "line 2: unclosed quote"},
    SessionRow{"SearchInAScript", "status\nsearch\n", S::Usage, "line 2: search"},
    SessionRow{"UnknownCommandCutAndEscaped", std::string(1, '\0') + std::string(100'000, 'x'),
               S::Usage,
               "unknown command \"\\x00" + std::string(kShownTokenBytes - 1, 'x') + "...\""},
    // Saved with a byte-order mark and CR LF. The colour rule's state is read first; AUTO is
    // followed by the link status, as on the page; the address is read on the broadcast
    // address whatever --address says.
    SessionRow{"ScriptWithJson",
               "\xEF\xBB\xBF# bench\r\n\r\nset color-space AUTO\r\ntiming \"1080P(60)\"  # HD\n"
               "wait 50\npower off\nreset-defaults\naddress read\n",
               S::Done, "",
               R"j({"command":"set","colorSpace":3,"text":"AUTO","readBack":true,)j"
               R"j("output":{"colorSpace":0,"text":"RGB4:4:4"}}
{"command":"timing","timingCode":20,"text":"1080P(60)","readBack":true}
{"command":"power","power":1,"text":"OFF","readBack":true}
{"command":"reset-defaults","text":"Wait for a few seconds..."}
{"command":"address read","address":"0101","group":1,"device":1}
)j",
               "0101 CMD_GET_TIMING, 0101 CMD_GET_OUTPUT_MODE, 0101 CMD_SET_COLOR_SPACE 03, "
               "0101 CMD_GET_COLOR_SPACE, 0101 CMD_GET_LINK_STATUS, 0101 CMD_SET_TIMING 14, "
               "0101 CMD_GET_TIMING, 0101 CMD_SET_POWER 01, 0101 CMD_GET_POWER, "
               "0101 CMD_RESET_DEFAULTS, 0101 CMD_GET_COLOR_SPACE, CMD_READ_ADDRESS",
               "--port COM3 --address 0101 --json"},
    // The whole sweep, the link status last. The generator makes 4K(30) 24 bit and keeps RGB,
    // which only the 4:2:0 timings replace.
    SessionRow{
        "StatusSweep", "timing 4K(30)\nstatus", S::Done, "",
        R"j({"command":"timing","timingCode":28,"text":"4K(30)","readBack":true}
{"command":"status","status":{"timingCode":28,"patternCode":0,"colorSpace":0,"colorDepth":0,)j"
        R"j("hdcp":0,"outputMode":1,"sampleRate":2,"audioBits":0,"audioSource":0,"channels":0,)j"
        R"j("hotPlug":1,"power":0},"linkStatus":{"colorSpace":0,"colorDepth":0,"outputMode":1,)j"
        R"j("sampleRate":2,"audioBits":0,"channels":0},"texts":{"Timing":"4K(30)","HDCP":"OFF",)j"
        R"j("HDMI/DVI":"HDMI","Color Space":"RGB4:4:4","Color Depth":"24bit","Sample rate":"48K",)j"
        R"j("Audio bit":"16bit","Channels":"2ch","Audio Type":"PCM","Hot Plug":"ON ","Power":"ON",)j" +
            [] {
                std::string slots;
                for (int slot = 1; slot <= 10; ++slot)
                    slots += (slot > 1 ? ",\"User " : "\"User ") + std::to_string(slot) +
                             "\":\"1280x720(60)\"";
                return slots + "}}\n";
            }(),
        "CMD_SET_TIMING 1C, CMD_GET_TIMING, CMD_GET_TIMING, CMD_GET_PATTERN, CMD_GET_COLOR_SPACE, "
        "CMD_GET_COLOR_DEPTH, CMD_GET_HDCP, CMD_GET_OUTPUT_MODE, CMD_GET_SAMPLE_RATE, "
        "CMD_GET_AUDIO_BITS, CMD_GET_AUDIO_SOURCE, CMD_GET_AUDIO_CHANNELS, CMD_GET_HOT_PLUG, "
        "CMD_GET_POWER, CMD_GET_USER_TIMING 00, CMD_GET_USER_TIMING 01, CMD_GET_USER_TIMING 02, "
        "CMD_GET_USER_TIMING 03, CMD_GET_USER_TIMING 04, CMD_GET_USER_TIMING 05, "
        "CMD_GET_USER_TIMING 06, CMD_GET_USER_TIMING 07, CMD_GET_USER_TIMING 08, "
        "CMD_GET_USER_TIMING 09, CMD_GET_LINK_STATUS",
        "--port COM3 --json"},
    // A stray answer reporting 30 bit comes before every real one.
    SessionRow{"ReadBackDiffers", "set color-depth 36bit", S::ReadBackDiffers,
               "Color Depth: set 36bit, the generator reports 30bit", "",
               "CMD_GET_TIMING, CMD_GET_OUTPUT_MODE, CMD_SET_COLOR_DEPTH 02, "
               "CMD_GET_COLOR_DEPTH",
               "--port COM3", SessionRow::Line, "AB 00 00 06 00 01 01 64 80 01 68"},
    // The second pair is refused before anything is sent.
    SessionRow{"AddressWrite", "address write 0102\naddress write 00FF", S::Refused,
               "must be from 0x01 to 0xFE", "Address: 0102\n",
               "CMD_WRITE_ADDRESS 01 02, CMD_READ_ADDRESS"},
    // Built-in rows come from the console's table: no port is searched, nothing is sent.
    SessionRow{
        "BuiltInDetailsWithoutAPort", "details \"1080P(59.94)\"", S::Done, "",
        R"j({"command":"details","timing":"1080P(59.94)","timingCode":21,"hActive":1920,)j"
        R"j("hBlank":280,"hsOffset":88,"hsWidth":44,"hTotal":2200,"vActive":1080,"vBlank":45,)j"
        R"j("vsOffset":4,"vsWidth":5,"vTotal":1125,"videoClkMHz":148.3517,"hFreqKHz":67.43,)j"
        R"j("vFreqHz":59.94,"scanType":"Progressive","hsync":"+","vsync":"+"}
)j",
        "", "--json"},
    // The current timing is not the slot, so nothing is parked; stored, read back, chosen.
    SessionRow{"StoreUserSlot", "user-timing store 1 --from \"1080i(60)\" video-clk=74.5 hsync=-",
               S::Done, "", "User 1: 1920x1080i(60)\nTiming: user:1\n",
               "CMD_GET_TIMING, CMD_STORE_USER_TIMING 00 1A 1D 05 80 07 18 01 58 00 2C 00 1C "
               "02 16 00 02 00 05 00, CMD_GET_USER_TIMING 00, CMD_SET_TIMING 37, CMD_GET_TIMING"},
    // The line hangs up once the first answer is in; the second query goes unanswered.
    SessionRow{"HangUpMidSweep", "status", S::NoAnswer, "COM3: the port was closed", "",
               "CMD_GET_TIMING, CMD_GET_PATTERN", "--port COM3", SessionRow::Line, "", 1},
    // Bytes that make no answer restart the watchdog at every byte, yet the status ends.
    SessionRow{"BabblingLine", "status", S::NoAnswer, "no answer to CMD_GET_TIMING", "",
               "CMD_GET_TIMING", "--port COM3", SessionRow::Babbling},
    // A wait needs no port; the status does.
    SessionRow{"PortInUse", "wait 10\nstatus", S::PortUnavailable,
               "COM3: Can not find this port or used by other application", "", "", "--port COM3",
               SessionRow::Busy},
    // Every device acts and none answers: frames go out, nothing is read back or read.
    SessionRow{"AllSilent", "set hdcp \"HDCP ON\"\npower off\nstatus", S::NoAnswer,
               "all-silent: no device answers, nothing to read",
               "HDCP: HDCP ON\nRead back: no (all-silent)\nPower: OFF\n"
               "Read back: no (all-silent)\n",
               "FFFF CMD_SET_HDCP 01, FFFF CMD_SET_POWER 01", "--port COM3 --address all-silent"},
};

INSTANTIATE_TEST_SUITE_P(Rows, Session, ::testing::ValuesIn(kSessionRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A broadcast group with one device reaches nobody; COM numbers end at 99.
TEST(ParseOptions, Limits) {
    for (const char* bad : {"--address 0001 status", "--address FF00 status", "--address zz status",
                            "--port COM100 status", "--port x status", "--port tcp://rack3 status",
                            "--timeout-ms 0 status", "--reconnect-ms 0 status",
                            "--script x.txt status", "status now", "--bogus status", "--port"}) {
        std::istringstream words(bad);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseOptions(args))) << bad;
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

// A notification that comes at or after a wait's deadline does not hold the wait open: it stays
// queued for the next wait.
TEST(TaskQueue, ATaskPostedAtTheDeadlineWaitsForTheNextWait) {
    TaskQueue tasks;
    const Clock::time_point deadline = Clock::now();
    bool ran = false;
    tasks.post([&ran] { ran = true; });
    EXPECT_FALSE(tasks.runNext(deadline));
    EXPECT_FALSE(ran);
    EXPECT_TRUE(tasks.runNext(Clock::now() + std::chrono::seconds(10)));
    EXPECT_TRUE(ran);
}

// A display's name in its EDID may hold any byte: the line is still written, not refused.
TEST(JsonLine, BytesThatAreNotUtf8) {
    EXPECT_EQ(jsonLine({{"name", "A\xFF"}}), "{\"name\":\"A\xEF\xBF\xBD\"}\n");
}

}  // namespace
}  // namespace krx::ctl
