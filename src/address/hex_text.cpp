// SPDX-License-Identifier: MIT
#include "address/hex_text.h"

namespace krx {
namespace {

constexpr int kNotHex = 16;
constexpr char kDigits[] = "0123456789ABCDEF";

}  // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return kNotHex;
}

bool parseHexByte(std::string_view text, std::uint8_t& out) {
    if (text.size() != 1 && text.size() != 2)
        return false;
    // A lone digit, or a pair where a blank on either side stands for nothing.
    if (text.size() == 2 && text[0] != ' ' && text[1] != ' ') {
        const int high = hexDigitValue(text[0]);
        const int low = hexDigitValue(text[1]);
        if (high == kNotHex || low == kNotHex)
            return false;
        out = static_cast<std::uint8_t>(high * 16 + low);
        return true;
    }
    const int digit = hexDigitValue(text.size() == 1 || text[0] == ' ' ? text.back() : text[0]);
    if (digit == kNotHex)
        return false;
    out = static_cast<std::uint8_t>(digit);
    return true;
}

std::vector<std::uint8_t> parseHexBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        if (i + 1 >= text.size())
            break;
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high == kNotHex || low == kNotHex)
            break;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        ++i;
    }
    return bytes;
}

std::string formatHex2(std::uint8_t value) {
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string formatHex4(std::uint16_t value) {
    return formatHex2(static_cast<std::uint8_t>(value >> 8)) +
           formatHex2(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace krx
