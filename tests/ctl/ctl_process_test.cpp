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

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ctl_command.h"
#include "serial_test_support.h"
#include "support/sim_process.h"

namespace krx::ctl {
namespace {

struct CtlRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
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
        // krx-vtp-ctl makes its private ports folder here. No thread runs yet.
        ::setenv("TMPDIR", dir.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
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

    // The "bytes" or "command" of each frame the simulator received, once it has ended (so its
    // log is complete).
    std::vector<std::string> received(const char* key) {
        sim.reset();
        std::vector<std::string> frames;
        std::istringstream log(readFile(dir / "log"));
        for (std::string line; std::getline(log, line);) {
            const QJsonObject entry = parseJson(line);
            if (entry["dir"].toString() == "received")
                frames.push_back(entry[key].toString().toStdString());
        }
        return frames;
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
    EXPECT_EQ(received("bytes"), row.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlCommand,
    ::testing::Values(
        FrameRow{"HdcpToOneDevice",
                 {"--device", "0102"},
                 {"--address", "0102", "set", "hdcp", "HDCP ON"},
                 {"AA 00 00 06 00 01 02 65 00 01 E7", "AA 00 00 05 00 01 02 65 80 69"},
                 "HDCP: HDCP ON\n"},
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

// Simulator options, krx-vtp-ctl's arguments and the commands the simulator received, each as
// words separated by blanks.
struct ExitRow {
    const char* name;
    const char* simArgs;
    const char* ctlArgs;
    std::string script;
    bool holdPort;
    int exitStatus;
    const char* errPart;
    const char* commands;
};

std::vector<std::string> words(const char* text) {
    std::istringstream stream(text);
    return {std::istream_iterator<std::string>(stream), {}};
}

class CtlExit : public CtlProcess, public ::testing::WithParamInterface<ExitRow> {};

// Standard input or a file, a script is read whole before its first line runs.
const std::string kOverlongScript(kMaxScriptBytes + 1, '#');

TEST_P(CtlExit, ExitStatusTellsWhatHappened) {
    const ExitRow& row = GetParam();
    startSim(words(row.simArgs));
    int holder = -1;
    if (row.holdPort) {
        holder = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    const CtlRun run = runCtl(words(row.ctlArgs), row.script);
    if (holder >= 0)
        ::close(holder);
    EXPECT_EQ(run.exitStatus, row.exitStatus) << run.err;
    EXPECT_NE(run.err.find(row.errPart), std::string::npos) << run.err;
    EXPECT_EQ(received("command"), words(row.commands));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlExit,
    ::testing::Values(
        // The line hangs up once the first answer is in; the second query goes nowhere.
        ExitRow{"HangUpMidSweep", "--hang-up-after 1", "status", "", false, 1,
                "the port was closed", "CMD_GET_TIMING"},
        ExitRow{"RefusedDviDepth", "", "--script -", "set output-mode DVI\nset color-depth 30bit\n",
                false, 3, "When in DVI mode, the color depth is fixed to 24bit !",
                "CMD_SET_OUTPUT_MODE CMD_GET_OUTPUT_MODE CMD_GET_TIMING CMD_GET_OUTPUT_MODE"},
        // A stray answer reporting 30 bit comes before every real one.
        ExitRow{"ReadBackDiffers", "--noise AB00000600010164800168", "set color-depth 36bit", "",
                false, 5, "set 36bit, the generator reports 30bit",
                "CMD_GET_TIMING CMD_GET_OUTPUT_MODE CMD_SET_COLOR_DEPTH CMD_GET_COLOR_DEPTH"},
        ExitRow{"PortInUse", "", "status", "", true, 4,
                "Can not find this port or used by other application", ""},
        ExitRow{"RefusedAddressPair", "", "address write 00FF", "", false, 3,
                "must be from 0x01 to 0xFE", ""},
        ExitRow{"NoDisplayEdid", "--no-display", "edid read", "", false, 1,
                "no answer to CMD_READ_TV_EDID", "CMD_READ_TV_EDID"},
        ExitRow{"BadArguments", "", "timing 0x41", "", false, 2, "outside 0x00..0x40", ""},
        ExitRow{"ScriptIsAFolder", "", "--script /", "", false, 2, "not a script", ""},
        ExitRow{"EndlessInput", "", "--script -", kOverlongScript, false, 2, "1 MiB", ""},
        ExitRow{"MalformedScriptLine", "", "--script SCRIPT",
                "status\ntiming \"1080P(60)\"\npattern nine\n", false, 2,
                ":3: unknown pattern \"nine\"", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The folder named by --save is made when it does not exist yet. A save that fails has its own
// exit status, after the report of what was read.
TEST_F(CtlProcess, EdidReadSavesTheConsoleFiles) {
    startSim({});
    const std::string report = "HDMI EDID\ncheck sum Ok !\n\n00  00 FF FF FF FF FF FF 00";
    const CtlRun unwritable = runCtl({"edid", "read", "--save", (dir / "script/unit").string()});
    EXPECT_EQ(unwritable.exitStatus, 6) << unwritable.err;
    EXPECT_TRUE(unwritable.out.starts_with(report)) << unwritable.out;
    const std::filesystem::path saveDir = dir / "unit-7";
    const CtlRun run = runCtl({"edid", "read", "saved", "3", "--save", saveDir.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with(report)) << run.out;
    EXPECT_NE(run.out.find("Saved: " + (saveDir / "RedIvo_EDID00.bin").string()),
              std::string::npos);
    EXPECT_EQ(readFile(saveDir / "RedIvo_EDID00.bin").substr(0, 8),
              std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8));
    EXPECT_EQ(received("bytes"), (std::vector<std::string>{"AA 00 00 06 00 00 00 38 B8 01 5F",
                                                           "AA 00 00 06 00 00 00 AA 80 02 24"}));
}

// A line that keeps sending AB 00 every 10 ms restarts the answer watchdog at every byte, yet the
// status ends with no answer. The private ports folder of --port lives only while the port opens,
// so a signal that ends the client meanwhile would leave nothing behind.
TEST_F(CtlProcess, BabblingLineEndsTheStatus) {
    krx::test::PtyPair line;
    std::filesystem::create_symlink(line.slavePath(), link);
    std::atomic<bool> stop = false;
    std::vector<std::uint8_t> query;
    std::size_t foldersWhileRunning = 0;
    std::thread babbler([&] {
        query = line.receive(10);
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            foldersWhileRunning += entry.path().filename().string().starts_with("krx-vtp-ctl-");
        const std::array<std::uint8_t, 2> burst = {0xAB, 0x00};
        for (; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            line.send(burst);
    });
    const CtlRun run = runCtl({"--timeout-ms", "300", "status"});
    stop = true;
    babbler.join();
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("no answer to CMD_GET_TIMING"), std::string::npos) << run.err;
    EXPECT_EQ(query, (std::vector<std::uint8_t>{0xAA, 0, 0, 5, 0, 0, 0, 0x61, 0x80, 0x70}));
    EXPECT_EQ(foldersWhileRunning, 0u);
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
    EXPECT_EQ(status["status"]["timingCode"].toInt(), 0x1C);
    EXPECT_NE(status["status"]["power"].toInt(), 0);
    EXPECT_EQ(status["linkStatus"]["colorDepth"].toInt(), 0);

    std::vector<std::string> commands = received("command");
    const std::vector<std::string> beforeStatus = {
        "CMD_SET_OUTPUT_MODE", "CMD_GET_OUTPUT_MODE", "CMD_SET_TIMING",      "CMD_GET_TIMING",
        "CMD_SET_PATTERN",     "CMD_GET_PATTERN",     "CMD_GET_TIMING",      "CMD_GET_OUTPUT_MODE",
        "CMD_SET_COLOR_DEPTH", "CMD_GET_COLOR_DEPTH", "CMD_SET_SAMPLE_RATE", "CMD_GET_SAMPLE_RATE",
        "CMD_SET_TIMING",      "CMD_GET_TIMING",      "CMD_SET_PATTERN",     "CMD_GET_PATTERN",
        "CMD_SET_POWER",       "CMD_GET_POWER"};
    // Then the status sweep: twelve queries, ten user-slot reads and the link status.
    ASSERT_EQ(commands.size(), beforeStatus.size() + 23);
    commands.resize(beforeStatus.size());
    EXPECT_EQ(commands, beforeStatus);
}

}  // namespace
}  // namespace krx::ctl
