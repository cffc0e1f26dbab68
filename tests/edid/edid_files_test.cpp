// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "edid/edid_files.h"
#include "edid_builder.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

template <typename Case>
requires requires(const Case& row) {
    row.name;
}
void PrintTo(const Case& row, std::ostream* os) {
    *os << row.name;
}

EdidImage counting() {
    EdidImage image{};
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(255 - i);
    }
    return image;
}

// A fresh empty directory per test, removed afterwards.
class EdidFilesTest : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("krx_edid_" + std::to_string(::getpid()) + "_" +
                                            info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& content) const {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// ---- Text parsing ----------------------------------------------------------------------------

struct TextCase {
    const char* name;
    std::string text;
    std::vector<std::uint8_t> leadingBytes;  // the rest must be 0xFF
};

const TextCase kTextCases[] = {
    {"Empty", "", {}},
    {"OnlyWhiteSpace", " \t\r\n\v\f", {}},
    {"SavedFormLine",
     "00 FF FF FF FF FF FF 00\r\n",
     {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
    {"EitherCaseAndPrefix", "ab AB 0x1c 0X2D 0xeF", {0xAB, 0xAB, 0x1C, 0x2D, 0xEF}},
    {"SingleDigits", "1 2 a", {0x01, 0x02, 0x0A}},
    {"LongNumberKeepsLowEightBits", "123 fffffffff1", {0x23, 0xF1}},
    {"SignsAsTheScanTakesThem", "+5 -1 -0x10", {0x05, 0xFF, 0xF0}},
    {"AnyWhiteSpaceSeparates", "\n\n  7\t8\r\n\f9", {0x07, 0x08, 0x09}},
    {"StopsAtFirstNonNumber", "12 zz 34", {0x12}},
    {"CommaEndsTheScan", "12,34", {0x12}},
    {"LoneSignEndsTheScan", "12 - 34", {0x12}},
    {"PrefixWithoutDigitsReadsZero", "5 0x", {0x05, 0x00}},
    {"PrefixFollowedByNonHexStopsNext", "0xg 7", {0x00}},
    {"NumberGluedToLetterStops", "12g 34", {0x12}},
};

class ParseEdidText : public testing::TestWithParam<TextCase> {};

TEST_P(ParseEdidText, ReadsNumbersUntilTheFirstNonNumber) {
    const EdidImage image = parseEdidText(GetParam().text);
    const auto& leading = GetParam().leadingBytes;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const std::uint8_t expected = i < leading.size() ? leading[i] : 0xFF;
        ASSERT_EQ(image[i], expected) << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Edid, ParseEdidText, testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseEdidTextLimits, ReadsAtMost256Numbers) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += std::to_string(i % 10) + " ";
    }
    const EdidImage image = parseEdidText(text);
    EXPECT_EQ(image[0], 0);
    EXPECT_EQ(image[255], 5);  // number 255 is "5"
}

TEST(ParseEdidBinary, ShortInputKeepsFFAndLongInputIsCut) {
    const EdidImage shortImage = parseEdidBinary(std::string("\x00\x01\x02", 3));
    EXPECT_EQ(shortImage[0], 0x00);
    EXPECT_EQ(shortImage[2], 0x02);
    EXPECT_EQ(shortImage[3], 0xFF);
    EXPECT_EQ(shortImage[255], 0xFF);
    std::string longInput(300, '\x11');
    longInput[255] = '\x22';
    const EdidImage longImage = parseEdidBinary(longInput);
    EXPECT_EQ(longImage[255], 0x22);
}

// ---- Text form -------------------------------------------------------------------------------

TEST(FormatEdidText, IsSixteenLinesOfSixteenEntries) {
    const EdidImage image = test::EdidBuilder().finish();
    const std::string text = formatEdidText(image);
    ASSERT_EQ(text.size(), 784U);
    EXPECT_EQ(text.substr(0, 24), "00 FF FF FF FF FF FF 00 ");
    for (std::size_t line = 0; line < 16; ++line) {
        const std::string row = text.substr(line * 49, 49);
        EXPECT_EQ(row.substr(47), "\r\n") << line;
        EXPECT_NE(row[46], ' ') << line;  // no trailing space
    }
    EXPECT_EQ(formatEdidText(counting()).substr(0, 6), "FF FE ");
}

// ---- Reading files ---------------------------------------------------------------------------

TEST_F(EdidFilesTest, TextAndBinaryRoundTrip) {
    const auto saved = saveEdidFiles(dir_, counting());
    ASSERT_TRUE(saved) << saved.error();
    const auto fromText = readEdidFile(saved.value().textFile);
    const auto fromBinary = readEdidFile(saved.value().binaryFile);
    ASSERT_TRUE(fromText);
    ASSERT_TRUE(fromBinary);
    EXPECT_EQ(fromText.value(), counting());
    EXPECT_EQ(fromBinary.value(), counting());
    EXPECT_EQ(fs::file_size(saved.value().textFile), 784U);
    EXPECT_EQ(fs::file_size(saved.value().binaryFile), 256U);
}

TEST_F(EdidFilesTest, TextFileOf128NumbersLeavesTheRestFF) {
    const std::string block0 = formatEdidText(test::EdidBuilder().finish()).substr(0, 8 * 49);
    const auto image = readEdidFile(write("half.txt", block0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image.value()[0], 0x00);
    EXPECT_EQ(image.value()[1], 0xFF);
    EXPECT_EQ(image.value()[18], 0x01);
    for (std::size_t i = 128; i < 256; ++i) {
        ASSERT_EQ(image.value()[i], 0xFF) << i;
    }
}

struct ReadFailure {
    const char* name;
    const char* fileName;
    bool create;
    std::string_view message;
};

const ReadFailure kReadFailures[] = {
    {"MissingText", "absent.txt", false, kEdidReadFailed},
    // The file is opened before its extension is looked at.
    {"MissingOtherExtension", "absent.doc", false, kEdidReadFailed},
    {"CapitalTxt", "edid.TXT", true, kEdidNotBinOrTxt},
    {"CapitalBin", "edid.BIN", true, kEdidNotBinOrTxt},
    {"OtherExtension", "edid.hex", true, kEdidNotBinOrTxt},
    {"NoExtension", "edid", true, kEdidNotBinOrTxt},
    {"OnlyTheLastDotCounts", "edid.txt.bak", true, kEdidNotBinOrTxt},
};

class ReadEdidFileFailure : public EdidFilesTest,
                            public testing::WithParamInterface<ReadFailure> {};

TEST_P(ReadEdidFileFailure, GivesThePageMessage) {
    const fs::path path =
        GetParam().create ? write(GetParam().fileName, "00 FF FF") : dir_ / GetParam().fileName;
    const auto image = readEdidFile(path);
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Edid, ReadEdidFileFailure, testing::ValuesIn(kReadFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EdidFilesTest, DirectoryNamedLikeAnEdidFileCannotBeRead) {
    fs::create_directory(dir_ / "folder.bin");
    const auto image = readEdidFile(dir_ / "folder.bin");
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error(), kEdidReadFailed);
}

TEST_F(EdidFilesTest, DotInFolderNameIsNotTheExtension) {
    fs::create_directory(dir_ / "v1.txt");
    const auto image = readEdidFile(write("v1.txt/edid", "00"));
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error(), kEdidNotBinOrTxt);
}

TEST_F(EdidFilesTest, EndlessFileReadsOnlyWhatTheScanNeeds) {
    fs::create_symlink("/dev/zero", dir_ / "zeros.txt");
    fs::create_symlink("/dev/zero", dir_ / "zeros.bin");
    const auto text = readEdidFile(dir_ / "zeros.txt");  // a 0 byte is not a number: nothing read
    const auto binary = readEdidFile(dir_ / "zeros.bin");
    ASSERT_TRUE(text);
    ASSERT_TRUE(binary);
    EXPECT_EQ(text.value(), blankEdidImage());
    EXPECT_EQ(binary.value(), EdidImage{});
}

TEST_F(EdidFilesTest, NumberSplitAcrossReadBlocksIsOneNumber) {
    // Long white space puts "1AB" across the 4096-byte boundary of the file reader.
    const auto image = readEdidFile(write("split.txt", std::string(4094, ' ') + "1AB 0x\n2C"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image.value()[0], 0xAB);
    EXPECT_EQ(image.value()[1], 0x00);  // "0x" without digits
    EXPECT_EQ(image.value()[2], 0x2C);
    EXPECT_EQ(image.value()[3], 0xFF);
}

// ---- Naming and saving -----------------------------------------------------------------------

TEST_F(EdidFilesTest, NextFreeNameTakesTheFirstGap) {
    EXPECT_EQ(nextFreeEdidPath(dir_, ".txt"), dir_ / "RedIvo_EDID00.txt");
    write("RedIvo_EDID00.txt", "");
    write("RedIvo_EDID02.txt", "");
    EXPECT_EQ(nextFreeEdidPath(dir_, ".txt"), dir_ / "RedIvo_EDID01.txt");
    EXPECT_EQ(nextFreeEdidPath(dir_, ".bin"), dir_ / "RedIvo_EDID00.bin");
}

TEST_F(EdidFilesTest, AllHundredTakenGives99) {
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "RedIvo_EDID%02d.bin", n);
        write(name, "");
    }
    EXPECT_EQ(nextFreeEdidPath(dir_, ".bin"), dir_ / "RedIvo_EDID99.bin");
}

