// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "edid_tool.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = KRX_EDID_DATA_DIR;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<fs::path> goldenInputs() {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(kDataDir)) {
        const auto extension = entry.path().extension();
        if (extension == ".txt" || extension == ".bin") {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string runTool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runEdidTool(args, out, err);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(err.str(), "");
    return out.str();
}

class GoldenEdid : public testing::TestWithParam<fs::path> {};

TEST_P(GoldenEdid, EveryExpectedTextMatchesByteForByte) {
    const fs::path input = GetParam();
    const fs::path stem = input.parent_path() / input.stem();
    ASSERT_TRUE(fs::exists(stem.string() + ".status")) << "no expected status for " << input;
    for (const char* section : {"status", "general", "video", "audio"}) {
        const fs::path expected = stem.string() + "." + section;
        if (fs::exists(expected)) {
            EXPECT_EQ(runTool({"--section", section, input.string()}), contents(expected))
                << section;
        }
    }
    const fs::path terminal = stem.string() + ".terminal";
    if (fs::exists(terminal)) {
        EXPECT_EQ(runTool({input.string()}), contents(terminal));
    }
}

INSTANTIATE_TEST_SUITE_P(Edid, GoldenEdid, testing::ValuesIn(goldenInputs()), [](const auto& info) {
    std::string name = info.param.filename().string();
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

// Both forms of one display dump its saved text form with the line ends as spaces.
TEST(GoldenEdidTwins, BothFormsDumpTheSavedBytes) {
    std::string expected = contents(kDataDir / "tv_4k_hdmi20.txt");
    for (auto at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n")) {
        expected.replace(at, 2, " ");
    }
    for (const char* input : {"tv_4k_hdmi20.txt", "tv_4k_hdmi20.bin"}) {
        SCOPED_TRACE(input);
        EXPECT_EQ(runTool({"--section", "dump", (kDataDir / input).string()}), expected);
    }
}

}  // namespace
}  // namespace krx
