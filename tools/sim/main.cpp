// SPDX-License-Identifier: MIT
// krx-vtp-sim: generators on a pseudo-terminal, for operators without a device and for tests.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "edid/edid_files.h"
#include "files/atomic_save.h"
#include "files/settings_dirs.h"
#include "link/port_map.h"
#include "pty_line_server.h"
#include "sim_edid.h"
#include "sim_link.h"
#include "sim_options.h"
#include "traffic_log.h"

namespace {

using namespace krx::sim;

// Why the simulator ended, beyond the operator's signal.
constexpr int kLineEndedSignal = SIGUSR1;

// --link NAME: a bare name goes in ports/ beside the program when that can be written (or made
// there), else in the user's ports/, the two places the console and krx-vtp-ctl look.
std::filesystem::path linkPath(const std::filesystem::path& option) {
    if (option.empty() || option.has_parent_path())
        return option;
    const krx::PortsDirectories dirs =
        krx::portsDirectories(krx::executableDirectory(),
                              krx::userSettingsDirectory(krx::SettingsEnvironment::fromProcess()));
    const krx::PathFacts beside = krx::probePath(dirs.front());
    const bool writable =
        beside.exists ? beside.writable : krx::probePath(dirs.front().parent_path()).writable;
    return linkPathFor(option, dirs, writable);
}

std::string hexAddress(krx::TargetAddress address) {
    char text[5];
    std::snprintf(text, sizeof text, "%02X%02X", address.group, address.device);
    return text;
}

std::optional<EdidBytes> attachedEdid(const std::string& path) {
    if (path.empty())
        return defaultTvEdid();
    auto loaded = krx::readEdidFile(path);
    if (!loaded) {
        std::cerr << "krx-vtp-sim: " << path << ": " << loaded.error() << "\n";
        return std::nullopt;
    }
    const EdidBytes edid = loaded.value();
    for (std::size_t block : {std::size_t{0}, std::size_t{128}}) {
        if (!edidBlockChecksumOk(edid, block))
            std::cerr << "krx-vtp-sim: warning: " << path << ": block " << block / 128
                      << " has a wrong checksum; served as it is\n";
    }
    return edid;
}

int run(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    auto parsed = parseSimOptions(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "krx-vtp-sim: " << *error << "\n";
        return 2;
    }
    const SimOptions& options = std::get<SimOptions>(parsed);
    if (options.help) {
        std::cout << simUsage();
        return 0;
    }
    const auto edid = attachedEdid(options.edidPath);
    if (!edid)
        return 1;

    // Every thread inherits this mask; the main thread takes the signals with sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);  // the terminal it was started from went away
    sigaddset(&signals, kLineEndedSignal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    GeneratorLine line(options.line, options.devices, *edid);
    PtyLineServer server(line, [] { kill(getpid(), kLineEndedSignal); });
    if (const std::string error = server.open(); !error.empty()) {
        std::cerr << "krx-vtp-sim: " << error << "\n";
        return 1;
    }
    const std::filesystem::path link = linkPath(options.linkPath);
    if (!link.empty()) {
        if (const std::string error = claimLink(link, server.slavePath()); !error.empty()) {
            std::cerr << "krx-vtp-sim: " << error << "\n";
            return 1;
        }
    }
    // Opened only now, after every check that can refuse the start: a refused start leaves the
    // file as it was.
    TrafficLogFile log;
    if (!options.logPath.empty()) {
        if (const std::string error = log.open(options.logPath); !error.empty()) {
            std::cerr << "krx-vtp-sim: " << error << "\n";
            if (!link.empty())
                releaseLink(link, server.slavePath());
            return 1;
        }
    }

    std::cout << server.slavePath() << "\n";
    std::cout << "krx-vtp-sim: listening on " << server.slavePath();
    if (!link.empty())
        std::cout << " (link " << link.string() << ")";
    std::cout << ", 115200 8N1, " << (options.line.paced ? "paced" : "unpaced") << ", latency "
              << options.line.latencyUs << " us, devices";
    for (const krx::TargetAddress device : options.devices)
        std::cout << " " << hexAddress(device);
    std::cout << std::endl;

    server.start([&log](const LineEvent& event) {
        if (log.isOpen())
            log.append(formatTrafficLine(event));
    });
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    if (!link.empty())
        releaseLink(link, server.slavePath());
    if (received == kLineEndedSignal)
        std::cerr << "krx-vtp-sim: the line has hung up\n";
    return 0;
}

}  // namespace

// Whatever fails unexpectedly (out of memory, a thread that cannot start) ends the program with a
// message rather than an abort.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& failure) {
        std::cerr << "krx-vtp-sim: " << failure.what() << "\n";
        return 1;
    }
}
