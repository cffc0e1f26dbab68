// SPDX-License-Identifier: MIT
// The built krx-vtp-ctl against the built krx-vtp-sim on a pty: the frames each command puts on
// the line (from the simulator's traffic log), what it prints, and its exit status. Waits are the
// programs' own; nothing about speed is asserted.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace krx::ctl {
namespace {

struct CtlRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

struct Received {
    std::string bytes;
    std::string command;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

QJsonObject parseJson(const std::string& line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return document.object();
}

class CtlProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "krx-ctl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        link = dir / "COM3";
    }
    void TearDown() override {
        sim.reset();
        std::filesystem::remove_all(dir);
    }

    void startSim(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", link.string(), "--log", (dir / "log").string()});
        sim.emplace(KRX_SIM_BINARY, args);
        ASSERT_TRUE(sim->firstLine().has_value());
    }

    // krx-vtp-ctl on the simulator's port with `args`; `script` becomes the file "script", named
    // by the argument SCRIPT and also the standard input.
    CtlRun runCtl(std::vector<std::string> args, const std::string& script = "") {
        const std::string scriptPath = (dir / "script").string();
        std::ofstream(scriptPath) << script;
        for (std::string& arg : args)
            if (arg == "SCRIPT")
                arg = scriptPath;
        // A generous answer time: a loaded machine must not turn a slow answer into a missing one.
        args.insert(args.begin(),
                    {KRX_CTL_BINARY, "--port", link.string(), "--timeout-ms", "2000"});
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, scriptPath.c_str(), O_RDONLY, 0);
        const std::string out = (dir / "out").string();
        const std::string err = (dir / "err").string();
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        CtlRun run;
        if (posix_spawn(&pid, KRX_CTL_BINARY, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.out = readFile(out);
        run.err = readFile(err);
        return run;
    }

    // The frames the simulator received, once it has ended (so its log is complete).
    std::vector<Received> received() {
        sim.reset();
        std::vector<Received> frames;
        std::istringstream log(readFile(dir / "log"));
        for (std::string line; std::getline(log, line);) {
            const QJsonObject entry = parseJson(line);
            if (entry["dir"].toString() == "received")
                frames.push_back({entry["bytes"].toString().toStdString(),
                                  entry["command"].toString().toStdString()});
        }
        return frames;
    }

    std::vector<std::string> receivedCommands() {
        std::vector<std::string> names;
        for (const Received& frame : received())
            names.push_back(frame.command);
        return names;
    }

    std::filesystem::path dir;
    std::filesystem::path link;
    std::optional<krx::testing::SimProcess> sim;
};

struct FrameRow {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::string> ctlArgs;
    std::vector<std::string> frames;
    const char* out;
};

class CtlCommand : public CtlProcess, public ::testing::WithParamInterface<FrameRow> {};

TEST_P(CtlCommand, SendsItsFramesReadsBackAndPrints) {
    const FrameRow& row = GetParam();
    startSim(row.simArgs);
    const CtlRun run = runCtl(row.ctlArgs);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, row.out);
    std::vector<std::string> bytes;
    for (const Received& frame : received())
        bytes.push_back(frame.bytes);
    EXPECT_EQ(bytes, row.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlCommand,
    ::testing::Values(
        FrameRow{"Timing",
                 {},
                 {"timing", "1080P(60)"},
                 {"AA 00 00 06 00 00 00 61 00 14 DB", "AA 00 00 05 00 00 00 61 80 70"},
                 "Timing: 1080P(60)\n"},
        FrameRow{"Pattern",
                 {},
                 {"pattern", "Cross Black"},
                 {"AA 00 00 06 00 00 00 62 00 0C E2", "AA 00 00 05 00 00 00 62 80 6F"},
                 "Pattern: Cross Black\n"},
        FrameRow{"HdcpToOneDevice",
                 {"--device", "0102"},
                 {"--address", "0102", "set", "hdcp", "HDCP ON"},
                 {"AA 00 00 06 00 01 02 65 00 01 E7", "AA 00 00 05 00 01 02 65 80 69"},
                 "HDCP: HDCP ON\n"},
        FrameRow{"PowerOff",
                 {},
                 {"power", "off"},
                 {"AA 00 00 06 00 00 00 AB 00 01 A4", "AA 00 00 05 00 00 00 AB 80 26"},
                 "Power: OFF\n"},
        // The rule's state is read first; AUTO is followed by the link status, as on the page.
        FrameRow{"AutoColourSpace",
                 {},
                 {"set", "color-space", "AUTO"},
                 {"AA 00 00 05 00 00 00 61 80 70", "AA 00 00 05 00 00 00 66 80 6B",
                  "AA 00 00 06 00 00 00 63 00 03 EA", "AA 00 00 05 00 00 00 63 80 6E",
                  "AA 00 00 05 00 00 00 A9 80 28"},
                 "Color Space: AUTO\nColor Space output: RGB4:4:4\n"},
        // Read and written on the broadcast address whatever --address says.
        FrameRow{"AddressWrite",
                 {},
                 {"--address", "0101", "address", "write", "0102"},
                 {"AA 00 00 07 00 00 00 01 78 01 02 D3", "AA 00 00 05 00 00 00 01 F8 58"},
                 "Address: 0102\n"},
        // Built-in rows come from the console's table: nothing is sent.
        FrameRow{"BuiltInDetails",
                 {},
                 {"details", "1080P(60)"},
                 {},
                 "Timing: 1080P(60)\nH active: 1920\nH blank: 280\nHs offset: 88\nHs width: 44\n"
                 "H total: 2200\nV active: 1080\nV blank: 45\nVs offset: 4\nVs width: 5\n"
                 "V total: 1125\nVideo clk: 148.5 MHz\nH freq: 67.5 KHz\nV freq: 60 Hz\n"
                 "Scan type: Progressive\nHsync: +\nVsync: +\n"},
        // The current timing is not the slot, so nothing is parked; stored, read back, chosen.
        FrameRow{"StoreUserSlot",
                 {},
                 {"user-timing", "store", "1", "--from", "1080i(60)"},
                 {"AA 00 00 05 00 00 00 61 80 70",
                  "AA 00 00 19 00 00 00 A0 00 00 01 1D 07 80 07 18 01 58 00 2C 00 1C 02 16 00 02 "
                  "00 05 00 19",
                  "AA 00 00 06 00 00 00 A0 80 00 30", "AA 00 00 06 00 00 00 61 00 37 B8",
                  "AA 00 00 05 00 00 00 61 80 70"},
                 "User 1: 1920x1080i(60)\nTiming: user:1\n"},
        FrameRow{"ResetDefaults",
                 {},
                 {"reset-defaults"},
                 {"AA 00 00 05 00 00 00 02 78 D7", "AA 00 00 05 00 00 00 63 80 6E"},
                 "Reset: Wait for a few seconds...\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExitRow {
    const char* name;
    std::vector<std::string> simArgs;
    std::vector<std::string> ctlArgs;
    std::string script;
    bool holdPort;
    int exitStatus;
    const char* errPart;
    std::vector<std::string> commands;  // received by the simulator, in order
};

class CtlExit : public CtlProcess, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(CtlExit, ExitStatusTellsWhatHappened) {
    const ExitRow& row = GetParam();
    startSim(row.simArgs);
    int holder = -1;
    if (row.holdPort) {
        holder = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    const CtlRun run = runCtl(row.ctlArgs, row.script);
    if (holder >= 0)
        ::close(holder);
    EXPECT_EQ(run.exitStatus, row.exitStatus) << run.err;
    EXPECT_NE(run.err.find(row.errPart), std::string::npos) << run.err;
    EXPECT_EQ(receivedCommands(), row.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlExit,
    ::testing::Values(
        ExitRow{"SilentGenerator",
                {"--silent", "all"},
                {"status"},
                "",
                false,
                1,
                "no answer to CMD_GET_TIMING",
                {"CMD_GET_TIMING"}},
        ExitRow{"RefusedDviDepth",
                {},
                {"--script", "-"},
                "set output-mode DVI\nset color-depth 30bit\n",
                false,
                3,
                "When in DVI mode, the color depth is fixed to 24bit !",
                {"CMD_SET_OUTPUT_MODE", "CMD_GET_OUTPUT_MODE", "CMD_GET_TIMING",
                 "CMD_GET_OUTPUT_MODE"}},
        // A stray answer reporting 30 bit comes before every real one.
        ExitRow{"ReadBackDiffers",
                {"--noise", "AB00000600010164800168"},
                {"set", "color-depth", "36bit"},
                "",
                false,
                5,
                "set 36bit, the generator reports 30bit",
                {"CMD_GET_TIMING", "CMD_GET_OUTPUT_MODE", "CMD_SET_COLOR_DEPTH",
                 "CMD_GET_COLOR_DEPTH"}},
        ExitRow{"PortInUse",
                {},
                {"status"},
                "",
                true,
                4,
                "Can not find this port or used by other application",
                {}},
        ExitRow{"RefusedAddressPair",
                {},
                {"address", "write", "00FF"},
                "",
                false,
                3,
                "must be from 0x01 to 0xFE",
                {}},
        ExitRow{"NoDisplayEdid",
                {"--no-display"},
                {"edid", "read"},
                "",
                false,
                1,
                "no answer to CMD_READ_TV_EDID",
                {"CMD_READ_TV_EDID"}},
        ExitRow{"ClockAbove300MHz",
                {},
                {"user-timing", "store", "1", "--from", "1080i(60)", "video-clk=300.1"},
                "",
                false,
                3,
                "pixcel clock can not be higher than 300MHz",
                {}},
        ExitRow{"BadArguments", {}, {"timing", "0x41"}, "", false, 2, "outside 0x00..0x40", {}},
        ExitRow{"MalformedScriptLine",
                {},
                {"--script", "SCRIPT"},
                "status\ntiming \"1080P(60)\"\npattern nine\n",
                false,
                2,
                ":3: unknown pattern \"nine\"",
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The folder named by --save is made when it does not exist yet.
TEST_F(CtlProcess, EdidReadSavesTheConsoleFiles) {
    startSim({});
    const std::filesystem::path saveDir = dir / "unit-7";
    const CtlRun run = runCtl({"edid", "read", "saved", "3", "--save", saveDir.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("HDMI EDID\ncheck sum Ok !\n\n00  00 FF FF FF FF FF FF 00"))
        << run.out;
    EXPECT_NE(run.out.find("Saved: " + (saveDir / "RedIvo_EDID00.bin").string()),
              std::string::npos);
    const std::string binary = readFile(saveDir / "RedIvo_EDID00.bin");
    ASSERT_EQ(binary.size(), 256u);
    EXPECT_EQ(binary.substr(0, 8), std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8));
    // Sixteen lines of sixteen "XX" entries, each line ending CR LF.
    EXPECT_EQ(readFile(saveDir / "RedIvo_EDID00.txt").size(), 784u);
    std::vector<std::string> bytes;
    for (const Received& frame : received())
        bytes.push_back(frame.bytes);
    EXPECT_EQ(bytes, std::vector<std::string>{"AA 00 00 06 00 00 00 AA 80 02 24"});
}

TEST_F(CtlProcess, TenCommandScriptWithJson) {
    startSim({});
    const CtlRun run = runCtl({"--json", "--script", "SCRIPT"},
                              "# display qualification, one unit\n"
                              "set output-mode HDMI\n"
                              "timing \"1080P(60)\"\n"
                              "pattern \"100%ColorBar\"\n"
                              "wait 50\n"
                              "set color-depth 30bit\n"
                              "set sample-rate 48K\n"
                              "timing \"4K(30)\"   # the generator makes it 24 bit\n"
                              "\n"
                              "pattern 3\n"
                              "power off\n"
                              "status\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<QJsonObject> results;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        results.push_back(parseJson(line));
    ASSERT_EQ(results.size(), 9u) << run.out;  // every command but the wait prints one line
    EXPECT_EQ(results[3]["Color Depth"].toString(), "30bit");
    EXPECT_EQ(results[6]["Pattern"].toString(), "RedScreen");
    const QJsonObject status = results[8];
    EXPECT_EQ(status["texts"]["Timing"].toString(), "4K(30)");
    EXPECT_EQ(status["texts"]["Color Depth"].toString(), "24bit");
    EXPECT_EQ(status["texts"]["Sample rate"].toString(), "48K");
    EXPECT_EQ(status["texts"]["Audio Type"].toString(), "PCM");
    EXPECT_EQ(status["status"]["timingCode"].toInt(), 0x1C);
    EXPECT_EQ(status["status"]["patternCode"].toInt(), 3);
    EXPECT_NE(status["status"]["power"].toInt(), 0);
    EXPECT_EQ(status["linkStatus"]["colorDepth"].toInt(), 0);

    const std::vector<Received> frames = received();
    const std::vector<std::string> beforeStatus = {
        "CMD_SET_OUTPUT_MODE", "CMD_GET_OUTPUT_MODE", "CMD_SET_TIMING",      "CMD_GET_TIMING",
        "CMD_SET_PATTERN",     "CMD_GET_PATTERN",     "CMD_GET_TIMING",      "CMD_GET_OUTPUT_MODE",
        "CMD_SET_COLOR_DEPTH", "CMD_GET_COLOR_DEPTH", "CMD_SET_SAMPLE_RATE", "CMD_GET_SAMPLE_RATE",
        "CMD_SET_TIMING",      "CMD_GET_TIMING",      "CMD_SET_PATTERN",     "CMD_GET_PATTERN",
        "CMD_SET_POWER",       "CMD_GET_POWER"};
    // Then the status sweep: twelve queries, ten user-slot reads and the link status.
    ASSERT_EQ(frames.size(), beforeStatus.size() + 23);
    for (std::size_t i = 0; i < beforeStatus.size(); ++i)
        EXPECT_EQ(frames[i].command, beforeStatus[i]) << i;
    const auto sweep = frames.begin() + static_cast<long>(beforeStatus.size());
    EXPECT_EQ(sweep[0].bytes, "AA 00 00 05 00 00 00 61 80 70");
    EXPECT_EQ(sweep[12].bytes, "AA 00 00 06 00 00 00 A0 80 00 30");
    EXPECT_EQ(sweep[22].bytes, "AA 00 00 05 00 00 00 A9 80 28");
}

}  // namespace
}  // namespace krx::ctl
