// SPDX-License-Identifier: MIT
// Files a test wrote or a program under test left behind.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace krx::testing {

// The bytes of the regular file at `path`; empty when there is none (a folder or a FIFO is not
// read).
inline std::string fileContents(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace krx::testing
