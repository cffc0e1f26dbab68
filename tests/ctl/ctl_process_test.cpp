// SPDX-License-Identifier: MIT
// The built krx-vtp-ctl against the built krx-vtp-sim on a pty: what only the program does, its
// arguments, scripts, files and exit statuses. Waits are the programs' own; nothing about speed is
// asserted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ctl_command.h"
#include "support/sim_process.h"

namespace krx::ctl {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct ProcessRow {
    const char* name;
    std::string args;    // words after --port; DIR stands for a scratch folder
    std::string script;  // the file DIR/script, also the standard input
    int exitStatus;
    std::string errPart;
    std::string outStart;
    std::string file = "script";  // under DIR, written by the run
    std::string fileStart = "";
};

class CtlProcess : public ::testing::TestWithParam<ProcessRow> {};

// A generous answer time: a loaded machine must not turn a slow answer into a missing one.
TEST_P(CtlProcess, ExitStatusTellsWhatHappened) {
    const ProcessRow& row = GetParam();
    static const std::string base = ::testing::TempDir();  // before TMPDIR changes
    std::string scratch = base + "krx-ctl-XXXXXX";
    ASSERT_NE(mkdtemp(scratch.data()), nullptr);
    const std::filesystem::path dir = scratch;
    // The private ports folder of a device path is made here. No thread runs yet.
    ::setenv("TMPDIR", dir.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    krx::testing::SimProcess sim(KRX_SIM_BINARY, {"--link", dir / "COM3"});
    ASSERT_TRUE(sim.firstLine().has_value());
    std::ofstream(dir / "script") << row.script;
    std::vector<std::string> args = {"--port", dir / "COM3", "--timeout-ms", "2000"};
    std::istringstream words(row.args);
    for (std::string word; words >> word;)
        args.push_back(word.starts_with("DIR") ? dir.string() + word.substr(3) : word);
    krx::testing::SimProcess ctl(KRX_CTL_BINARY, args, dir / "err", dir / "script");
    const std::string out = ctl.readAll();
    EXPECT_EQ(ctl.waitExit(), row.exitStatus);
    EXPECT_EQ(out.substr(0, row.outStart.size()), row.outStart) << out;
    EXPECT_NE(readFile(dir / "err").find(row.errPart), std::string::npos) << readFile(dir / "err");
    EXPECT_EQ(readFile(dir / row.file).substr(0, row.fileStart.size()), row.fileStart);
    // The private ports folder lived only while the port opened.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("krx-vtp-ctl-"));
    std::filesystem::remove_all(dir);
}

const std::string kEdidReport = "HDMI EDID\ncheck sum Ok !\n\n00  00 FF FF FF FF FF FF 00";

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlProcess,
    ::testing::Values(
        ProcessRow{"Help", "--help", "", 0, "", std::string(usageText())},
        ProcessRow{"ScriptRunsEveryLine", "--script DIR/script", "# bench\npattern 3\npower off\n",
                   0, "", "Pattern: RedScreen\nPower: OFF\n"},
        // The generator outputs DVI and a 4:2:0 timing at once: the 4K rule speaks first.
        ProcessRow{"RefusedLineEndsTheScript", "--script -",
                   "set output-mode DVI\ntiming 4K(4:2:0)(60)\nset color-space YUV4:4:4\npower off",
                   3, "-:3: When in 4K(60Hz/50Hz) mode, the colorspace is fixed to YUV4:2:0 !",
                   "HDMI/DVI: DVI\nTiming: 4K(4:2:0)(60)\n"},
        ProcessRow{"BadArguments", "timing 0x41", "", 2, "outside 0x00..0x40", ""},
        ProcessRow{"ScriptIsAFolder", "--script /", "", 2, "not a script", ""},
        // Standard input or a file, a script is read whole before its first line runs.
        ProcessRow{"EndlessInput", "--script -", std::string(kMaxScriptBytes + 1, '#'), 2, "1 MiB",
                   ""},
        ProcessRow{"MalformedScriptLine", "--script DIR/script",
                   "status\ntiming \"1080P(60)\"\npattern nine\n", 2,
                   ":3: unknown pattern \"nine\"", ""},
        // The report is out before a save that fails ends the run with its own status.
        ProcessRow{"EdidNotSaved", "edid read --save DIR/script/unit", "", 6,
                   "/script/unit: ", kEdidReport},
        // The folder named by --save is made when it does not exist yet.
        ProcessRow{"EdidSaved", "--json edid read saved 3 --save DIR/unit-7", "", 0, "",
                   R"({"command":"edid read","slot":3,"bytes":[0,255,255,255,255,255,255,0,)",
                   "unit-7/RedIvo_EDID00.bin", std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8)},
        // The generator makes 4K(30) 24 bit and keeps RGB, which only the 4:2:0 timings replace.
        ProcessRow{
            "JsonStatus", "--json --script -", "timing 4K(30)\nstatus", 0, "",
            R"j({"command":"timing","timingCode":28,"text":"4K(30)","readBack":true}
{"command":"status","status":{"timingCode":28,"patternCode":0,"colorSpace":0,"colorDepth":0,)j"
            R"j("hdcp":0,"outputMode":1,"sampleRate":2,"audioBits":0,"audioSource":0,"channels":0,)j"
            R"j("hotPlug":1,"power":0},"linkStatus":{"colorSpace":0,"colorDepth":0,"outputMode":1,)j"
            R"j("sampleRate":2,"audioBits":0,"channels":0},"texts":{"Timing":"4K(30)","HDCP":"OFF",)j"
            R"j("HDMI/DVI":"HDMI","Color Space":"RGB4:4:4","Color Depth":"24bit")j"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace krx::ctl
