// SPDX-License-Identifier: MIT
// The book's pure rules: selector texts, the SG.ini format both ways and the address table.
#include <cctype>

#include "address/address_book.h"
#include "address/hex_text.h"

namespace krx {
namespace {

constexpr std::size_t kStarSearchLength = 50;
constexpr std::size_t kMaxHexBoxLength = 2;

// SG.ini was read in text mode, where CR LF is one line end; later counts rely on that.
std::string joinLineEnds(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text.push_back(bytes[i]);
    }
    return text;
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isHexDigit(char c) {
    return hexDigitValue(c) < 16;
}

// One "%x" conversion at `pos`: blanks skipped, an optional sign and "0x", then the digits, kept
// modulo 2^32 as an unsigned int would. Empty when no digit follows; `pos` then stays at the
// character that stopped it, so every later conversion fails there too.
std::optional<std::uint32_t> scanHex(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    std::size_t at = pos;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    if (at + 2 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
        isHexDigit(text[at + 2]))
        at += 2;
    if (at >= text.size() || !isHexDigit(text[at]))
        return std::nullopt;
    std::uint32_t value = 0;
    for (; at < text.size() && isHexDigit(text[at]); ++at)
        value = value * 16 + static_cast<std::uint32_t>(hexDigitValue(text[at]));
    pos = at;
    return negative ? 0 - value : value;
}

}  // namespace

std::string addressItemText(std::size_t index, const AddressEntry& entry) {
    return std::string(kAddressLabels.at(index)) + formatHex4(entry.address) + ": " +
           entry.description;
}

std::string formatSgIni(const AddressEntries& entries) {
    std::string text;
    for (const AddressEntry& entry : entries)
        text += formatHex4(entry.address) + ' ';
    text += "\r\n";
    for (const AddressEntry& entry : entries) {
        const std::string description = entry.description.substr(0, kDescriptionLength);
        text += '*';
        text += description.empty() ? std::string(" ") : description;
        text += '\0';
        text += "\r\n";
    }
    return text;
}

std::string defaultSgIni() {
    std::string text;
    for (std::size_t i = 0; i < kAddressEntryCount; ++i)
        text += "0000 ";
    for (std::size_t i = 0; i < kAddressEntryCount; ++i)
        text += "\r\n* ";
    return text + "\r\n";
}

void parseSgIni(std::string_view bytes, AddressEntries& entries) {
    const std::string text = joinLineEnds(bytes);
    for (AddressEntry& entry : entries)
        entry.description.assign(kDescriptionLength, ' ');

    std::size_t pos = 0;
    for (AddressEntry& entry : entries)
        entry.address = static_cast<std::uint16_t>(scanHex(text, pos).value_or(0) & 0xFFFF);

    for (AddressEntry& entry : entries) {
        bool starFound = false;
        for (std::size_t searched = 0; searched < kStarSearchLength && pos < text.size();
             ++searched) {
            if (text[pos++] == '*') {
                starFound = true;
                break;
            }
        }
        if (!starFound && pos >= text.size())
            continue;
        std::string description;
        while (description.size() < kDescriptionLength && pos < text.size()) {
            const char c = text[pos++];
            if (c == '\r' || c == '\n')
                break;
            description.push_back(c);
        }
        // The description was a C string: a NUL ends it.
        entry.description = description.substr(0, description.find('\0'));
    }
}

std::optional<std::size_t> storeAddressTable(AddressEntries& entries,
                                             std::span<AddressTableRow, kAddressEntryCount> rows) {
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        const AddressTableRow& row = rows[n];
        if (row.group.size() > kMaxHexBoxLength || row.device.size() > kMaxHexBoxLength)
            return n;
        std::uint8_t group = entries[n].group();
        std::uint8_t device = entries[n].device();
        parseHexByte(row.group, group);
        parseHexByte(row.device, device);
        entries[n].address = static_cast<std::uint16_t>(group << 8 | device);
    }
    for (std::size_t n = 0; n < kAddressEntryCount; ++n) {
        std::string& description = rows[n].description;
        if (description.empty())
            description = " ";
        if (description.size() > kDescriptionLength)
            description.resize(kDescriptionLength);
        entries[n].description = description;
    }
    return std::nullopt;
}

std::string tooLongRowMessage(std::size_t rowIndex) {
    return "Index No. " + formatHex2(static_cast<std::uint8_t>(rowIndex)) +
           " is more than 2 HEX digital";
}

}  // namespace krx
