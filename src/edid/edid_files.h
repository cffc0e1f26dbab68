// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "edid/edid_decoder.h"
#include "edid/edid_result.h"

namespace krx {

// Messages the EDID page shows for file failures, byte for byte.
inline constexpr std::string_view kEdidReadFailed = "File read failed";
inline constexpr std::string_view kEdidNotBinOrTxt = "It is not bin or txt file";
inline constexpr std::string_view kEdidCreateFailed = "Faild to create file";
inline constexpr std::string_view kEdidSaveMissing = "failed";

// An image of 256 0xFF bytes: what the page holds after a failed open, and the filler for bytes a
// short file does not supply.
EdidImage blankEdidImage();

// Up to 256 hexadecimal numbers as scanned by "%x": white space skipped, an optional sign
// (a minus negates modulo 2^32, as the scan does), an optional 0x/0X prefix, digits of either
// case. Number i is stored as its low 8 bits into byte i. Scanning stops at the end of the text or
// at the first item that is not a hexadecimal number; bytes not read are 0xFF. A lone "0x" with no
// digit after it reads as the number 0.
EdidImage parseEdidText(std::string_view text);

// Up to 256 bytes into bytes 0 onward; the rest 0xFF; bytes after the 256th are ignored.
EdidImage parseEdidBinary(std::string_view bytes);

// Opens an EDID file by the extension of its file name (the text after the last "."), compared
// case-sensitively: "txt" is parsed as text, "bin" as binary. The file is opened first, so a file
// that cannot be opened gives kEdidReadFailed whatever its extension; an opened file with another
// extension gives kEdidNotBinOrTxt; a file that is neither a regular file nor a character device
// (a directory, a FIFO) and a read error give kEdidReadFailed, without waiting for a writer. A
// text that starts as a packed hex dump (startsAsPackedHexDump) is read whole by
// parseEdidHexDump, all or nothing, a failure naming its line. On a failure the page holds
// blankEdidImage().
EdidResult<EdidImage> readEdidFile(const std::filesystem::path& path);

// For the EDID tool, which also reads what people paste: a file named ".bin" as readEdidFile
// reads it; any other file by its content: raw bytes when it starts with the EDID header
// (00 FF FF FF FF FF FF 00), as the kernel's unnamed EDID files do, read as a ".bin" is; else text
// in one of the forms of parseEdidForms, which a failure names by its line ("line 3: ..."). A
// text longer than 64 KiB is refused. A file that cannot be opened or read, and anything but a
// regular file or a character device, gives kEdidReadFailed.
EdidResult<EdidImage> readEdidInput(const std::filesystem::path& path);

// The content of an open stream (the tool's standard input) by the same rule, read until its
// end or past 64 KiB, however long its writer takes.
EdidResult<EdidImage> readEdidStream(int fd);

// The 784-byte text form: 16 lines of 16 uppercase two-digit entries separated by one space, each
// line ending CR LF.
std::string formatEdidText(const EdidImage& image);

// `directory`/"RedIvo_EDID%02d" + extension for the first n in 0..99 whose file does not exist;
// n = 99 when all exist. `extension` includes the dot (".txt", ".bin").
std::filesystem::path nextFreeEdidPath(const std::filesystem::path& directory,
                                       std::string_view extension);

// Replaces (or creates) `path` with `content` through saveFileAtomically: never a partial file;
// links are followed; a write-protected file, or anything but a regular file, is left alone. Fails
// with kEdidCreateFailed when the file cannot be written, with kEdidSaveMissing when the file is
// not there afterwards. Returns `path`.
EdidResult<std::filesystem::path> writeFileAtomically(const std::filesystem::path& path,
                                                      std::string_view content);

struct EdidSavedFiles {
    std::filesystem::path textFile;
    std::filesystem::path binaryFile;
};

// Saves `image` into `directory` as the next free .txt name, then as the next free .bin name (the
// two numbers are chosen independently). On a failure of the binary file the text file stays.
EdidResult<EdidSavedFiles> saveEdidFiles(const std::filesystem::path& directory,
                                         const EdidImage& image);

// The page's confirmation: "Save EDID data to .\" + text file name + " and " + binary file name.
std::string edidSaveMessage(const EdidSavedFiles& files);

}  // namespace krx
