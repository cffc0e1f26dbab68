// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "edid/edid_files.h"
#include "support/files.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = KRX_EDID_DATA_DIR;

using testing::fileContents;

// The golden television: its .txt twin is what a save of it writes as text.
const fs::path kTvBinary = kDataDir / "tv_4k_hdmi20.bin";
const fs::path kTvText = kDataDir / "tv_4k_hdmi20.txt";

EdidImage tv() {
    return parseEdidBinary(fileContents(kTvBinary));
}

std::string edidName(int n, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "RedIvo_EDID%02d%s", n, extension);
    return name;
}

TEST(ParseEdidText, ReadsNumbersUntilTheFirstNonNumber) {
    std::string manyNumbers;  // 256 fives, then sixes that must not be read
    for (int i = 0; i < 300; ++i)
        manyNumbers += i < 256 ? "5 " : "6 ";
    struct Row {
        const char* name;
        std::string text;
        std::vector<std::uint8_t> leadingBytes;  // the rest must be 0xFF
    };
    const Row rows[] = {
        {"Empty", "", {}},
        {"EitherCaseAndPrefix", "ab AB 0x1c 0X2D 0xeF", {0xAB, 0xAB, 0x1C, 0x2D, 0xEF}},
        {"LongNumberKeepsLowEightBits", "123 fffffffff1", {0x23, 0xF1}},
        {"SignsAsTheScanTakesThem", "+5 -1 -0x10", {0x05, 0xFF, 0xF0}},
        {"AnyWhiteSpaceSeparates", "\n\n  7\t8\r\n\f9\v0 \v", {0x07, 0x08, 0x09, 0x00}},
        {"StopsAtFirstNonNumber", "12 zz 34", {0x12}},
        {"NumberGluedToLetterStops", "12g 34", {0x12}},
        {"LoneSignEndsTheScan", "12 - 34", {0x12}},
        {"PrefixWithoutDigitsReadsZero", "5 0x", {0x05, 0x00}},
        {"PrefixFollowedByNonHexStopsNext", "0xg 7", {0x00}},
        {"AtMost256Numbers", manyNumbers, std::vector<std::uint8_t>(256, 0x05)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EdidImage expected = blankEdidImage();
        std::copy(row.leadingBytes.begin(), row.leadingBytes.end(), expected.begin());
        EXPECT_EQ(parseEdidText(row.text), expected);
    }
}

// A fresh empty directory per test, removed afterwards.
class EdidFilesTest : public ::testing::Test {
  protected:
    fs::path write(const std::string& name, const std::string& content) const {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    const testing::ScratchDir scratch_;
    const fs::path& dir_ = scratch_.path();
};

// A file that cannot be read gives the page's message; an endless one is read only as far as the
// scan needs.
TEST_F(EdidFilesTest, ReadsWhatTheScanNeedsOrGivesThePageMessage) {
    enum class Make { Nothing, File, Directory, Endless };
    EdidImage split = blankEdidImage();
    split[0] = 0xAB;
    split[1] = 0x00;  // "0x" without digits
    split[2] = 0x2C;
    struct Row {
        const char* name;
        const char* path;
        Make make;
        std::string_view message;  // empty: read
        EdidImage image = {};
        std::string content = "00 FF FF";
    };
    const Row rows[] = {
        // The file is opened before its extension is looked at.
        {"MissingOtherExtension", "absent.doc", Make::Nothing, kEdidReadFailed},
        {"DirectoryNamedLikeATextFile", "folder.txt", Make::Directory, kEdidReadFailed},
        {"CapitalTxt", "edid.TXT", Make::File, kEdidNotBinOrTxt},
        {"NoExtension", "edid", Make::File, kEdidNotBinOrTxt},
        {"OnlyTheLastDotCounts", "edid.txt.bak", Make::File, kEdidNotBinOrTxt},
        {"DotInFolderNameIsNotTheExtension", "v1.txt/edid", Make::File, kEdidNotBinOrTxt},
        // A 0 byte is not a number: nothing is read.
        {"EndlessText", "zeros.txt", Make::Endless, "", blankEdidImage()},
        {"EndlessBinary", "zeros.bin", Make::Endless, ""},
        // Long white space puts "1AB" across the 4096-byte boundary of the file reader.
        {"NumberSplitAcrossReadBlocks", "split.txt", Make::File, "", split,
         std::string(4094, ' ') + "1AB 0x\n2C"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path path = dir_ / row.path;
        fs::create_directories(path.parent_path());
        if (row.make == Make::File) {
            write(row.path, row.content);
        } else if (row.make == Make::Directory) {
            fs::create_directory(path);
        } else if (row.make == Make::Endless) {
            fs::create_symlink("/dev/zero", path);
        }
        const auto image = readEdidFile(path);
        EXPECT_EQ(image.error(), row.message);
        if (image) {
            EXPECT_EQ(image.value(), row.image);
        }
    }
}

TEST_F(EdidFilesTest, SavesNumberTheTwoSeriesIndependently) {
    const auto first = saveEdidFiles(dir_, tv());
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(edidSaveMessage(first.value()),
              "Save EDID data to .\\RedIvo_EDID00.txt and RedIvo_EDID00.bin");
    EXPECT_EQ(fileContents(first.value().textFile), fileContents(kTvText));
    EXPECT_EQ(fileContents(first.value().binaryFile), fileContents(kTvBinary));
    ASSERT_TRUE(saveEdidFiles(dir_, tv()));
    // No temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"RedIvo_EDID00.bin", "RedIvo_EDID00.txt",
                                               "RedIvo_EDID01.bin", "RedIvo_EDID01.txt"}));
    fs::remove(dir_ / "RedIvo_EDID00.txt");
    const auto third = saveEdidFiles(dir_, tv());
    ASSERT_TRUE(third);
    EXPECT_EQ(edidSaveMessage(third.value()),
              "Save EDID data to .\\RedIvo_EDID00.txt and RedIvo_EDID02.bin");
}

// When every number is taken, number 99 is overwritten. What the save refuses is pinned with the
// atomic save; here, that a refusal is the page's message and the text file is kept.
TEST_F(EdidFilesTest, OverwritesNumber99WhenAllAreTakenAndABinaryFailureKeepsTheText) {
    // Every name is taken, binary number 99 by a write-protected file, which is kept.
    for (int n = 0; n < 100; ++n) {
        write(edidName(n, ".txt"), std::string(1000, 'x'));
        write(edidName(n, ".bin"), "kept");
    }
    fs::permissions(dir_ / "RedIvo_EDID99.bin", fs::perms::owner_read);
    const auto saved = saveEdidFiles(dir_, tv());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), kEdidCreateFailed);
    EXPECT_EQ(fileContents(dir_ / "RedIvo_EDID99.txt"), fileContents(kTvText));
    EXPECT_EQ(fileContents(dir_ / "RedIvo_EDID99.bin"), "kept");
}

}  // namespace
}  // namespace krx
