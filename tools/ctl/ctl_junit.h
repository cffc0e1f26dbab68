// SPDX-License-Identifier: MIT
// What a run did on each bench, and the JUnit XML report CI systems read of it. Pure.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "ctl_command.h"

namespace krx::ctl {

// One script line (or the command line's command) on one bench.
struct LineOutcome {
    int lineNumber = 0;  // 0: the command line's command
    std::string text;    // ScriptLine::text
    bool ran = false;    // false: an earlier line failed, so this one was not run
    ExitStatus status = ExitStatus::Done;
    std::string message;  // what the line wrote to standard error
    double seconds = 0;
};

struct BenchOutcome {
    std::string port;  // PortChoice::name(), "search" when none was given
    std::vector<LineOutcome> lines;

    // The status of the line that stopped the script, else Done.
    ExitStatus status() const;
};

// The highest status of all benches: what the program exits with.
ExitStatus worstStatus(std::span<const BenchOutcome> benches);

// A <testsuites> document: one <testsuite> per bench, one <testcase> per line, named
// "LINE: TEXT" ("4: timing 1080P(60)", the command line's command by its text alone), with a
// <failure> (message: the first line of the message, type: "exit status N"; text: the whole
// message) for a failed line and <skipped> for one that did not run. Text that is not UTF-8, and
// control characters, are replaced by U+FFFD.
std::string junitReport(std::span<const BenchOutcome> benches, std::string_view scriptName);

}  // namespace krx::ctl
