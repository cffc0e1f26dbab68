// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "edid_tool.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = KRX_EDID_DATA_DIR;
const std::string kMonitor = (kDataDir / "monitor_1080p_dvi.txt").string();
const std::string kTv = (kDataDir / "tv_4k_hdmi20.txt").string();

struct LineCase {
    const char* name;
    const char* text;
    const char* lines;
};

const LineCase kLineCases[] = {
    {"CrLf", "a\r\nb\r\n", "a\nb\n"},
    {"LoneCr", "HDMI EDID\rcheck sum Ok !", "HDMI EDID\ncheck sum Ok !"},
    {"CrBeforeCrLf", "a\r\r\nb", "a\n\nb"},
    {"LfAlone", "a\nb", "a\nb"},
    {"TrailingCr", "a\r", "a\n"},
    {"LfCrIsTwoBreaks", "a\n\rb", "a\n\nb"},
};

class ToTerminalLines : public testing::TestWithParam<LineCase> {};

TEST_P(ToTerminalLines, ConvertsEveryLineEnd) {
    EXPECT_EQ(toTerminalLines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Edid, ToTerminalLines, testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

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

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
};

const UsageCase kUsageCases[] = {
    {"NoArguments", {}},
    {"UnknownOption", {"--verbose", "x.txt"}},
    {"SectionWithoutName", {"--section"}},
    {"UnknownSection", {"--section", "checksum", "x.txt"}},
    {"SectionWithTwoFiles", {"--section", "video", "a.txt", "b.txt"}},
    {"SectionWithoutFile", {"--section", "video"}},
};

class ToolUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(ToolUsage, FailsWithStatus2AndPrintsNothingOnOut) {
    const ToolRun result = run(GetParam().args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("Usage: krx-vtp-edid"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Edid, ToolUsage, testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Tool, HelpGoesToOutAndSucceeds) {
    const ToolRun result = run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("Usage: krx-vtp-edid", 0), 0U);
    EXPECT_EQ(result.err, "");
}

TEST(Tool, UnreadableFileGivesOnlyItsMessage) {
    const std::string missing = (kDataDir / "absent.txt").string();
    const ToolRun result = run({"--section", "video", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, missing + ": File read failed\n");
}

TEST(Tool, OtherExtensionGivesOnlyItsMessage) {
    const std::string readme = (kDataDir / "README.md").string();
    const ToolRun result = run({readme});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, readme + ": It is not bin or txt file\n");
}

TEST(Tool, ABadFileAmongGoodOnesStillReportsTheOthers) {
    const std::string missing = (kDataDir / "absent.bin").string();
    const ToolRun result = run({kMonitor, missing, kTv});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, missing + ": File read failed\n");
    const auto monitorAt = result.out.find("==> " + kMonitor + " <==\nDVI EDID\n");
    const auto tvAt = result.out.find("==> " + kTv + " <==\nHDMI EDID\ncheck sum Ok !\n");
    ASSERT_NE(monitorAt, std::string::npos);
    ASSERT_NE(tvAt, std::string::npos);
    EXPECT_LT(monitorAt, tvAt);
    EXPECT_EQ(result.out.find(missing), std::string::npos);
}

TEST(Tool, DumpSectionIsTheUnbrokenDecoderText) {
    const ToolRun result = run({"--section", "dump", kTv});
    ASSERT_EQ(result.status, 0);
    ASSERT_EQ(result.out.size(), 768U);
    EXPECT_EQ(result.out.substr(0, 24), "00 FF FF FF FF FF FF 00 ");
    EXPECT_EQ(result.out.find('\n'), std::string::npos);
}

TEST(Tool, PersonFormatHasNoCarriageReturns) {
    const ToolRun result = run({kTv});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
    EXPECT_NE(result.out.find("\nf0  "), std::string::npos);
    EXPECT_NE(result.out.find("\nVideo Information:\nPreferred Timing:3840x2160@60Hz\n"),
              std::string::npos);
}

}  // namespace
}  // namespace krx
