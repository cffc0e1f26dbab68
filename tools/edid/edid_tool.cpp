// SPDX-License-Identifier: MIT
#include "edid_tool.h"

#include <unistd.h>

#include <array>
#include <optional>

#include "edid/edid_files.h"
#include "edid/edid_forms.h"

namespace krx {
namespace {

constexpr std::string_view kUsage =
    "Usage: krx-vtp-edid FILE...\n"
    "  or:  krx-vtp-edid --section status|dump|general|video|audio FILE\n"
    "  or:  krx-vtp-edid --format hex|c|base64|bin FILE\n"
    "\n"
    "Decodes EDID files (\"-\": standard input) into the report of the console's EDID page. A\n"
    "file named .bin, or one that starts with the EDID header, holds the raw bytes. Any other\n"
    "file is text, in whichever of these forms it is written: a hex dump without offsets (the\n"
    "console's .txt files; bytes as pairs of digits, spaced or not), a C array (\"0x00, 0xFF,\n"
    "...\", with or without its declaration) or base64. A text must hold 128 or 256 bytes (a\n"
    "128-byte EDID reads as 0xFF in bytes 128-255); any other text is refused with the number\n"
    "of the line at fault, and nothing of it is reported.\n"
    "\n"
    "Without --section or --format each file's status, hex dump and general, video and audio\n"
    "information are printed for reading. With --section only that text is written, byte for\n"
    "byte as the decoder returns it (CR LF line ends, no newline added). With --format the 256\n"
    "bytes are written instead, in that form: hex (16 lines of 32 digits), c (a C array),\n"
    "base64, or bin (the raw bytes); each reads back as a FILE.\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or the report not written, 2 wrong\n"
    "arguments.\n";

constexpr std::size_t kDumpRowEntries = 16;
constexpr std::size_t kDumpEntryWidth = 3;  // "XX "

enum class Section { Status, Dump, General, Video, Audio };

std::optional<Section> sectionByName(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Section>, 5> kSections = {{
        {"status", Section::Status},
        {"dump", Section::Dump},
        {"general", Section::General},
        {"video", Section::Video},
        {"audio", Section::Audio},
    }};
    for (const auto& [sectionName, section] : kSections) {
        if (sectionName == name) {
            return section;
        }
    }
    return std::nullopt;
}

std::string sectionText(const EdidImage& image, Section section) {
    switch (section) {
        case Section::Status:
            return EdidDecoder::checkImage(image).status;
        case Section::Dump:
            return EdidDecoder::hexDump(image);
        case Section::General:
            return EdidDecoder::decodeGeneral(image);
        case Section::Video:
            return EdidDecoder::decodeVideo(image);
        case Section::Audio:
            return EdidDecoder::decodeAudio(image);
    }
    return {};
}

// Ensures a text printed under a heading ends its last line.
void appendLines(std::string& out, std::string_view text) {
    out += toTerminalLines(text);
    if (out.empty() || out.back() != '\n') {
        out += '\n';
    }
}

int usageError(std::ostream& err, std::string_view problem) {
    err << "krx-vtp-edid: " << problem << "\n\n" << kUsage;
    return 2;
}

}  // namespace

std::string toTerminalLines(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            lines += text[i];
        }
    }
    return lines;
}

std::string formatEdidForTerminal(const EdidImage& image) {
    static constexpr std::string_view kRowLabels = "0123456789abcdef";
    std::string out;
    appendLines(out, EdidDecoder::checkImage(image).status);
    out += '\n';
    const std::string dump = EdidDecoder::hexDump(image);
    const std::size_t rowWidth = kDumpRowEntries * kDumpEntryWidth;
    for (std::size_t row = 0; row * rowWidth < dump.size(); ++row) {
        out += kRowLabels[row];
        out += "0  ";
        // Each row without the space that follows its last entry.
        out += std::string_view(dump).substr(row * rowWidth, rowWidth - 1);
        out += '\n';
    }
    out += "\nGeneral Info:\n";
    appendLines(out, EdidDecoder::decodeGeneral(image));
    out += "\nVideo Information:\n";
    appendLines(out, EdidDecoder::decodeVideo(image));
    out += "\nAudio Information:\n";
    appendLines(out, EdidDecoder::decodeAudio(image));
    return out;
}

int runEdidTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::optional<Section> section;
    std::optional<EdidForm> form;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return 0;
        } else if (arg == "--section") {
            if (i + 1 >= args.size()) {
                return usageError(err, "--section needs a name");
            }
            section = sectionByName(args[++i]);
            if (!section) {
                return usageError(err, "unknown section \"" + args[i] + "\"");
            }
        } else if (arg == "--format") {
            if (i + 1 >= args.size()) {
                return usageError(err, "--format needs a form");
            }
            form = edidFormByName(args[++i]);
            if (!form) {
                return usageError(err, "unknown form \"" + args[i] + "\"");
            }
        } else {
            return usageError(err, "unknown option \"" + arg + "\"");
        }
    }
    if (files.empty()) {
        return usageError(err, "no file given");
    }
    if (section && form) {
        return usageError(err, "--section and --format exclude each other");
    }
    if ((section || form) && files.size() != 1) {
        return usageError(
            err, std::string(section ? "--section" : "--format") + " takes exactly one file");
    }

    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto image = files[i] == "-" ? readEdidStream(STDIN_FILENO) : readEdidInput(files[i]);
        if (!image) {
            err << files[i] << ": " << image.error() << '\n';
            status = 1;
            continue;
        }
        if (form) {
            out << formatEdid(image.value(), *form);
        } else if (section) {
            out << sectionText(image.value(), *section);
        } else {
            if (files.size() > 1) {
                out << "==> " << files[i] << " <==\n";
            }
            out << formatEdidForTerminal(image.value());
            if (i + 1 < files.size()) {
                out << '\n';
            }
        }
    }
    out.flush();
    if (!out) {
        err << "krx-vtp-edid: cannot write the report\n";
        return 1;
    }
    return status;
}

}  // namespace krx
