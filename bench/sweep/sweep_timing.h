// SPDX-License-Identifier: MIT
// The console's full status sweep against the paced krx-vtp-sim, timed from the first query
// written to the last answer handled, through whatever channel reaches the simulator. Shared by
// the local sweep benchmark and the network one. Header-only.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "app/console_dlg.h"
#include "framework/qt_window_services.h"

namespace krx::bench {

// The simulator's answer latency the benchmarks run it with.
inline constexpr int kLatencyUs = 1000;
inline constexpr double kByteUs = 1e6 * 10 / 115200;  // 8N1: ten bits a byte

// Every byte of the 22 exchanges at line pace, plus the simulator's answer latency for each.
inline double lineMinimumMs() {
    const int requestBytes = 12 * 10 + 10 * 11;  // status queries; user-timing reads with a slot
    const int answerBytes = 12 * 11 + 10 * 30;   // one data byte; a 20-byte record
    return ((requestBytes + answerBytes) * kByteUs + 22 * kLatencyUs) / 1000.0;
}

inline double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Opens COM(portIndex + 1) through `channel` in a console window, which sweeps once to warm up,
// then times `repetitions` sweeps in milliseconds. Exits the program if a sweep does not complete.
inline std::vector<double> timeSweeps(QtWindowServices& services, SerialChannel& channel,
                                      const std::filesystem::path& dir, int portIndex,
                                      int repetitions) {
    using Clock = std::chrono::steady_clock;
    CConsoleDlg window(services, channel, dir);
    const auto complete = [&window] {
        const ResponseReceiver& r = window.connection().receiver();
        return !r.sweepMode && r.sweepIndex == 12 && r.sweepSlot == 9;
    };

    std::optional<Clock::time_point> firstQuery;
    Clock::time_point lastAnswer;
    QEventLoop* running = nullptr;
    // The console's traffic record tells of each frame written, and of each read once the
    // console has handled it.
    TrafficTap& traffic = window.traffic();
    traffic.setChangedNotice([&] {
        const TrafficRing& ring = traffic.ring();
        if (!firstQuery && ring.at(ring.end() - 1).direction == TrafficDirection::Sent)
            firstQuery = Clock::now();
        if (running && complete()) {
            lastAnswer = Clock::now();
            running->quit();
        }
    });
    const auto runSweep = [&](const std::function<void()>& begin) {
        QEventLoop loop;
        running = &loop;
        firstQuery.reset();
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
        begin();
        loop.exec();
        running = nullptr;
        if (!complete() || !firstQuery) {
            std::fprintf(stderr, "the sweep did not complete\n");
            std::exit(1);
        }
        return std::chrono::duration<double, std::milli>(lastAnswer - *firstQuery).count();
    };

    runSweep([&] { window.connection().changePort(portIndex); });  // connects; warms up
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        // Let the link-status query that follows a sweep be answered first.
        QEventLoop settle;
        QTimer::singleShot(50, &settle, &QEventLoop::quit);
        settle.exec();
        times.push_back(runSweep([&] { window.connection().startStatusSweep(400); }));
    }
    return times;
}

// Median, best and worst of `times` and the median's ratio to the line-time minimum.
inline void printSweepFigures(const std::vector<double>& times, double goal) {
    const double median = medianOf(times);
    std::printf("  median %.2f ms, best %.2f ms, worst %.2f ms\n", median,
                *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()));
    std::printf("  line-time minimum %.2f ms; ratio %.3f (goal <= %.2f)\n", lineMinimumMs(),
                median / lineMinimumMs(), goal);
}

}  // namespace krx::bench
