// SPDX-License-Identifier: MIT
// The same script on several generators at once: one session, channel and thread per --port.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ctl_command.h"
#include "ctl_junit.h"
#include "link/port_map.h"

namespace krx::ctl {

// Runs `lines` on every --port of `options` (on the one port, or after a search, when there are
// fewer than two), each bench in a thread of its own with its own GeneratorSession, each until
// its first failing line. What a line prints goes to `out` and `err` once the line has ended,
// whole lines at a time; with several benches each line is prefixed by the bench's port, and
// with --json each object names it under "port" instead. `scriptName` is put before a script
// line's failure ("unit.txt:4: "). An exception in a bench is thrown again once all have ended.
std::vector<BenchOutcome> runBenches(const Options& options, const std::vector<ScriptLine>& lines,
                                     const std::string& scriptName,
                                     const PortsDirectories& portsDirs, std::ostream& out,
                                     std::ostream& err);

}  // namespace krx::ctl
