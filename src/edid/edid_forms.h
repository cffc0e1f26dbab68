// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "edid/edid_decoder.h"
#include "edid/edid_result.h"

namespace krx {

// The forms an EDID is passed around in outside the console: a hex dump without offsets, a C
// array, base64 and the raw bytes.
enum class EdidForm { Hex, CArray, Base64, Binary };

// "hex", "c", "base64" or "bin"; nullopt for any other name.
std::optional<EdidForm> edidFormByName(std::string_view name);

// The 256 bytes of `image` in `form`:
//   Hex     16 lines of 32 uppercase digits (16 bytes a line, no offsets, no spaces)
//   CArray  "static const unsigned char edid[256] = {", 16 lines of 16 "0xXX," entries, "};"
//   Base64  the standard alphabet with "=" padding, in lines of at most 76 characters
//   Binary  the bytes themselves
// Every text form ends its last line with LF.
std::string formatEdid(const EdidImage& image, EdidForm form);

// Reads an EDID pasted as text in any of the three text forms, told apart by the text itself:
// a '{' anywhere, or a first item that starts with "0x" or is followed by a comma, makes a C array;
// otherwise the text is a hex dump (bytes as pairs of digits, with or without white space
// between them) or base64 (padding optional), whichever of the two reads, as no text reads as
// both; when neither does, the failure shown is the hex dump's if the first item is hexadecimal
// digits only, else the base64's. A UTF-8 byte-order mark is skipped. The text must hold exactly
// 128 or 256 bytes: a 128-byte EDID fills bytes 128-255 with 0xFF. Anything else fails with "line
// N: why", N counting from 1, and nothing is read.
EdidResult<EdidImage> parseEdidForms(std::string_view text);

// Only the hex dump of parseEdidForms, by the same rules.
EdidResult<EdidImage> parseEdidHexDump(std::string_view text);

// True when the text starts (after white space) with a run of four or more hexadecimal digits:
// a packed hex dump, which a scan for separate numbers would misread.
bool startsAsPackedHexDump(std::string_view text);

}  // namespace krx
