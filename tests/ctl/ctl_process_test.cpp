// SPDX-License-Identifier: MIT
// The built krx-vtp-ctl against the built krx-vtp-sim on a pty: what only the program does, its
// arguments, scripts, files and exit statuses. Waits are the programs' own; nothing about speed is
// asserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ctl_command.h"
#include "ser2net_server.h"
#include "support/child_process.h"
#include "support/files.h"

namespace krx::ctl {
namespace {

using testing::fileContents;

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
    static const std::filesystem::path base = ::testing::TempDir();  // before TMPDIR changes
    const testing::ScratchDir scratch(base);
    const std::filesystem::path& dir = scratch.path();
    // The private ports folder of a device path is made here. No thread runs yet.
    ::setenv("TMPDIR", dir.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
    krx::testing::ChildProcess sim(KRX_SIM_BINARY, {"--link", dir / "COM3"});
    ASSERT_TRUE(sim.firstLine().has_value());
    std::ofstream(dir / "script") << row.script;
    std::vector<std::string> args = {"--port", dir / "COM3", "--timeout-ms", "2000"};
    std::istringstream words(row.args);
    for (std::string word; words >> word;)
        args.push_back(word.starts_with("DIR") ? dir.string() + word.substr(3) : word);
    krx::testing::ChildProcess ctl(KRX_CTL_BINARY, args, dir / "err", dir / "script");
    const std::string out = ctl.readAll();
    EXPECT_EQ(ctl.waitExit(), row.exitStatus);
    EXPECT_EQ(out.substr(0, row.outStart.size()), row.outStart) << out;
    EXPECT_NE(fileContents(dir / "err").find(row.errPart), std::string::npos)
        << fileContents(dir / "err");
    EXPECT_EQ(fileContents(dir / row.file).substr(0, row.fileStart.size()), row.fileStart);
    // The private ports folder lived only while the port opened.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("krx-vtp-ctl-"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CtlProcess,
    ::testing::Values(
        ProcessRow{"Help", "--help", "", 0, "", std::string(usageText())},
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
                   "/script/unit: ", "HDMI EDID\ncheck sum Ok !\n\n00  00 FF FF FF FF FF FF 00"},
        ProcessRow{"EdidAsCArray", "edid read --format c", "", 0, "",
                   "static const unsigned char edid[256] = {\n    0x00, 0xFF, 0xFF, 0xFF, 0xFF, "
                   "0xFF, 0xFF, 0x00, "},
        // The folder named by --save is made when it does not exist yet.
        ProcessRow{"EdidSaved", "--json edid read saved 3 --save DIR/unit-7", "", 0, "",
                   R"({"command":"edid read","slot":3,"bytes":[0,255,255,255,255,255,255,0,)",
                   "unit-7/RedIvo_EDID00.bin", std::string("\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8)}),
    [](const auto& info) { return std::string(info.param.name); });

// With --reconnect-ms, the port lost between two lines (the simulator replaced by a new one on the
// same link) is waited for and reopened, and the script carries on.
TEST(CtlReconnect, ALostPortThatComesBackIsReopenedAndTheScriptCarriesOn) {
    const testing::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    const std::vector<std::string> link = {"--link", dir / "COM3"};
    auto sim = std::make_unique<krx::testing::ChildProcess>(KRX_SIM_BINARY, link);
    ASSERT_TRUE(sim->firstLine());
    std::ofstream(dir / "script") << "pattern 3\nwait 1000\npower off\n";
    krx::testing::ChildProcess ctl(
        KRX_CTL_BINARY,
        {"--port", dir / "COM3", "--reconnect-ms", "20000", "--script", dir / "script"},
        dir / "err");
    EXPECT_EQ(ctl.firstLine(), "Pattern: RedScreen");
    sim.reset();
    sim = std::make_unique<krx::testing::ChildProcess>(KRX_SIM_BINARY, link);
    ASSERT_TRUE(sim->firstLine());
    EXPECT_EQ(ctl.readAll(), "Power: OFF\n");
    EXPECT_EQ(ctl.waitExit(), 0) << fileContents(dir / "err");
}

// One script on three benches at once: a simulator on a pty, one behind ser2net given by its URL
// that sends a stray byte before every answer, and a silent one. Each line comes prefixed by its
// port, the silent bench's status is the run's, and the JUnit report parses as XML (Python's
// parser) with a case per bench and line.
TEST(CtlBenches, OneScriptOnThreeBenchesWithAJUnitReport) {
    const testing::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    krx::testing::ChildProcess local(KRX_SIM_BINARY, {"--link", dir / "A"});
    krx::testing::ChildProcess networked(KRX_SIM_BINARY, {"--noise", "55"});
    krx::testing::ChildProcess silent(KRX_SIM_BINARY, {"--link", dir / "C", "--silent", "all"});
    const auto pty = networked.firstLine();
    ASSERT_TRUE(local.firstLine() && pty && silent.firstLine());
    test::Ser2netServer server(test::Ser2netMode::RawTcp, *pty);
    std::ofstream(dir / "unit.txt") << "# bench\npattern 3\npower off\n";
    const std::string a = dir / "A";
    const std::string c = dir / "C";
    krx::testing::ChildProcess ctl(KRX_CTL_BINARY,
                                   {"--port", a, "--port", server.url(), "--port", c, "--junit",
                                    dir / "report.xml", "--script", dir / "unit.txt"},
                                   dir / "err");
    std::istringstream out(ctl.readAll());
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(ctl.waitExit(), 1);
    std::vector<std::string> expected = {a + ": Pattern: RedScreen", a + ": Power: OFF",
                                         server.url() + ": Pattern: RedScreen",
                                         server.url() + ": Power: OFF"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    EXPECT_NE(
        fileContents(dir / "err")
            .find(c + ": " + (dir / "unit.txt").string() + ":2: no answer to CMD_GET_PATTERN"),
        std::string::npos)
        << fileContents(dir / "err");

    krx::testing::ChildProcess parse(
        KRX_PYTHON3, {"-c",
                      "import sys, xml.dom.minidom as m\n"
                      "for case in m.parse(sys.argv[1]).getElementsByTagName('testcase'):\n"
                      "  print(case.getAttribute('classname'), case.getAttribute('name'), *(\n"
                      "    e.tagName + ':' + e.getAttribute('type') for e in case.childNodes\n"
                      "    if e.nodeType == e.ELEMENT_NODE), sep='|')",
                      dir / "report.xml"});
    EXPECT_EQ(parse.readAll(), a + "|2: pattern 3\n" + a + "|3: power off\n" + server.url() +
                                   "|2: pattern 3\n" + server.url() + "|3: power off\n" + c +
                                   "|2: pattern 3|failure:exit status 1\n" + c +
                                   "|3: power off|skipped:\n");
    EXPECT_EQ(parse.waitExit(), 0);
}

}  // namespace
}  // namespace krx::ctl
