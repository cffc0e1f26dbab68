// SPDX-License-Identifier: MIT
// krx-vtp-edid: prints the EDID page's report of EDID files.
#include <iostream>
#include <string>
#include <vector>

#include "edid_tool.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return krx::runEdidTool(args, std::cout, std::cerr);
}
