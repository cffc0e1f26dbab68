// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>

namespace krx::bench {

// The number of runs given as the first argument, at least 1; `fallback` when none or not a number.
inline int repetitionsArgument(int argc, char** argv, int fallback) {
    int runs = fallback;
    if (argc > 1) {
        const char* text = argv[1];
        const auto [end, error] = std::from_chars(text, text + std::strlen(text), runs);
        if (error != std::errc{} || *end != '\0')
            runs = fallback;
    }
    return std::max(1, runs);
}

// A benchmark's main: runs `run` and turns a failure it throws into exit status 1, its text on
// standard error.
inline int runReportingFailure(int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

}  // namespace krx::bench
