// SPDX-License-Identifier: MIT
// The address book: hex helpers, the SG.ini format both ways, the address table's rules, where
// the file lives, and the file itself in scratch directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "address/address_book.h"
#include "address/hex_text.h"
#include "support/files.h"

namespace krx {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Messages = std::vector<std::string>;

TEST(HexText, DigitsBytesAndFormats) {
    struct ByteRow {
        const char* text;
        int expected;  // -1: refused, the output keeps its 0x77
    };
    const ByteRow bytes[] = {
        {"5", 0x05}, {"12", 0x12}, {"10", 0x10}, {" 5", 0x05}, {"5 ", 0x05}, {"aB", 0xAB},
        {"", -1},    {"123", -1},  {"G1", -1},   {"1G", -1},   {"  ", -1},   {"g", -1},
    };
    for (const ByteRow& row : bytes) {
        std::uint8_t out = 0x77;
        EXPECT_EQ(parseHexByte(row.text, out), row.expected >= 0) << row.text;
        EXPECT_EQ(out, row.expected >= 0 ? row.expected : 0x77) << row.text;
    }
    struct BytesRow {
        const char* text;
        std::vector<std::uint8_t> expected;
    };
    const BytesRow sequences[] = {
        {"01 02", {0x01, 0x02}}, {" ab ", {0xAB}}, {"5", {}},        {"123", {0x12}},
        {"12G4", {0x12}},        {"1 2", {}},      {"0102", {1, 2}}, {"", {}},
    };
    for (const BytesRow& row : sequences)
        EXPECT_EQ(parseHexBytes(row.text), row.expected) << row.text;
    EXPECT_EQ(hexDigitValue('f'), 15);
    EXPECT_EQ(hexDigitValue('/'), 16);
    EXPECT_EQ(formatHex2(0x0A), "0A");
    EXPECT_EQ(formatHex4(0x0A0B), "0A0B");
}

TEST(SgIniFormat, DefaultFileIs290BytesAndLoadsAsBlankEntries) {
    const std::string file = defaultSgIni();
    EXPECT_EQ(file.size(), 290u);
    EXPECT_EQ(file.find('\0'), std::string::npos);
    EXPECT_EQ(file.substr(0, 12), "0000 0000 00");
    EXPECT_EQ(file.substr(155, 9), "0000 \r\n* ");
    std::size_t lines = 0;
    for (std::size_t at = 160; at + 4 <= file.size(); at += 4)
        lines += file.compare(at, 4, "\r\n* ") == 0 ? 1u : 0u;
    EXPECT_EQ(lines, 32u);
    EXPECT_EQ(file.substr(286), "* \r\n");
    AddressEntries entries;
    parseSgIni(file, entries);
    for (const AddressEntry& entry : entries)
        EXPECT_EQ(entry, (AddressEntry{0x0000, " "}));
}

TEST(SgIniFormat, SavedBookReadsBackTheSame) {
    AddressEntries entries;
    entries[2] = {0x1234, "abc"};
    entries[4] = {0xFEFE, "0123456789"};  // exactly ten: the next line's "*" is still found
    entries[5] = {0x0102, "*x*"};
    entries[6].description.clear();  // saved as one blank
    const std::string file = formatSgIni(entries);
    EXPECT_EQ(file.substr(0, 20), "0000 0000 1234 0000 ");
    EXPECT_EQ(file.substr(160, 2), "\r\n");
    EXPECT_EQ(file.substr(162 + 2 * 14, 8), "*abc\0\r\n*"s) << "line 4";
    AddressEntries loaded;
    parseSgIni(file, loaded);
    entries[6].description = " ";
    EXPECT_EQ(loaded, entries);
}

TEST(SgIniFormat, ReadsHandEditedFiles) {
    struct Row {
        const char* name;
        std::string file;
        std::vector<std::pair<std::size_t, AddressEntry>> expected;
    };
    const std::string blank(10, ' ');
    const Row rows[] = {
        {"lower-case digits and 0x",
         "abcd 0x12eF\n*x\0\r\n"s,
         {{0, {0xABCD, "x"}}, {1, {0x12EF, blank}}, {2, {0, blank}}}},
        {"five digits keep the low sixteen bits",
         "12345 -1",
         {{0, {0x2345, blank}}, {1, {0xFFFF, blank}}}},
        {"a non-hex number ends the numbers",
         "0001 zz 0003\r\n*a\r\n",
         {{0, {0x0001, "a"}}, {1, {0, blank}}, {2, {0, blank}}}},
        {"long description cut at ten",
         "1\r\n*ABCDEFGHIJKL\r\n*next\r\n",
         {{0, {1, "ABCDEFGHIJ"}}, {1, {0, "next"}}}},
        {"no star within fifty characters",
         "1\r\n" + std::string(50, '-') + "0123456789*x",
         {{0, {1, "0123456789"}}, {1, {0, "x"}}}},
        {"star at the very end", "1 *", {{0, {1, ""}}, {1, {0, blank}}}},
    };
    for (const Row& row : rows) {
        AddressEntries entries;
        entries[0].address = 0x7777;
        parseSgIni(row.file, entries);
        for (const auto& [index, entry] : row.expected)
            EXPECT_EQ(entries[index], entry) << row.name << ", entry " << index + 1;
    }
}

TEST(AddressTable, StoresRowsUntilABoxIsTooLong) {
    AddressEntries entries;
    for (AddressEntry& entry : entries)
        entry = {0xA1B2, "old"};
    std::array<AddressTableRow, kAddressEntryCount> rows;
    for (AddressTableRow& row : rows)
        row = {"01", "02", "dev"};
    rows[0] = {"12", "34", ""};
    rows[1] = {"", "zz", "ABCDEFGHIJKL"};  // both boxes keep the entry's bytes
    rows[2] = {" 5", "", "x"};

    EXPECT_EQ(storeAddressTable(entries, rows), std::nullopt);
    EXPECT_EQ(entries[0], (AddressEntry{0x1234, " "}));
    EXPECT_EQ(entries[1], (AddressEntry{0xA1B2, "ABCDEFGHIJ"}));
    EXPECT_EQ(entries[2], (AddressEntry{0x05B2, "x"}));
    EXPECT_EQ(entries[31], (AddressEntry{0x0102, "dev"}));
    EXPECT_EQ(rows[0].description, " ");
    EXPECT_EQ(rows[1].description, "ABCDEFGHIJ");

    rows[4].device = "123";
    rows[5].group = "FF";
    for (AddressEntry& entry : entries)
        entry = {0xA1B2, "old"};
    EXPECT_EQ(storeAddressTable(entries, rows), 4u);
    EXPECT_EQ(entries[3], (AddressEntry{0x0102, "old"})) << "rows before it are taken";
    EXPECT_EQ(entries[5], (AddressEntry{0xA1B2, "old"}));
    EXPECT_EQ(tooLongRowMessage(4), "Index No. 04 is more than 2 HEX digital");
    EXPECT_EQ(tooLongRowMessage(31), "Index No. 1F is more than 2 HEX digital");
}

// A new address: both bytes 01..FE, or both 00 to delete the address.
TEST(AddressTable, WritablePairs) {
    const std::tuple<std::uint8_t, std::uint8_t, bool> rows[] = {
        {0x01, 0x02, true},  {0xFE, 0xFE, true},  {0x00, 0x00, true},  {0x00, 0x05, false},
        {0x05, 0x00, false}, {0xFF, 0x01, false}, {0x01, 0xFF, false},
    };
    for (const auto& [group, device, writable] : rows)
        EXPECT_EQ(isWritableAddressPair(group, device), writable) << +group << ' ' << +device;
}

TEST(SgIniLocation, BesideTheProgramWhenItCanBeWrittenThereElseTheUsers) {
    const fs::path exe = "/opt/krx/bin", beside = exe / "SG.ini";
    const fs::path xdg = "/x/cfg/krx-vtp-sg/SG.ini", home = "/home/op/.config/krx-vtp-sg/SG.ini";
    constexpr PathFacts kWritable{true, true}, kReadOnly{true, false};
    struct Row {
        const char* name;
        SettingsEnvironment environment;
        std::map<fs::path, PathFacts> files;  // the rest does not exist
        SgIniLocation expected;
    };
    const Row rows[] = {
        {"PortableFolder", {"/x/cfg", "/home/op"}, {{exe, kWritable}}, {beside, beside}},
        {"WritableBookInAReadOnlyFolder", {"/x/cfg", ""}, {{beside, kWritable}}, {beside, beside}},
        {"InstalledProgram", {"/x/cfg", "/home/op"}, {{exe, kReadOnly}}, {xdg, xdg}},
        {"NoXdgConfigHome", {"", "/home/op"}, {{exe, kReadOnly}}, {home, home}},
        {"RelativeXdgConfigHomeIgnored", {"cfg", "/home/op"}, {}, {home, home}},
        {"ReadOnlyBookRead",
         {"/x/cfg", ""},
         {{exe, kWritable}, {beside, kReadOnly}},
         {beside, xdg}},
        {"UsersBookOnceSaved", {"/x/cfg", ""}, {{beside, kReadOnly}, {xdg, kWritable}}, {xdg, xdg}},
        {"NoHomeAtAll", {"", "relative"}, {{exe, kReadOnly}}, {beside, beside}},
    };
    for (const Row& row : rows) {
        const auto probe = [&row](const fs::path& path) {
            const auto found = row.files.find(path);
            return found == row.files.end() ? PathFacts{} : found->second;
        };
        EXPECT_EQ(locateSgIni(exe, row.environment, probe), row.expected) << row.name;
    }
}

// SG.ini on disk, each case in its own scratch directory.
class SgIniFileTest : public ::testing::Test {
  protected:
    fs::path ini() const { return dir_ / "SG.ini"; }
    std::string contents() const { return testing::fileContents(ini()); }

