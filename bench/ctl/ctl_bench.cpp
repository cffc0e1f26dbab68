// SPDX-License-Identifier: MIT
// `krx-vtp-ctl status` against the paced krx-vtp-sim process, from process start to exit, as a
// ratio to the line-time minimum of the console's status sweep; and a ten-line script on three
// simulators at once against the same script on one. Run by hand: krx-ctl-bench [repetitions].
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_main.h"
#include "support/child_process.h"
#include "support/files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLatencyUs = 1000;
constexpr double kByteUs = 1e6 * 10 / 115200;  // 8N1: ten bits a byte

// Every byte of the sweep's 22 exchanges at line pace, plus the simulator's answer latency for
// each: the same minimum the sweep benchmark divides by.
double lineMinimumMs() {
    const int requestBytes = 12 * 10 + 10 * 11;
    const int answerBytes = 12 * 11 + 10 * 30;
    return ((requestBytes + answerBytes) * kByteUs + 22 * kLatencyUs) / 1000.0;
}

// A bench script of ten lines that each wait for the generator's answers.
constexpr const char* kTenLineScript =
    "set output-mode HDMI\ntiming \"1080P(60)\"\npattern \"100%ColorBar\"\n"
    "set color-depth 30bit\nset hdcp \"HDCP ON\"\ntiming \"720P(60)\"\npattern \"Cross Black\"\n"
    "set color-depth 24bit\npower off\npower on\n";

// One run of the client, its output discarded; the time from spawn to its exit.
double runMs(std::vector<std::string> args) {
    args.insert(args.begin(), KRX_CTL_BINARY);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, KRX_CTL_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error("krx-vtp-ctl " + args.back() + " failed");
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int run(int argc, char** argv) {
    const int repetitions = krx::bench::repetitionsArgument(argc, argv, 20);
    const krx::testing::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    const std::string port = (dir / "COM3").string();
    std::vector<double> times;
    std::vector<double> oneBench;
    std::vector<double> threeBenches;
    {
        const std::vector<std::string> sim = {"--latency-us", std::to_string(kLatencyUs), "--link"};
        std::vector<std::unique_ptr<krx::testing::ChildProcess>> sims;
        for (const char* name : {"COM3", "COM4", "COM5"}) {
            std::vector<std::string> args = sim;
            args.push_back((dir / name).string());
            sims.push_back(std::make_unique<krx::testing::ChildProcess>(KRX_SIM_BINARY, args));
            if (!sims.back()->firstLine()) {
                std::fprintf(stderr, "the simulator did not start\n");
                return 1;
            }
        }
        const std::string script = (dir / "unit.txt").string();
        std::ofstream(script) << kTenLineScript;
        runMs({"--port", port, "status"});  // warms the page cache
        for (int i = 0; i < repetitions; ++i) {
            times.push_back(runMs({"--port", port, "status"}));
            oneBench.push_back(runMs({"--port", port, "--script", script}));
            threeBenches.push_back(runMs({"--port", port, "--port", (dir / "COM4").string(),
                                          "--port", (dir / "COM5").string(), "--script", script}));
        }
    }

    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double minimum = lineMinimumMs();
    std::printf(
        "krx-vtp-ctl status, process start to exit (paced, answer latency %d us), %d runs:\n",
        kLatencyUs, repetitions);
    std::printf("  median %.2f ms, best %.2f ms, worst %.2f ms\n", median, times.front(),
                times.back());
    std::printf("  sweep line-time minimum %.2f ms; ratio %.3f (goal <= 1.20)\n", minimum,
                median / minimum);
    std::sort(oneBench.begin(), oneBench.end());
    std::sort(threeBenches.begin(), threeBenches.end());
    const double one = oneBench[oneBench.size() / 2];
    const double three = threeBenches[threeBenches.size() / 2];
    std::printf(
        "a ten-line script, process start to exit, medians: one bench %.2f ms, three "
        "benches at once %.2f ms; ratio %.3f (goal <= 1.20)\n",
        one, three, three / one);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return krx::bench::runReportingFailure(run, argc, argv);
}
