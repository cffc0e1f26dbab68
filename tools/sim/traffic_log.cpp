// SPDX-License-Identifier: MIT
#include "traffic_log.h"

#include "link/command_frame.h"

namespace krx::sim {
namespace {

void appendHex(std::string& out, std::uint8_t byte) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// The names and notes are plain ASCII without quotes or backslashes; escaping is still done so
// the line stays valid JSON whatever they hold.
void appendString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            appendHex(out, static_cast<std::uint8_t>(c));
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

std::string formatTrafficLine(const LineEvent& event) {
    std::string line = "{\"time_us\":" + std::to_string(event.timeUs) + ",\"dir\":";
    appendString(line, event.direction == LineEvent::Direction::Received ? "received" : "sent");
    line += ",\"bytes\":\"";
    for (std::size_t i = 0; i < event.bytes.size(); ++i) {
        if (i > 0)
            line += ' ';
        appendHex(line, event.bytes[i]);
    }
    line += "\",\"command\":";
    appendString(line, commandName(event.code));
    if (!event.note.empty()) {
        line += ",\"note\":";
        appendString(line, event.note);
    }
    line += '}';
    return line;
}

}  // namespace krx::sim
