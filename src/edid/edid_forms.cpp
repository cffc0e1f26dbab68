// SPDX-License-Identifier: MIT
#include "edid/edid_forms.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "edid/edid_files.h"
#include "edid/text_chars.h"

namespace krx {
namespace {

using Result = EdidResult<EdidImage>;

constexpr std::size_t kBlockBytes = 128;
constexpr std::size_t kBytesPerLine = 16;
constexpr std::size_t kBase64LineChars = 76;
constexpr std::size_t kShownItemChars = 16;
constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kSizeRule = "an EDID here is 128 or 256 bytes";

using edid_chars::hexValue;
using edid_chars::isSpace;

bool allHexDigits(std::string_view text) {
    for (const char c : text) {
        if (hexValue(c) < 0)
            return false;
    }
    return true;
}

bool isWordChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

Result failure(int line, std::string_view why) {
    return Result::failure("line " + std::to_string(line) + ": " + std::string(why));
}

// An item of the input as a message quotes it: cut after 16 characters, bytes that do not print
// as \xNN, so that a pasted binary cannot garble the message.
std::string shown(std::string_view item) {
    std::string out = "\"";
    for (std::size_t i = 0; i < item.size() && i < kShownItemChars; ++i) {
        const auto c = static_cast<unsigned char>(item[i]);
        if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kUpperDigits[c >> 4];
            out += kUpperDigits[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + (item.size() > kShownItemChars ? "...\"" : "\"");
}

// The bytes read so far and the line of the last one, for the size check at the end.
class ByteSink {
  public:
    // False when the byte would be one more than the image holds.
    bool add(std::uint8_t byte, int line) {
        if (count_ == image_.size())
            return false;
        image_[count_++] = byte;
        lastLine_ = line;
        return true;
    }

    Result finish() const {
        if (count_ == kBlockBytes || count_ == kEdidSize)
            return Result::success(image_);
        if (count_ == 0)
            return failure(lastLine_, "no EDID bytes; " + std::string(kSizeRule));
        return failure(lastLine_, "the EDID ends after " + std::to_string(count_) +
                                      (count_ == 1 ? " byte; " : " bytes; ") +
                                      std::string(kSizeRule));
    }

  private:
    EdidImage image_ = blankEdidImage();
    std::size_t count_ = 0;
    int lastLine_ = 1;
};

Result tooMany(int line) {
    return failure(line, "more than 256 bytes; " + std::string(kSizeRule));
}

// Characters with the number of the line they are on.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    std::string_view rest() const { return text_.substr(pos_); }
    int line() const { return line_; }
    void advance() {
        if (text_[pos_++] == '\n')
            ++line_;
    }
    void skipSpace() {
        while (!atEnd() && isSpace(peek()))
            advance();
    }
    // The run of characters from here that `belongs` accepts.
    template <typename Predicate>
    std::string_view take(Predicate belongs) {
        const std::size_t start = pos_;
        while (!atEnd() && belongs(peek()))
            advance();
        return text_.substr(start, pos_ - start);
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

Result parseHexDumpText(std::string_view text) {
    Cursor cursor(text);
    ByteSink bytes;
    for (cursor.skipSpace(); !cursor.atEnd(); cursor.skipSpace()) {
        const int line = cursor.line();
        const std::string_view item = cursor.take([](char c) { return !isSpace(c); });
        if (!allHexDigits(item))
            return failure(line, shown(item) + " is not hexadecimal");
        if (item.size() % 2 != 0)
            return failure(line, shown(item) + " has an odd number of digits");
        for (std::size_t i = 0; i < item.size(); i += 2) {
            const auto byte =
                static_cast<std::uint8_t>(hexValue(item[i]) * 16 + hexValue(item[i + 1]));
            if (!bytes.add(byte, line))
                return tooMany(line);
        }
    }
    return bytes.finish();
}

// Skips white space and C comments. Returns the line of a "/*" that is not closed, else 0.
int skipSpaceAndComments(Cursor& cursor) {
    for (;;) {
        cursor.skipSpace();
        const std::string_view rest = cursor.rest();
        if (rest.starts_with("//")) {
            cursor.take([](char c) { return c != '\n'; });
        } else if (rest.starts_with("/*")) {
            const std::size_t end = rest.find("*/", 2);
            if (end == std::string_view::npos)
                return cursor.line();
            for (std::size_t i = 0; i < end + 2; ++i)
                cursor.advance();
        } else {
            return 0;
        }
    }
}

// "0x" with one or two hexadecimal digits, or a decimal number up to 255.
std::optional<std::uint8_t> arrayByte(std::string_view item) {
    if (item.starts_with("0x") || item.starts_with("0X")) {
        const std::string_view digits = item.substr(2);
        if (digits.empty() || digits.size() > 2 || !allHexDigits(digits))
            return std::nullopt;
        int value = 0;
        for (const char c : digits)
            value = value * 16 + hexValue(c);
        return static_cast<std::uint8_t>(value);
    }
    if (item.empty() || item.size() > 3)
        return std::nullopt;
    int value = 0;
    for (const char c : item) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value <= 0xFF ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(value))
                         : std::nullopt;
}

// The declaration up to the first "{" is passed over; what follows the closing "}" (a ";", the
// length variable some dump programs add) is not looked at. Without braces the text is the list.
Result parseCArrayText(std::string_view text) {
    Cursor cursor(text);
    const bool braced = text.find('{') != std::string_view::npos;
    if (braced) {
        cursor.take([](char c) { return c != '{'; });
        cursor.advance();
    }
    ByteSink bytes;
    bool afterComma = false;
    bool anyItem = false;
    for (;;) {
        if (const int open = skipSpaceAndComments(cursor); open != 0)
            return failure(open, "a \"/*\" comment is not closed");
        if (cursor.atEnd()) {
            if (braced)
                return failure(cursor.line(), "the array has no closing \"}\"");
            break;
        }
        const int line = cursor.line();
        const char c = cursor.peek();
        if (c == '}') {
            if (!braced)
                return failure(line, "\"}\" without \"{\"");
            break;
        }
        if (c == ',') {
            if (afterComma || !anyItem)
                return failure(line, "a comma without a byte before it");
            afterComma = true;
            cursor.advance();
            continue;
        }
        const std::string_view item = cursor.take(isWordChar);
        if (item.empty())
            return failure(line,
                           shown(cursor.rest().substr(0, 1)) + " does not belong in the array");
        const auto byte = arrayByte(item);
        if (!byte)
            return failure(line, shown(item) + " is not a byte (0x00 to 0xFF or 0 to 255)");
        if (!bytes.add(*byte, line))
            return tooMany(line);
        anyItem = true;
        afterComma = false;
    }
    return bytes.finish();
}

// White space anywhere; "=" padding optional, but nothing after it.
Result parseBase64Text(std::string_view text) {
    Cursor cursor(text);
    ByteSink bytes;
    unsigned bits = 0;
    int bitCount = 0;
    int groupChars = 0;  // characters of the current group of four, padding included
    bool padded = false;
    for (cursor.skipSpace(); !cursor.atEnd(); cursor.skipSpace()) {
        const int line = cursor.line();
        const char c = cursor.peek();
        cursor.advance();
        if (c == '=') {
            if (groupChars < 2)
                return failure(line, "\"=\" where no base64 padding can be");
            padded = true;
            groupChars = (groupChars + 1) % 4;
            continue;
        }
        if (padded)
            return failure(line, "base64 text after its \"=\" padding");
        const std::size_t value = kBase64Alphabet.find(c);
        if (value == std::string_view::npos)
            return failure(line, shown(std::string_view(&c, 1)) + " is not a base64 character");
        bits = ((bits << 6) | static_cast<unsigned>(value)) & 0xFFFFU;
        bitCount += 6;
        groupChars = (groupChars + 1) % 4;
        if (bitCount >= 8) {
            bitCount -= 8;
            if (!bytes.add(static_cast<std::uint8_t>(bits >> bitCount), line))
                return tooMany(line);
        }
    }
    if (groupChars == 1)
        return failure(cursor.line(), "the base64 text ends in the middle of a byte");
    return bytes.finish();
}

}  // namespace

std::optional<EdidForm> edidFormByName(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, EdidForm>, 4> kNames = {{
        {"hex", EdidForm::Hex},
        {"c", EdidForm::CArray},
        {"base64", EdidForm::Base64},
        {"bin", EdidForm::Binary},
    }};
    for (const auto& entry : kNames) {
        if (entry.first == name)
            return entry.second;
    }
    return std::nullopt;
}

std::string formatEdid(const EdidImage& image, EdidForm form) {
    std::string out;
    switch (form) {
        case EdidForm::Hex:
            for (std::size_t i = 0; i < image.size(); ++i) {
                out += kUpperDigits[image[i] >> 4];
                out += kUpperDigits[image[i] & 0x0F];
                if (i % kBytesPerLine == kBytesPerLine - 1)
                    out += '\n';
            }
            break;
        case EdidForm::CArray:
            out = "static const unsigned char edid[" + std::to_string(kEdidSize) + "] = {\n";
            for (std::size_t i = 0; i < image.size(); ++i) {
                out += i % kBytesPerLine == 0 ? "    0x" : " 0x";
                out += kUpperDigits[image[i] >> 4];
                out += kUpperDigits[image[i] & 0x0F];
                out += i % kBytesPerLine == kBytesPerLine - 1 ? ",\n" : ",";
            }
            out += "};\n";
            break;
        case EdidForm::Base64: {
            std::size_t lineChars = 0;
            for (std::size_t i = 0; i < image.size(); i += 3) {
                const std::size_t count = std::min<std::size_t>(3, image.size() - i);
                unsigned group = 0;
                for (std::size_t k = 0; k < 3; ++k)
                    group = (group << 8) | (k < count ? image[i + k] : 0U);
                for (std::size_t k = 0; k < 4; ++k) {
                    if (lineChars == kBase64LineChars) {
                        out += '\n';
                        lineChars = 0;
                    }
                    out += k <= count ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
                    ++lineChars;
                }
            }
            out += '\n';
            break;
        }
        case EdidForm::Binary:
            out.assign(reinterpret_cast<const char*>(image.data()), image.size());
            break;
    }
    return out;
}

EdidResult<EdidImage> parseEdidForms(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    if (text.find('{') != std::string_view::npos)
        return parseCArrayText(text);
    Cursor cursor(text);
    cursor.skipSpace();
    const std::string_view first = cursor.take([](char c) { return !isSpace(c) && c != ','; });
    if (first.starts_with("0x") || first.starts_with("0X") ||
        (!cursor.atEnd() && cursor.peek() == ','))
        return parseCArrayText(text);
    // A hex dump of 128 or 256 bytes has too many characters for base64 of that size, and the
    // other way round, so at most one of the two reads; the first item says whose fault to show
    // when neither does.
    auto hexDump = parseHexDumpText(text);
    if (hexDump)
        return hexDump;
    auto base64 = parseBase64Text(text);
    if (base64 || !allHexDigits(first))
        return base64;
    return hexDump;
}

EdidResult<EdidImage> parseEdidHexDump(std::string_view text) {
    return parseHexDumpText(text);
}

bool startsAsPackedHexDump(std::string_view text) {
    Cursor cursor(text);
    cursor.skipSpace();
    return cursor.take([](char c) { return hexValue(c) >= 0; }).size() >= 4;
}

}  // namespace krx
