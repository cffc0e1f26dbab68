// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace krx {

inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 99;

// The folders COMn entries are looked up in, first one first.
using PortsDirectories = std::vector<std::filesystem::path>;

// ports/ beside the executable, then ports/ in the user's settings folder when there is one. Pure.
PortsDirectories portsDirectories(const std::filesystem::path& executableDir,
                                  const std::optional<std::filesystem::path>& settingsDir);

// The entry that names COMn in a ports directory ("COM9", "COM10", ...). Pure.
std::filesystem::path portsEntryPath(int port, const std::filesystem::path& portsDir);

// The device a COM number stands for when the ports directory does not name it: COM1-COM32 are
// /dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31, COM65-COM96 /dev/ttyACM0-31. COM97-COM99 and numbers
// outside 1..99 have none. Pure.
std::optional<std::filesystem::path> standardDevicePath(int port);

// The path to open for COMn: the entry of the first ports directory that has one (even a link that
// points nowhere, so that opening it fails instead of reaching an unrelated device), else the
// standard device. Nothing for a number outside 1..99.
std::optional<std::filesystem::path> comPortDevice(int port, const PortsDirectories& portsDirs);

// A ports entry that is a regular file (or a link to one) is no device: it names a generator on the
// network by the URL on its first line ("rfc2217://rack3:4001"). Only this much of it is read.
inline constexpr std::size_t kMaxPortUrlFileBytes = 4096;

// The first line of COMn's entry when that entry is a regular file, as written (for the network
// channel to parse); nothing when COMn is a device, a link to one, or has no entry.
std::optional<std::string> comPortUrlText(int port, const PortsDirectories& portsDirs);

}  // namespace krx
