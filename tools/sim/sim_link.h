// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

#include "link/port_map.h"

namespace krx::sim {

// The link --link NAME makes: a bare name ("COM3") is an entry of the first of `portsDirs` (ports/
// beside the program) when `firstWritable`, else of the second (the user's ports/, where the
// console looks next); a path with a folder is taken as it is. Pure.
std::filesystem::path linkPathFor(const std::filesystem::path& name,
                                  const PortsDirectories& portsDirs, bool firstWritable);

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
