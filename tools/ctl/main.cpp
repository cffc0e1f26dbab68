// SPDX-License-Identifier: MIT
// krx-vtp-ctl: drives the generator from scripts and test benches (see --help).
#include <sysexits.h>

#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "ctl_command.h"
#include "ctl_session.h"

namespace {

using krx::ctl::ExitStatus;

int exitCode(ExitStatus status) {
    return static_cast<int>(status);
}

int usageError(const std::string& message) {
    std::cerr << "krx-vtp-ctl: " << message << '\n';
    return exitCode(ExitStatus::Usage);
}

std::optional<std::string> readScript(const std::string& path) {
    if (path == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return text.str();
}

// ports/ beside the executable, as the console looks it up.
std::filesystem::path portsDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (error ? std::filesystem::current_path() : self.parent_path()) / "ports";
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
    if (!options.scriptPath.empty()) {
        const auto text = readScript(options.scriptPath);
        if (!text)
            return usageError(options.scriptPath + ": cannot read the script");
        auto script = krx::ctl::parseScript(*text);
        if (const auto* error = std::get_if<krx::ctl::ScriptError>(&script))
            return usageError(options.scriptPath + ":" + std::to_string(error->lineNumber) + ": " +
                              error->message);
        lines = std::get<std::vector<krx::ctl::ScriptLine>>(std::move(script));
    } else {
        lines.push_back({0, *options.command});
    }

    krx::ctl::GeneratorSession session(portsDirectory(), options, std::cout, std::cerr);
    if (const ExitStatus status = session.connect(); status != ExitStatus::Done)
        return exitCode(status);
    for (const krx::ctl::ScriptLine& line : lines) {
        if (line.lineNumber > 0)
            session.setErrorPrefix(options.scriptPath + ":" + std::to_string(line.lineNumber) +
                                   ": ");
        if (const ExitStatus status = session.run(line.command); status != ExitStatus::Done)
            return exitCode(status);
    }
    return exitCode(ExitStatus::Done);
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
