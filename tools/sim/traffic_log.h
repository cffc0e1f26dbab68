// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "generator_line.h"
#include "link/traffic_record.h"

namespace krx::sim {

// One line of the traffic log, without the newline, in the format the console writes too
// (formatTrafficLine of the link layer): the time in microseconds since the simulator started,
// the direction ("received" from the console or "sent" to it), the bytes, the command name (empty
// for a code outside the command set) and, for a rejected frame, noise or a falsified answer, a
// note.
std::string formatTrafficLine(const LineEvent& event);

using krx::TrafficLogFile;

}  // namespace krx::sim
