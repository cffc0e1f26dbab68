// SPDX-License-Identifier: MIT
// krx-vtp-ctl: drives the generator from scripts and test benches (see --help).
#include <fcntl.h>
#include <sys/stat.h>
#include <sysexits.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <variant>

#include "ctl_benches.h"
#include "ctl_command.h"
#include "ctl_junit.h"
#include "files/atomic_save.h"
#include "files/settings_dirs.h"
#include "link/port_map.h"

namespace {

using krx::ctl::ExitStatus;

int exitCode(ExitStatus status) {
    return static_cast<int>(status);
}

int usageError(const std::string& message) {
    std::cerr << "krx-vtp-ctl: " << message << '\n';
    return exitCode(ExitStatus::Usage);
}

// The whole script, read before its first line runs so that a malformed line stops it before
// anything is sent. A folder or a device (/dev/zero) is no script; a FIFO and standard input are,
// within the same size limit as a file.
std::variant<std::string, krx::ctl::UsageError> readScript(const std::string& path) {
    const auto refused = [&](const std::string& why) {
        return krx::ctl::UsageError{krx::ctl::shown(path, path.size()) + ": " + why};
    };
    const auto unreadable = [&](int error) {
        return refused("cannot read the script: " + std::generic_category().message(error));
    };
    int fd = STDIN_FILENO;
    if (path != "-") {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return unreadable(errno);
        if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode))
            return refused("not a script: neither a regular file nor a FIFO");
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return unreadable(errno);
    }
    std::string text;
    std::array<char, 65536> chunk;  // filled by read(), never read past its count
    ssize_t count = 0;
    while ((count = ::read(fd, chunk.data(), chunk.size())) != 0) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || text.size() + static_cast<std::size_t>(count) > krx::ctl::kMaxScriptBytes)
            break;
        text.append(chunk.data(), static_cast<std::size_t>(count));
    }
    const int readError = count < 0 ? errno : 0;
    if (fd != STDIN_FILENO)
        ::close(fd);
    if (readError != 0)
        return unreadable(readError);
    if (count > 0) {
        return refused("longer than " + std::to_string(krx::ctl::kMaxScriptBytes) +
                       " bytes (1 MiB), the most a script may hold: it is read whole before its "
                       "first line runs");
    }
    return text;
}

// ports/ beside the executable, then the user's, as the console looks them up.
krx::PortsDirectories portsDirectories() {
    return krx::portsDirectories(
        krx::executableDirectory(),
        krx::userSettingsDirectory(krx::SettingsEnvironment::fromProcess()));
}

int run(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = krx::ctl::parseOptions(args);
    if (const auto* error = std::get_if<krx::ctl::UsageError>(&parsed))
        return usageError(error->message);
    const krx::ctl::Options& options = std::get<krx::ctl::Options>(parsed);
    if (options.help) {
        std::cout << krx::ctl::usageText();
        return exitCode(ExitStatus::Done);
    }

    std::vector<krx::ctl::ScriptLine> lines;
    const std::string scriptName = krx::ctl::shown(options.scriptPath, options.scriptPath.size());
    if (!options.scriptPath.empty()) {
        const auto text = readScript(options.scriptPath);
        if (const auto* error = std::get_if<krx::ctl::UsageError>(&text))
            return usageError(error->message);
        auto script = krx::ctl::parseScript(std::get<std::string>(text));
        if (const auto* error = std::get_if<krx::ctl::ScriptError>(&script))
            return usageError(scriptName + ":" + std::to_string(error->lineNumber) + ": " +
                              error->message);
        lines = std::get<std::vector<krx::ctl::ScriptLine>>(std::move(script));
    } else {
        lines.push_back({0, *options.command, options.commandText});
    }

    const auto benches =
        krx::ctl::runBenches(options, lines, scriptName, portsDirectories(), std::cout, std::cerr);
    ExitStatus status = krx::ctl::worstStatus(benches);
    if (!options.junitPath.empty()) {
        const auto saved = krx::saveFileAtomically(
            options.junitPath,
            krx::ctl::junitReport(benches, scriptName.empty() ? "krx-vtp-ctl" : scriptName));
        if (!saved) {
            std::cerr << "krx-vtp-ctl: "
                      << krx::ctl::shown(options.junitPath, options.junitPath.size()) << ": "
                      << krx::saveFailureReason(saved) << '\n';
            status = std::max(status, ExitStatus::FileNotWritten);
        }
    }
    return exitCode(status);
}

}  // namespace

// A failure no command foresees (memory, the file system) still ends with a message and a status
// outside the command table, never with an abort.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& failure) {
        std::cerr << "krx-vtp-ctl: " << failure.what() << '\n';
    } catch (...) {
        std::cerr << "krx-vtp-ctl: unexpected failure\n";
    }
    return EX_SOFTWARE;
}
