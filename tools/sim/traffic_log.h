// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "generator_line.h"

namespace krx::sim {

// One line of the traffic log, without the newline: a JSON object with the time in microseconds
// since the simulator started, the direction ("received" from the console or "sent" to it), the
// bytes as upper-case hexadecimal pairs separated by blanks, the command name (empty for a code
// outside the command set) and, for a rejected frame, noise or a falsified answer, a note.
// {"time_us":1200,"dir":"received","bytes":"AA 00 00 05 00 01 01 61 80
// 6E","command":"CMD_GET_TIMING"}
std::string formatTrafficLine(const LineEvent& event);

// The traffic log file. It is held with an exclusive flock, so a second simulator pointed at the
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

}  // namespace krx::sim