    const testing::ScratchDir scratch_;
    const fs::path& dir_ = scratch_.path();
};

// Then made read-only, as an installed program's: read at start-up, saved to the user's file.
TEST_F(SgIniFileTest, MissingFileIsCreatedAndAReadOnlyOneIsSavedToTheUsersFile) {
    AddressBook book(dir_);
    EXPECT_EQ(book.load(), Messages{});
    EXPECT_EQ(contents(), defaultSgIni());
    EXPECT_EQ(book.entries[0], (AddressEntry{0, " "}));
    book.entries[2] = {0x1234, "abc"};
    EXPECT_EQ(book.save(), Messages{});
    const std::string saved = formatSgIni(book.entries);
    EXPECT_EQ(contents(), saved);

    ::chmod(ini().c_str(), 0444);
    const fs::path users = dir_ / "cfg" / "krx-vtp-sg";
    const auto located = [this] {
        return locateSgIni(dir_, {(dir_ / "cfg").string(), ""}, probePath);
    };
    AddressBook installed(located());
    EXPECT_EQ(installed.location(), (SgIniLocation{ini(), users / "SG.ini"}));
    EXPECT_EQ(installed.load(), Messages{});
    EXPECT_EQ(installed.entries, book.entries);
    installed.entries[3] = {0x0304, "mine"};
    EXPECT_EQ(installed.save(), Messages{});
    EXPECT_EQ(contents(), saved);
    EXPECT_EQ(fs::status(users).permissions(), fs::perms::owner_all);
    AddressBook again(located());
    EXPECT_EQ(again.load(), Messages{});
    EXPECT_EQ(again.entries, installed.entries);
    EXPECT_EQ(book.save(), Messages{iniSaveFailedMessage(ini(), "write-protected")});
}

TEST_F(SgIniFileTest, UnreadableFileLeavesTheEntriesAsTheyWere) {
    const AddressEntries before;
    {
        ASSERT_EQ(::mkfifo(ini().c_str(), 0600), 0);  // must not block the start-up
        AddressBook book(dir_);
        EXPECT_EQ(book.load(), Messages{std::string(kIniReadFailedMessage)});
        EXPECT_EQ(book.entries, before);
    }
    std::ofstream(dir_ / "file") << "";
    const fs::path nowhere = dir_ / "file" / "SG.ini";  // the messages name the file and why
    AddressBook book(dir_ / "file");
    EXPECT_EQ(book.load(), (Messages{iniCreateFailedMessage(nowhere, "not a directory"),
                                     std::string(kIniReadFailedMessage)}));
    EXPECT_EQ(book.entries, before);
    EXPECT_EQ(book.save(), Messages{"Cannot save the address book to " + nowhere.string() +
                                    ": not a directory"});
}

}  // namespace
}  // namespace krx
