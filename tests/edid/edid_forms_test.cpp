// SPDX-License-Identifier: MIT
// The forms an EDID is pasted in: each written and read back, the spellings people paste, and
// every kind of bad text refused with its line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "edid/edid_files.h"
#include "edid/edid_forms.h"

namespace krx {
namespace {

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// The golden television round trips through every form; each form starts as its rule says.
TEST(EdidForms, EveryFormReadsBackTheSameBytes) {
    std::ifstream file(std::filesystem::path(KRX_EDID_DATA_DIR) / "tv_4k_hdmi20.bin");
    const std::string raw{std::istreambuf_iterator<char>(file), {}};
    const EdidImage tv = parseEdidBinary(raw);
    const std::pair<EdidForm, std::string> rows[] = {
        {EdidForm::Hex, "00FFFFFFFFFFFF00"},
        {EdidForm::CArray,
         "static const unsigned char edid[256] = {\n    0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, "
         "0x00,"},
        {EdidForm::Base64, "AP///////wA"},
        {EdidForm::Binary, raw},
    };
    for (const auto& [form, start] : rows) {
        const std::string text = formatEdid(tv, form);
        EXPECT_EQ(text.substr(0, start.size()), start);
        if (form == EdidForm::Binary)
            continue;  // its start is the whole file
        const auto back = parseEdidForms(text);
        ASSERT_TRUE(back) << back.error();
        EXPECT_EQ(back.value(), tv) << text;
    }
}

TEST(EdidForms, BadTextIsRefusedByItsLine) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "line 1: no EDID bytes; an EDID here is 128 or 256 bytes"},
        {"00FF\n\nFF GG", "line 3: \"GG\" is not hexadecimal"},
        {"00FF\nFFF", "line 2: \"FFF\" has an odd number of digits"},
        {repeated("00\n", 100),
         "line 100: the EDID ends after 100 bytes; an EDID here is 128 or "
         "256 bytes"},
        {repeated(repeated("00", 16) + "\n", 16) + "01", "line 17: more than 256 bytes"},
        {"e[] = {\n0x00,\n", "line 3: the array has no closing \"}\""},
        {"{ 0x00,\n256 }", "line 2: \"256\" is not a byte (0x00 to 0xFF or 0 to 255)"},
        {"0x00,,0x01", "line 1: a comma without a byte before it"},
        {"{\n/* 0x00", "line 2: a \"/*\" comment is not closed"},
        {"{ 0x00; }", "line 1: \";\" does not belong in the array"},
        {"0x00 }", "line 1: \"}\" without \"{\""},
        {"AP///\n///wA*", "line 2: \"*\" is not a base64 character"},
        {"AP//\n\x01", "line 2: \"\\x01\" is not a base64 character"},
        {"AP//=", "line 1: \"=\" where no base64 padding can be"},
        {"AP8=AP8=", "line 1: base64 text after its \"=\" padding"},
        {"AP//\nA", "line 2: the base64 text ends in the middle of a byte"},
    };
    for (const auto& [text, message] : rows) {
        const auto image = parseEdidForms(text);
        ASSERT_FALSE(image) << text;
        EXPECT_EQ(image.error().substr(0, message.size()), message) << text;
    }
}

}  // namespace
}  // namespace krx