TEST_F(EdidFilesTest, SavingTwiceNumbers00Then01) {
    const auto first = saveEdidFiles(dir_, counting());
    const auto second = saveEdidFiles(dir_, counting());
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(edidSaveMessage(first.value()),
              "Save EDID data to .\\RedIvo_EDID00.txt and RedIvo_EDID00.bin");
    EXPECT_EQ(edidSaveMessage(second.value()),
              "Save EDID data to .\\RedIvo_EDID01.txt and RedIvo_EDID01.bin");
    EXPECT_EQ(entries(), (std::vector<std::string>{"RedIvo_EDID00.bin", "RedIvo_EDID00.txt",
                                                   "RedIvo_EDID01.bin", "RedIvo_EDID01.txt"}));
}

TEST_F(EdidFilesTest, SeriesNumberedIndependently) {
    ASSERT_TRUE(saveEdidFiles(dir_, counting()));
    ASSERT_TRUE(saveEdidFiles(dir_, counting()));
    fs::remove(dir_ / "RedIvo_EDID00.txt");
    const auto third = saveEdidFiles(dir_, counting());
    ASSERT_TRUE(third);
    EXPECT_EQ(edidSaveMessage(third.value()),
              "Save EDID data to .\\RedIvo_EDID00.txt and RedIvo_EDID02.bin");
}

