// SPDX-License-Identifier: MIT
#include "files/settings_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace krx {
namespace {

namespace fs = std::filesystem;

// secure_getenv: a program run set-user-ID takes no folders from its caller's environment.
std::string environmentValue(const char* name) {
    const char* value = ::secure_getenv(name);
    return value != nullptr ? value : "";
}

std::string homeFromPasswordDatabase() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr)
        return {};
    return found->pw_dir;
}

std::optional<fs::path> absolute(const std::string& text) {
    const fs::path path(text);
    return path.is_absolute() ? std::optional(path) : std::nullopt;
}

}  // namespace

SettingsEnvironment SettingsEnvironment::fromProcess() {
    SettingsEnvironment environment{environmentValue("XDG_CONFIG_HOME"), environmentValue("HOME")};
    if (environment.home.empty())
        environment.home = homeFromPasswordDatabase();
    return environment;
}

std::optional<fs::path> userSettingsDirectory(const SettingsEnvironment& environment) {
    if (const auto configHome = absolute(environment.xdgConfigHome))
        return *configHome / kSettingsFolderName;
    if (const auto home = absolute(environment.home))
        return *home / ".config" / kSettingsFolderName;
    return std::nullopt;
}

std::error_code makeSettingsFolders(const fs::path& folder) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
        if (error)
            return error;
        missing.push_back(at);
        if (at == at.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), S_IRWXU) != 0 && errno != EEXIST)
            return {errno, std::generic_category()};
    }
    return {};
}

fs::path executableDirectory() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : self.parent_path();
}

}  // namespace krx
