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

}  // namespace krx::sim
