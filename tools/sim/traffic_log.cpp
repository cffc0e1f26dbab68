// SPDX-License-Identifier: MIT
#include "traffic_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

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

std::string errorText(int error) {
    return std::error_code(error, std::generic_category()).message();
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

TrafficLogFile::~TrafficLogFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string TrafficLogFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return "cannot write " + path + ": " + errorText(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return path + " is being written by another simulator";
        return "cannot lock " + path + ": " + errorText(error);
    }
    if (::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return "cannot empty " + path + ": " + errorText(error);
    }
    fd_ = fd;
    return {};
}

void TrafficLogFile::append(std::string line) const {
    line += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace krx::sim
