// SPDX-License-Identifier: MIT
#include "link/port_map.h"

#include <fstream>
#include <string>
#include <system_error>

namespace krx {

namespace {

constexpr int kPortsPerFamily = 32;
constexpr const char* kDeviceFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};

bool isComPort(int port) {
    return port >= kFirstComPort && port <= kLastComPort;
}

}  // namespace

PortsDirectories portsDirectories(const std::filesystem::path& executableDir,
                                  const std::optional<std::filesystem::path>& settingsDir) {
    PortsDirectories dirs{executableDir / "ports"};
    if (settingsDir)
        dirs.push_back(*settingsDir / "ports");
    return dirs;
}

std::filesystem::path portsEntryPath(int port, const std::filesystem::path& portsDir) {
    return portsDir / ("COM" + std::to_string(port));
}

std::optional<std::filesystem::path> standardDevicePath(int port) {
    if (!isComPort(port))
        return std::nullopt;
    const int index = port - kFirstComPort;
    const int family = index / kPortsPerFamily;
    if (family >= static_cast<int>(std::size(kDeviceFamilies)))
        return std::nullopt;
    return std::filesystem::path(kDeviceFamilies[family] + std::to_string(index % kPortsPerFamily));
}

std::optional<std::filesystem::path> comPortDevice(int port, const PortsDirectories& portsDirs) {
    if (!isComPort(port))
        return std::nullopt;
    for (const std::filesystem::path& portsDir : portsDirs) {
        std::filesystem::path entry = portsEntryPath(port, portsDir);
        std::error_code error;
        // symlink_status, not status: a dangling link still claims the number. An entry that
        // cannot be examined at all (type none) does not.
        const auto type = std::filesystem::symlink_status(entry, error).type();
        if (type != std::filesystem::file_type::not_found &&
            type != std::filesystem::file_type::none)
            return entry;
    }
    return standardDevicePath(port);
}

std::optional<std::string> comPortUrlText(int port, const PortsDirectories& portsDirs) {
    const std::optional<std::filesystem::path> entry = comPortDevice(port, portsDirs);
    std::error_code error;
    if (!entry || !std::filesystem::is_regular_file(*entry, error))
        return std::nullopt;
    std::string text(kMaxPortUrlFileBytes, '\0');
    std::ifstream file(*entry, std::ios::binary);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text.substr(0, text.find('\n'));
}

}  // namespace krx
