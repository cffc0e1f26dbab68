// SPDX-License-Identifier: MIT
// The forms an EDID is pasted in: every kind of bad text refused with its line. (Each form written
// and read back, and the spellings people paste, are corpus files in data/.)
#include <gtest/gtest.h>

#include <string>

#include "edid/edid_forms.h"

namespace krx {
namespace {

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
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
