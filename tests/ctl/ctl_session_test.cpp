// SPDX-License-Identifier: MIT
// krx-vtp-ctl's session against a simulated line on virtual time: the frames each command puts on
// the line, what it prints and the status it ends with, at the intervals the client really uses.
#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ctl_session.h"
#include "sim/simulated_channel.h"
#include "support/bytes.h"

namespace krx::ctl {
namespace {

using krx::testing::Bytes;
using krx::testing::commandFrame;
using krx::testing::hex;
using std::chrono::microseconds;

// Virtual time that moves one event at a time, so the session sees each notification as it comes.
class SteppedClock final : public EventScheduler, public EventSource {
  public:
    std::int64_t nowUs() const override { return nowUs_; }
    void scheduleAtUs(std::int64_t timeUs, std::function<void()> task) override {
        events_.emplace(std::pair{std::max(timeUs, nowUs_), sequence_++}, std::move(task));
    }
    Clock::time_point now() const override { return Clock::time_point(microseconds(nowUs_)); }
    bool runNext(Clock::time_point deadline) override {
        const auto endUs = std::chrono::duration_cast<microseconds>(deadline.time_since_epoch());
        if (events_.empty() || events_.begin()->first.first >= endUs.count()) {
            nowUs_ = std::max(nowUs_, endUs.count());
            return false;
        }
        auto event = events_.extract(events_.begin());
        nowUs_ = event.key().first;
        event.mapped()();
        return true;
    }

