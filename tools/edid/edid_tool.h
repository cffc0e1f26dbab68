// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"

namespace krx {

// CR LF pairs and lone CRs become "\n", as a terminal expects.
std::string toTerminalLines(std::string_view text);

// The whole report of one image for a person: status, the dump as 16 labelled rows of 16 entries,
// then the general, video and audio texts under their page headings.
std::string formatEdidForTerminal(const EdidImage& image);

// krx-vtp-edid with `args` (without the program name). Returns the exit status: 0 when every file
// was read, 1 when a file could not be read (its message on `err`, the other files still
// reported), 2 for a usage error.
int runEdidTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace krx
