// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace krx {

// Value of one hexadecimal digit, either case; 16 for any other character.
int hexDigitValue(char c);

// One byte from a text of one digit, or of two where a space on either side stands for nothing
// ("5", " 5" and "5 " are 0x05). Any other length or a non-digit fails and leaves `out` untouched.
bool parseHexByte(std::string_view text, std::uint8_t& out);

// Bytes from digit pairs, spaces between pairs skipped. The walk stops at the first pair that is
// cut short or holds a non-digit; what came before it is kept.
std::vector<std::uint8_t> parseHexBytes(std::string_view text);

// Upper-case digits, most significant first.
std::string formatHex2(std::uint8_t value);
std::string formatHex4(std::uint16_t value);

}  // namespace krx
