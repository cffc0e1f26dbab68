// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace krx::sim {

// Makes `link` a symbolic link to the simulator's pty `ptyPath`, creating missing parent folders.
// An existing entry is replaced only when it is a link to a pseudo-terminal that no longer exists
// (left by a simulator that was killed); a link to any other device, a link held by a live
// simulator and anything that is not a link are refused. Returns the reason for the operator,
// empty on success.
std::string claimLink(const std::filesystem::path& link, const std::string& ptyPath);

// Removes `link` only while it still points at `ptyPath`: a link someone has since repointed
// stays.
void releaseLink(const std::filesystem::path& link, const std::string& ptyPath);

}  // namespace krx::sim
