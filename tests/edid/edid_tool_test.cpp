// SPDX-License-Identifier: MIT
// The tool's arguments and exit status, and its reports on the sample displays in data/, each
// compared byte for byte with the expected text beside it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "edid_tool.h"
#include "support/files.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = KRX_EDID_DATA_DIR;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runEdidTool(args, out, err);
    return {status, out.str(), err.str()};
}

using testing::fileContents;

// The report of a run that must succeed silently.
std::string report(const std::vector<std::string>& args) {
    const ToolRun result = run(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return result.out;
}

std::vector<fs::path> goldenInputs() {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::recursive_directory_iterator(kDataDir)) {
        const auto extension = entry.path().extension();
        if (extension == ".txt" || extension == ".bin") {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

class GoldenEdid : public ::testing::TestWithParam<fs::path> {};

TEST_P(GoldenEdid, EveryExpectedTextMatchesByteForByte) {
    const fs::path input = GetParam();
    const fs::path stem = input.parent_path() / input.stem();
    ASSERT_TRUE(fs::exists(stem.string() + ".status")) << "no expected status for " << input;
    for (const char* section : {"status", "dump", "general", "video", "audio"}) {
        const fs::path expected = stem.string() + "." + section;
        if (fs::exists(expected)) {
            EXPECT_EQ(report({"--section", section, input.string()}), fileContents(expected))
                << section;
        }
    }
    // Each form the tool writes the bytes in; that text read back as a FILE gives the same bytes.
    for (const char* form : {"hex", "c", "base64"}) {
        const fs::path expected = stem.string() + ".format-" + form;
        if (fs::exists(expected)) {
            EXPECT_EQ(report({"--format", form, input.string()}), fileContents(expected)) << form;
            EXPECT_EQ(report({"--format", "bin", expected.string()}),
                      report({"--format", "bin", input.string()}))
                << form;
        }
    }
    const fs::path terminal = stem.string() + ".terminal";
    if (fs::exists(terminal)) {
        EXPECT_EQ(report({input.string()}), fileContents(terminal));
    }
}

INSTANTIATE_TEST_SUITE_P(Edid, GoldenEdid, ::testing::ValuesIn(goldenInputs()),
                         [](const auto& info) {
                             std::string name = info.param.filename().string();
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(EdidTool, ToTerminalLinesConvertsEveryLineEnd) {
    const std::pair<const char*, const char*> rows[] = {
        {"a\r\nb\r\n", "a\nb\n"}, {"a\rb", "a\nb"},     {"a\r\r\nb", "a\n\nb"},
        {"a\r", "a\n"},           {"a\n\rb", "a\n\nb"},
    };
    for (const auto& [text, lines] : rows)
        EXPECT_EQ(toTerminalLines(text), lines) << text;
}

// Help prints the usage on out and succeeds; a usage error prints it on err with status 2.
TEST(EdidTool, HelpAndUsageErrors) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Row rows[] = {
        {"Help", {"--help"}, 0},
        {"ShortHelp", {"x.txt", "-h"}, 0},
        {"NoArguments", {}, 2},
        {"UnknownOption", {"--verbose", "x.txt"}, 2},
        {"SectionWithoutName", {"--section"}, 2},
        {"UnknownSection", {"--section", "checksum", "x.txt"}, 2},
        {"SectionWithTwoFiles", {"--section", "video", "a.txt", "b.txt"}, 2},
        {"SectionWithoutFile", {"--section", "video"}, 2},
        {"UnknownForm", {"--format", "xml", "x.txt"}, 2},
        {"FormatWithSection", {"--format", "hex", "--section", "video", "x.txt"}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ToolRun result = run(row.args);
        const bool help = row.status == 0;
        EXPECT_EQ(result.status, row.status);
        EXPECT_NE((help ? result.out : result.err).find("Usage: krx-vtp-edid"), std::string::npos);
        EXPECT_EQ(help ? result.err : result.out, "");
    }
}

// A FIFO is refused instead of waited on. (A full disk: edid.tool.binary.full_output.)
TEST(EdidTool, AFifoIsRefused) {
    const fs::path fifo =
        fs::temp_directory_path() / ("krx-edid-" + std::to_string(::getpid()) + ".bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ToolRun result = run({fifo.string()});
    fs::remove(fifo);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, fifo.string() + ": File read failed\n");
}

TEST(EdidTool, ABadFileAmongGoodOnesStillReportsTheOthers) {
    const std::string monitor = (kDataDir / "monitor_1080p_dvi.txt").string();
    const std::string tv = (kDataDir / "tv_4k_hdmi20.txt").string();
    const std::string missing = (kDataDir / "absent.bin").string();
    // After "--" a name is a file even when it looks like an option.
    const ToolRun result = run({monitor, missing, "--", tv, "--help"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, missing + ": File read failed\n--help: File read failed\n");
    const auto monitorAt = result.out.find("==> " + monitor + " <==\nDVI EDID\n");
    const auto tvAt = result.out.find("==> " + tv + " <==\nHDMI EDID\ncheck sum Ok !\n");
    ASSERT_NE(monitorAt, std::string::npos);
    ASSERT_NE(tvAt, std::string::npos);
    EXPECT_LT(monitorAt, tvAt);
    EXPECT_EQ(result.out.find(missing), std::string::npos);
}

}  // namespace
}  // namespace krx
