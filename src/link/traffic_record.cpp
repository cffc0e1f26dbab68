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

// Whether `bytes` could be the first bytes of an answer: its start byte, two zero bytes, a
// length field in range, as far as they go.
bool couldStartAnswer(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes[0] != kAnswerStart)
        return false;
    if ((bytes.size() > 1 && bytes[1] != 0x00) || (bytes.size() > 2 && bytes[2] != 0x00))
        return false;
    if (bytes.size() < 5)
        return true;
    const std::size_t length = frameLength(bytes);
    return length >= kEmptyFrameLength && length <= AnswerSplitter::kMaxLength;
}

// The first place after the start byte where another answer could begin; the size if none.
std::size_t nextStart(std::span<const std::uint8_t> frame) {
    for (std::size_t i = 1; i < frame.size(); ++i)
        if (couldStartAnswer(frame.subspan(i)))
            return i;
    return frame.size();
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

void AnswerSplitter::push(std::uint8_t byte, std::int64_t timeUs, std::vector<TrafficRecord>& out) {
    completed_.reset();
    if (timeUs - lastUs_ > kGapUs)
        flush(out);
    lastUs_ = timeUs;
    step(byte, out);
}

void AnswerSplitter::taken(std::vector<TrafficRecord>& out) {
    if (completed_ && *completed_ < out.size())
        out[*completed_].accepted = true;
    else if (!frame_.empty())
        taken_ = true;
}

void AnswerSplitter::flush(std::vector<TrafficRecord>& out) {
    while (!frame_.empty())
        reject(kCutShortNote, out);
    emitNoise(out);
}

void AnswerSplitter::step(std::uint8_t byte, std::vector<TrafficRecord>& out) {
    if (frame_.empty()) {
        if (byte != kAnswerStart) {
            noise_.push_back(byte);
            if (noise_.size() >= kMaxNoiseRun)
                emitNoise(out);
            return;
        }
        taken_ = false;
    }
    frame_.push_back(byte);
    const std::size_t size = frame_.size();
    if ((size == 2 || size == 3) && byte != 0x00) {
        reject(kNoiseNote, out);
        return;
    }
    if (size == 5) {
        length_ = frameLength(frame_);
        if (length_ < kEmptyFrameLength || length_ > kMaxLength) {
            reject(kNoiseNote, out);
            return;
        }
    }
    if (size < 5 || size < length_ + 5)
        return;
    const bool sumsToZero = frameSumsToZero(frame_);
    // An answer that lost bytes (the purge before each write drops what the driver still holds)
    // runs into the next answer: it is cut where that answer could begin.
    if (!sumsToZero && nextStart(frame_) < size) {
        reject(kCutShortNote, out);
        return;
    }
    TrafficRecord record;
    record.timeUs = lastUs_;
    record.command = commandName(frameCode(frame_));
    record.note = sumsToZero ? std::string_view() : kBadChecksumNote;
    record.accepted = taken_;
    record.bytes = std::move(frame_);
    frame_.clear();
    emitNoise(out);
    completed_ = out.size();
    out.push_back(std::move(record));
}

// The frame under way, up to where another answer could begin in it, is not an answer: cut
// short, it is a record of its own (named when its head is whole); else its bytes join the
// noise. The search for an answer goes on from there.
void AnswerSplitter::reject(std::string_view note, std::vector<TrafficRecord>& out) {
    const auto next = frame_.begin() + static_cast<std::ptrdiff_t>(nextStart(frame_));
    const std::vector<std::uint8_t> rest(next, frame_.end());
    frame_.erase(next, frame_.end());
    if (note == kCutShortNote) {
        TrafficRecord record;
        record.timeUs = lastUs_;
        if (frame_.size() >= kFrameHeadSize)
            record.command = commandName(frameCode(frame_));
        record.note = note;
        record.accepted = taken_;
        record.bytes = std::move(frame_);
        emitNoise(out);
        out.push_back(std::move(record));
    } else {
        noise_.insert(noise_.end(), frame_.begin(), frame_.end());
        if (noise_.size() >= kMaxNoiseRun)
            emitNoise(out);
    }
    frame_.clear();
    taken_ = false;
    for (const std::uint8_t byte : rest)
        step(byte, out);
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
