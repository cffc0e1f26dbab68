// SPDX-License-Identifier: MIT
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "generator_line.h"
#include "link/command_frame.h"

namespace krx::sim {

// What the command line of krx-vtp-sim asks for.
struct SimOptions {
    std::string linkPath;                // empty: no symbolic link to the pty
    std::vector<TargetAddress> devices;  // in answer order; one device 01/01 by default
    std::string edidPath;                // empty: the built-in 4K television
    std::string logPath;                 // empty: no traffic log
    LineConfig line;
    bool help = false;
};

// The text --help prints.
std::string_view simUsage();

// Parses the arguments after the program name. An error names the offending argument.
std::variant<SimOptions, std::string> parseSimOptions(std::span<const std::string_view> args);

}  // namespace krx::sim
