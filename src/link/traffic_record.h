// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/command_frame.h"

namespace krx {

// Seen from whoever writes the record: the simulator receives the console's frames and sends
// answers; the console sends frames and receives answers.
enum class TrafficDirection { Received, Sent };

// One line of a traffic log, as the simulator and the console both write it.
struct TrafficLine {
    std::int64_t timeUs = 0;
    TrafficDirection direction = TrafficDirection::Received;
    std::span<const std::uint8_t> bytes;
    std::string_view command;      // empty for a code outside the command set and for stray bytes
    std::string_view note;         // empty for a plain frame; else why it is special
    std::optional<bool> accepted;  // answers the console received: whether its receiver took it
};

// The line without its newline: a JSON object with time_us, dir ("received" or "sent"), bytes
// (upper-case hexadecimal pairs separated by blanks), command, then note and accepted when set.
// {"time_us":1200,"dir":"received","bytes":"AA 00 00 05 00 01 01 61 80 6E",
// "command":"CMD_GET_TIMING"}
std::string formatTrafficLine(const TrafficLine& line);

// "AA 00 0F": upper-case hexadecimal pairs separated by blanks.
std::string hexPairs(std::span<const std::uint8_t> bytes);

// A frame or a run of bytes that forms none, kept. The names and notes are static texts.
struct TrafficRecord {
    std::int64_t timeUs = 0;
    TrafficDirection direction = TrafficDirection::Received;
    std::vector<std::uint8_t> bytes;
    std::string_view command;
    std::string_view note;
    std::optional<bool> accepted;

    TrafficLine line() const { return {timeUs, direction, bytes, command, note, accepted}; }
};

inline constexpr std::string_view kNoiseNote = "noise";
inline constexpr std::string_view kCutShortNote = "cut short";
inline constexpr std::string_view kBadChecksumNote = "bad checksum";

// Cuts the bytes read from the generator into answers (0xAB, two zero bytes, a length field of
// 5..500, then as many bytes as it says) and runs of bytes that form none ("noise", a record
// before the next answer, at kMaxNoiseRun bytes, or after a silence). An answer is recorded "cut
// short" as far as it came when more than kGapUs pass before its next byte (the receiver gives up
// on it then) or when, its checksum wrong, another start byte lies inside it: an answer that lost
// bytes ran into the next one, and the search goes on at that byte. An answer is accepted when the
// receiver took it on any of its bytes (see taken()).
class AnswerSplitter {
  public:
    static constexpr std::int64_t kGapUs = 200'000;
    static constexpr std::size_t kMaxNoiseRun = 64;
    static constexpr std::size_t kMaxLength = 500;

    // One byte read at `timeUs`; appends every record it completes.
    void push(std::uint8_t byte, std::int64_t timeUs, std::vector<TrafficRecord>& out);
    // The receiver took an answer on the byte pushed last: the answer under way, or the one that
    // byte completed in `out`, is accepted.
    void taken(std::vector<TrafficRecord>& out);
    // The line is done with (closed, lost, or silent): what is under way becomes records.
    void flush(std::vector<TrafficRecord>& out);

  private:
    void step(std::uint8_t byte, std::vector<TrafficRecord>& out);
    void reject(std::string_view note, std::vector<TrafficRecord>& out);
    void emitNoise(std::vector<TrafficRecord>& out);

    std::vector<std::uint8_t> frame_;
    std::vector<std::uint8_t> noise_;
    std::size_t length_ = 0;
    bool taken_ = false;
    std::int64_t lastUs_ = 0;
    std::optional<std::size_t> completed_;  // the answer the last byte completed, in `out`
};

// The last `capacity` records. Records are numbered from 0 in the order they were kept; the ring
// holds numbers first() .. end() - 1.
class TrafficRing {
  public:
    explicit TrafficRing(std::size_t capacity) : capacity_(capacity) {}

    void push(TrafficRecord record);
    std::uint64_t first() const { return end_ - records_.size(); }
    std::uint64_t end() const { return end_; }
    std::size_t capacity() const { return capacity_; }
    // `number` must lie in first() .. end() - 1.
    const TrafficRecord& at(std::uint64_t number) const {
        return records_[static_cast<std::size_t>(number - first())];
    }

  private:
    std::size_t capacity_;
    std::deque<TrafficRecord> records_;
    std::uint64_t end_ = 0;
};

// A traffic log file. It is held with an exclusive flock, so a second program pointed at the
// same file is refused instead of writing into it at its own offset, and it is emptied only once
// that lock is held.
class TrafficLogFile {
  public:
    TrafficLogFile() = default;
    ~TrafficLogFile();
    TrafficLogFile(const TrafficLogFile&) = delete;
    TrafficLogFile& operator=(const TrafficLogFile&) = delete;

    // Creates or empties `path` for writing. Returns the reason for the operator, empty on success.
    std::string open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    // Appends `line` and a newline; a failed write is dropped (the log must not stop the line).
    void append(std::string line) const;

  private:
    int fd_ = -1;
};

}  // namespace krx
