// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <charconv>
#include <cstring>

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

}  // namespace krx::bench