  private:
    std::int64_t nowUs_ = 0;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> events_;
};

struct SessionRow {
    const char* name;
    std::vector<std::string> options = {};      // after "--port COM3"
    std::string script = "";                    // run as a script given with --script
    void (*fault)(sim::LineConfig&) = nullptr;  // what is wrong with the line
    TargetAddress device = {0x01, 0x01};
    bool portBusy = false;
    ExitStatus status = ExitStatus::Done;
    std::string out = "";
    std::string errPart = "";
    std::vector<Bytes> frames = {};  // every frame written
};

struct SessionRun {
    ExitStatus status = ExitStatus::Usage;
    std::string out;
    std::string err;
    std::vector<Bytes> writes;
};

// As main.cpp runs it: connect, then each line until one fails.
SessionRun runSession(const SessionRow& row) {
    SteppedClock clock;
    sim::LineConfig config;
    if (row.fault)
        row.fault(config);
    sim::GeneratorLine line(config, {row.device}, sim::defaultTvEdid());
    sim::SimulatedChannel channel(clock);
    if (row.portBusy)
        channel.addBusyPort(3);
    else
        channel.attachLine(3, line);
    std::vector<std::string> args = {"--port", "COM3", "--script", "-"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const Options options = std::get<Options>(parseOptions(args));
    const auto lines = std::get<std::vector<ScriptLine>>(parseScript(row.script));
    std::ostringstream out;
    std::ostringstream err;
    GeneratorSession session(channel, clock, options, out, err);
    SessionRun run;
    run.status = session.connect();
    for (std::size_t i = 0; i < lines.size() && run.status == ExitStatus::Done; ++i)
        run.status = session.run(lines[i].command);
    run.out = out.str();
    run.err = err.str();
    for (const sim::SimulatedChannel::Write& write : channel.writes())
        run.writes.push_back(write.bytes);
    return run;
}

class Session : public ::testing::TestWithParam<SessionRow> {};

TEST_P(Session, SendsItsFramesPrintsAndEnds) {
    const SessionRow& row = GetParam();
    const SessionRun run = runSession(row);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_EQ(run.out, row.out);
    EXPECT_NE(run.err.find(row.errPart), std::string::npos) << run.err;
    EXPECT_EQ(run.writes, row.frames);
}

// A frame to every device, asking for an answer; to the one device 01/02.
Bytes all(CommandCode code, const Bytes& payload = {}) {
    return commandFrame({0x00, 0x00}, code, payload);
}
Bytes unit(CommandCode code, const Bytes& payload = {}) {
    return commandFrame({0x01, 0x02}, code, payload);
}

using S = ExitStatus;

INSTANTIATE_TEST_SUITE_P(
    Rows, Session,
    ::testing::Values(
        // The rule's state is read first; AUTO is followed by the link status, as on the page.
        SessionRow{.name = "AutoColourSpaceOnOneDevice",
                   .options = {"--address", "0102"},
                   .script = "set color-space AUTO",
                   .device = {0x01, 0x02},
                   .out = "Color Space: AUTO\nColor Space output: RGB4:4:4\n",
                   .frames = {unit(CMD_GET_TIMING), unit(CMD_GET_OUTPUT_MODE),
                              unit(CMD_SET_COLOR_SPACE, {3}), unit(CMD_GET_COLOR_SPACE),
                              unit(CMD_GET_LINK_STATUS)}},
        // A stray answer reporting 30 bit comes before every real one.
        SessionRow{.name = "ReadBackDiffers",
                   .script = "set color-depth 36bit",
                   .fault =
                       [](sim::LineConfig& c) {
                           c.faults.noise = hex("AB 00 00 06 00 01 01 64 80 01 68");
                       },
                   .status = S::ReadBackDiffers,
                   .errPart = "Color Depth: set 36bit, the generator reports 30bit",
                   .frames = {all(CMD_GET_TIMING), all(CMD_GET_OUTPUT_MODE),
                              all(CMD_SET_COLOR_DEPTH, {2}), all(CMD_GET_COLOR_DEPTH)}},
        // Read and written on the broadcast address whatever --address says.
        SessionRow{.name = "AddressWrite",
                   .options = {"--address", "0101"},
                   .script = "address write 0102",
                   .out = "Address: 0102\n",
                   .frames = {all(CMD_WRITE_ADDRESS, {0x01, 0x02}), all(CMD_READ_ADDRESS)}},
        SessionRow{.name = "RefusedAddressPair",
                   .script = "address write 00FF",
                   .status = S::Refused,
                   .errPart = "must be from 0x01 to 0xFE"},
        // Built-in rows come from the console's table: nothing is sent.
        SessionRow{.name = "BuiltInDetails",
                   .script = "details \"1080P(60)\"",
                   .out = "Timing: 1080P(60)\nH active: 1920\nH blank: 280\nHs offset: 88\n"
                          "Hs width: 44\nH total: 2200\nV active: 1080\nV blank: 45\n"
                          "Vs offset: 4\nVs width: 5\nV total: 1125\nVideo clk: 148.5 MHz\n"
                          "H freq: 67.5 KHz\nV freq: 60 Hz\nScan type: Progressive\nHsync: +\n"
                          "Vsync: +\n"},
        // The current timing is not the slot, so nothing is parked; stored, read back, chosen.
        SessionRow{.name = "StoreUserSlot",
                   .script = "user-timing store 1 --from \"1080i(60)\"",
                   .out = "User 1: 1920x1080i(60)\nTiming: user:1\n",
                   .frames = {all(CMD_GET_TIMING),
                              all(CMD_STORE_USER_TIMING, hex("00 01 1D 07 80 07 18 01 58 00 2C 00 "
                                                             "1C 02 16 00 02 00 05 00")),
                              all(CMD_GET_USER_TIMING, {0}), all(CMD_SET_TIMING, {0x37}),
                              all(CMD_GET_TIMING)}},
        SessionRow{.name = "ResetDefaults",
                   .script = "reset-defaults",
                   .out = "Reset: Wait for a few seconds...\n",
                   .frames = {all(CMD_RESET_DEFAULTS), all(CMD_GET_COLOR_SPACE)}},
        // The line hangs up once the first answer is in; the second query goes unanswered.
        SessionRow{.name = "HangUpMidSweep",
                   .script = "status",
                   .fault = [](sim::LineConfig& c) { c.faults.hangUpAfterFrames = 1; },
                   .status = S::NoAnswer,
                   .errPart = "COM3: the port was closed",
                   .frames = {all(CMD_GET_TIMING), all(CMD_GET_PATTERN)}},
        SessionRow{.name = "PortInUse",
                   .script = "status",
                   .portBusy = true,
                   .status = S::PortUnavailable,
                   .errPart = "COM3: Can not find this port or used by other application"},
        SessionRow{.name = "NoDisplayEdid",
                   .script = "edid read",
                   .fault = [](sim::LineConfig& c) { c.displayAttached = false; },
                   .status = S::NoAnswer,
                   .errPart = "no answer to CMD_READ_TV_EDID",
                   .frames = {all(CMD_READ_TV_EDID, {0x01})}},
        // Every device acts and none answers: frames go out, nothing is read back or read.
        SessionRow{.name = "AllSilent",
                   .options = {"--address", "all-silent"},
                   .script = "set hdcp \"HDCP ON\"\npower off\nstatus",
                   .status = S::NoAnswer,
                   .out = "HDCP: HDCP ON\nRead back: no (all-silent)\nPower: OFF\n"
                          "Read back: no (all-silent)\n",
                   .errPart = "all-silent: no device answers, nothing to read",
                   .frames = {commandFrame({0xFF, 0xFF}, CMD_SET_HDCP, {1}),
                              commandFrame({0xFF, 0xFF}, CMD_SET_POWER, {1})}},
        SessionRow{.name = "ScriptWithJson",
                   .options = {"--json"},
                   .script = "timing \"1080P(60)\"\npattern \"100%ColorBar\"\nwait 50\n"
                             "set sample-rate 48K\npower off\n",
                   .out = "{\"Timing\":\"1080P(60)\"}\n{\"Pattern\":\"100%ColorBar\"}\n"
                          "{\"Audio Sample Rate\":\"48K\"}\n{\"Power\":\"OFF\"}\n",
                   .frames = {all(CMD_SET_TIMING, {0x14}), all(CMD_GET_TIMING),
                              all(CMD_SET_PATTERN, {0x00}), all(CMD_GET_PATTERN),
                              all(CMD_SET_SAMPLE_RATE, {2}), all(CMD_GET_SAMPLE_RATE),
                              all(CMD_SET_POWER, {1}), all(CMD_GET_POWER)}}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole sweep, then the link status the receiver asks for: the generator makes 4K(30) 24 bit.
TEST(SessionStatus, JsonHoldsTheSweepAndTheLinkStatus) {
    const SessionRun run =
        runSession({.name = "", .options = {"--json"}, .script = "timing 4K(30)\nstatus\n"});
    ASSERT_EQ(run.status, ExitStatus::Done) << run.err;
    ASSERT_EQ(run.writes.size(), 2u + 12 + 10 + 1);  // twelve queries, ten user slots, the link
    const auto status =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.out.substr(run.out.find('\n') + 1)))
            .object();
    EXPECT_EQ(status["texts"]["Timing"].toString(), "4K(30)");
    EXPECT_EQ(status["texts"]["Color Depth"].toString(), "24bit");
    EXPECT_EQ(status["status"]["timingCode"].toInt(), 0x1C);
    EXPECT_EQ(status["linkStatus"]["colorDepth"].toInt(), 0);
}

}  // namespace
}  // namespace krx::ctl
