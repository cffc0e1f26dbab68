// SPDX-License-Identifier: MIT
// The built krx-vtp-ctl against the built krx-vtp-sim on a pty: what only the program does, its
// arguments, scripts, files and exit statuses. Waits are the programs' own; nothing about speed is
// asserted.
#include <gtest/gtest.h>

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
    std::optional<int> exitStatus;
    std::string out;
    std::string err;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    return {std::istream_iterator<std::string>(stream), {}};
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

    void startSim() {
        sim.emplace(KRX_SIM_BINARY, std::vector<std::string>{"--link", link});
        ASSERT_TRUE(sim->firstLine().has_value());
    }

    // krx-vtp-ctl on the simulator's port with `args`; `script` becomes the file "script", named
    // by the argument SCRIPT and also the standard input. A generous answer time: a loaded machine
    // must not turn a slow answer into a missing one.
    CtlRun runCtl(std::vector<std::string> args, const std::string& script = "") {
        const std::string scriptPath = dir / "script";
        std::ofstream(scriptPath) << script;
        for (std::string& arg : args)
            arg = arg == "SCRIPT" ? scriptPath : arg;
        args.insert(args.begin(), {"--port", link, "--timeout-ms", "2000"});
        krx::testing::SimProcess ctl(KRX_CTL_BINARY, args, dir / "err", scriptPath);
        CtlRun run{std::nullopt, ctl.readAll(), ""};
        run.exitStatus = ctl.waitExit();
        run.err = readFile(dir / "err");
        return run;
    }

    std::filesystem::path dir;
    std::filesystem::path link;
    std::optional<krx::testing::SimProcess> sim;
};

struct ExitRow {
    const char* name;
    const char* ctlArgs;
    std::string script;
    int exitStatus;
    const char* errPart;
    const char* out;
};

class CtlExit : public CtlProcess, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(CtlExit, ExitStatusTellsWhatHappened) {
    const ExitRow& row = GetParam();
    startSim();
    const CtlRun run = runCtl(words(row.ctlArgs), row.script);
    EXPECT_EQ(run.exitStatus, row.exitStatus) << run.err;
    EXPECT_NE(run.err.find(row.errPart), std::string::npos) << run.err;
    EXPECT_EQ(run.out, row.out);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlExit,
    ::testing::Values(
        ExitRow{"ScriptRunsEveryLine", "--script SCRIPT", "# bench\npattern 3\npower off\n", 0, "",
                "Pattern: RedScreen\nPower: OFF\n"},
        ExitRow{"RefusedLineEndsTheScript", "--script -",
                "set output-mode DVI\nset color-depth 30bit\npower off\n", 3,
                "-:2: When in DVI mode, the color depth is fixed to 24bit !", "HDMI/DVI: DVI\n"},
        ExitRow{"BadArguments", "timing 0x41", "", 2, "outside 0x00..0x40", ""},
        ExitRow{"ScriptIsAFolder", "--script /", "", 2, "not a script", ""},
        // Standard input or a file, a script is read whole before its first line runs.
        ExitRow{"EndlessInput", "--script -", std::string(kMaxScriptBytes + 1, '#'), 2, "1 MiB",
                ""},
        ExitRow{"MalformedScriptLine", "--script SCRIPT",
                "status\ntiming \"1080P(60)\"\npattern nine\n", 2, ":3: unknown pattern \"nine\"",
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The folder named by --save is made when it does not exist yet. A save that fails has its own
// exit status, after the report of what was read.
TEST_F(CtlProcess, EdidReadSavesTheConsoleFiles) {
    startSim();
    const std::string report = "HDMI EDID\ncheck sum Ok !\n\n00  00 FF FF FF FF FF FF 00";
    const CtlRun unwritable = runCtl({"edid", "read", "--save", dir / "script/unit"});
    EXPECT_EQ(unwritable.exitStatus, 6) << unwritable.err;
    EXPECT_TRUE(unwritable.out.starts_with(report)) << unwritable.out;
    const std::filesystem::path saved = dir / "unit-7" / "RedIvo_EDID00.bin";
    const CtlRun run = runCtl({"edid", "read", "saved", "3", "--save", saved.parent_path()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with(report)) << run.out;
    EXPECT_NE(run.out.find("Saved: " + saved.string()), std::string::npos);
    EXPECT_EQ(readFile(saved).substr(0, 8), std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8));
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

}  // namespace
}  // namespace krx::ctl