TEST_F(EdidFilesTest, OverwritesNumber99WhenAllAreTaken) {
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "RedIvo_EDID%02d.txt", n);
        write(name, "an older and much longer content than the new text form of the image....");
    }
    const auto saved = saveEdidFiles(dir_, counting());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.value().textFile, dir_ / "RedIvo_EDID99.txt");
    EXPECT_EQ(contents(dir_ / "RedIvo_EDID99.txt"), formatEdidText(counting()));
}

TEST_F(EdidFilesTest, SaveLeavesNoTemporaryFileBehind) {
    ASSERT_TRUE(saveEdidFiles(dir_, counting()));
    EXPECT_EQ(entries(), (std::vector<std::string>{"RedIvo_EDID00.bin", "RedIvo_EDID00.txt"}));
}

TEST_F(EdidFilesTest, SaveIntoMissingDirectoryFailsWithCreateMessage) {
    const auto saved = saveEdidFiles(dir_ / "absent", counting());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), kEdidCreateFailed);
}

TEST_F(EdidFilesTest, FailedReplaceKeepsTargetAndLeavesNoTemporary) {
    // A directory in the way makes the final rename fail after the bytes were written.
    fs::create_directory(dir_ / "RedIvo_EDID00.txt");
    write("RedIvo_EDID00.txt/keep", "kept");
    const auto written = writeFileAtomically(dir_ / "RedIvo_EDID00.txt", "new");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), kEdidCreateFailed);
    EXPECT_EQ(contents(dir_ / "RedIvo_EDID00.txt" / "keep"), "kept");
    EXPECT_EQ(entries(), (std::vector<std::string>{"RedIvo_EDID00.txt"}));
}

TEST_F(EdidFilesTest, BinaryFailureKeepsTheTextFile) {
    // Every binary name is taken by a directory, so number 99 is chosen and cannot be replaced.
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "RedIvo_EDID%02d.bin", n);
        fs::create_directory(dir_ / name);
    }
    const auto saved = saveEdidFiles(dir_, counting());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error(), kEdidCreateFailed);
    EXPECT_EQ(contents(dir_ / "RedIvo_EDID00.txt"), formatEdidText(counting()));
}

}  // namespace
}  // namespace krx
