// SPDX-License-Identifier: MIT
#include "link/traffic_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace krx {
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

std::string hexPairs(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        appendHex(text, bytes[i]);
    }
    return text;
}

std::string formatTrafficLine(const TrafficLine& line) {
    std::string text = "{\"time_us\":" + std::to_string(line.timeUs) + ",\"dir\":";
    appendString(text, line.direction == TrafficDirection::Received ? "received" : "sent");
    text += ",\"bytes\":\"" + hexPairs(line.bytes) + "\",\"command\":";
    appendString(text, line.command);
    if (!line.note.empty()) {
        text += ",\"note\":";
        appendString(text, line.note);
    }
    if (line.accepted)
        text += *line.accepted ? ",\"accepted\":true" : ",\"accepted\":false";
    text += '}';
    return text;
}

// --- answers out of the received bytes ---------------------------------------------------------

void AnswerSplitter::push(std::uint8_t byte, std::int64_t timeUs, bool taken,
                          std::vector<TrafficRecord>& out) {
    if (!frame_.empty() && timeUs - lastUs_ > kGapUs)
        dropFrame(out, kCutShortNote);
    lastUs_ = timeUs;
    if (frame_.empty()) {
        if (byte != kAnswerStart) {
            noise_.push_back(byte);
            if (noise_.size() >= kMaxNoiseRun)
                emitNoise(out);
            return;
        }
        emitNoise(out);
        taken_ = false;
    }
    frame_.push_back(byte);
    taken_ = taken_ || taken;
    const std::size_t size = frame_.size();
    if ((size == 2 || size == 3) && byte != 0x00) {
        dropFrame(out, kNoiseNote);
        return;
    }
    if (size == 5) {
        length_ = frameLength(frame_);
        if (length_ < kEmptyFrameLength || length_ > kMaxLength) {
            dropFrame(out, kNoiseNote);
            return;
        }
    }
    if (size < 5 || size < length_ + 5)
        return;
    TrafficRecord record;
    record.timeUs = timeUs;
    record.direction = TrafficDirection::Received;
    record.command = commandName(frameCode(frame_));
    record.note = frameSumsToZero(frame_) ? std::string_view() : kBadChecksumNote;
    record.accepted = taken_;
    record.bytes = std::move(frame_);
    frame_.clear();
    out.push_back(std::move(record));
}

void AnswerSplitter::flush(std::vector<TrafficRecord>& out) {
    emitNoise(out);
}

void AnswerSplitter::emitNoise(std::vector<TrafficRecord>& out) {
    if (noise_.empty())
        return;
    TrafficRecord record;
    record.timeUs = lastUs_;
    record.note = kNoiseNote;
    record.bytes = std::move(noise_);
    noise_.clear();
    out.push_back(std::move(record));
}

// A frame that cannot be one (or was given up on) is recorded as the bytes it had, on its own.
void AnswerSplitter::dropFrame(std::vector<TrafficRecord>& out, std::string_view note) {
    emitNoise(out);
    noise_ = std::move(frame_);
    frame_.clear();
    const std::size_t size = out.size();
    emitNoise(out);
    if (out.size() > size)
        out.back().note = note;
}

void TrafficRing::push(TrafficRecord record) {
    if (capacity_ == 0)
        return;
    if (records_.size() == capacity_)
        records_.pop_front();
    records_.push_back(std::move(record));
    ++end_;
}

// --- the log file ----------------------------------------------------------------------------

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
            return path + " is being written by another program";
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

}  // namespace krx
