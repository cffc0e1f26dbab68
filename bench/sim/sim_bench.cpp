// SPDX-License-Identifier: MIT
// The simulator's cost per request, and how closely the pty writer keeps the 115200 8N1 pace.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <vector>

#include "link/command_frame.h"
#include "sim/generator_line.h"
#include "sim/pty_line_server.h"

namespace {

using namespace krx;
using namespace krx::sim;

std::vector<std::uint8_t> frame(CommandCode code, std::vector<std::uint8_t> payload = {}) {
    const auto f = buildFrame(0x00, 0x00, code, payload);
    return {f->bytes.begin(), f->bytes.begin() + static_cast<std::ptrdiff_t>(f->size)};
}

// The console's status sweep: twelve queries and ten user-timing reads.
void lineStatusSweep(benchmark::State& state) {
    std::vector<std::vector<std::uint8_t>> requests;
    for (std::size_t i = 0; i < 12; ++i)
        requests.push_back(frame(kStatusQueryCodes[i]));
    for (std::uint8_t slot = 0; slot < 10; ++slot)
        requests.push_back(frame(CMD_GET_USER_TIMING, {slot}));
    GeneratorLine line(LineConfig{}, {{0x01, 0x01}}, defaultTvEdid());
    std::int64_t nowUs = 0;
    for (auto _ : state) {
        for (const auto& request : requests) {
            auto answer = line.receive(request, nowUs);
            benchmark::DoNotOptimize(answer);
            nowUs = answer.back().timeUs;
        }
    }
    state.counters["requests/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(requests.size()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(lineStatusSweep);

// Bytes without a frame in them, as a line with noise delivers: the parser's fast path.
void lineGarbage(benchmark::State& state) {
    std::vector<std::uint8_t> garbage(4096);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>((i * 37 + 11) % 251 == 0 ? 0xAA : i * 13);
    GeneratorLine line(LineConfig{}, {{0x01, 0x01}}, defaultTvEdid());
    std::int64_t nowUs = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.receive(garbage, nowUs));
        nowUs += 1'000'000;
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(garbage.size()));
}
BENCHMARK(lineGarbage);

// A display EDID read through the real pty, paced: wall time for the 266-byte answer against the
// nominal 266 x 86.8 us (plus 10 request bytes and the 1 ms latency).
void ptyEdidAnswer(benchmark::State& state) {
    LineConfig config;
    config.latencyUs = 1'000;
    GeneratorLine line(config, {{0x01, 0x01}}, defaultTvEdid());
    PtyLineServer server(line, [] {});
    if (!server.open().empty()) {
        state.SkipWithError("no pty");
        return;
    }
    server.start([](const LineEvent&) {});
    const int port = open(server.slavePath().c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    tcgetattr(port, &settings);
    cfmakeraw(&settings);
    tcsetattr(port, TCSANOW, &settings);
    const auto request = frame(CMD_READ_TV_EDID, {0x01});
    std::array<std::uint8_t, 512> buffer{};
    double answerUs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (write(port, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            state.SkipWithError("write failed");
            break;
        }
        std::size_t received = 0;
        pollfd entry{port, POLLIN, 0};
        while (received < 266 && poll(&entry, 1, 5'000) == 1) {
            const ssize_t n = read(port, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            received += static_cast<std::size_t>(n);
        }
        answerUs +=
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
        if (received != 266) {
            state.SkipWithError("answer incomplete");
            break;
        }
    }
    close(port);
    server.stop();
    const double nominalUs = 276 * 1e6 * 10 / 115200 + 1'000;
    state.counters["answer_us"] = answerUs / static_cast<double>(state.iterations());
    state.counters["nominal_us"] = nominalUs;
}
BENCHMARK(ptyEdidAnswer)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
