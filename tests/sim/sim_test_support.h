// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "link/command_frame.h"
#include "sim/generator_line.h"

namespace krx::sim::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes frameBytes(CommandCode code, Bytes payload = {}, TargetAddress to = {}) {
    const auto frame = buildFrame(to.group, to.device, code, payload);
    return {frame->bytes.begin(), frame->bytes.begin() + static_cast<std::ptrdiff_t>(frame->size)};
}

inline Bytes answerBytes(TargetAddress from, CommandCode code, Bytes data = {}) {
    const auto frame = buildAnswerFrame(from.group, from.device, code, data);
    return {frame->bytes.begin(), frame->bytes.begin() + static_cast<std::ptrdiff_t>(frame->size)};
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline LineConfig pacedConfig(std::int64_t latencyUs) {
    LineConfig config;
    config.latencyUs = latencyUs;
    return config;
}

inline Bytes valuesOf(const std::vector<TimedByte>& bytes) {
    Bytes values;
    for (const TimedByte& b : bytes)
        values.push_back(b.value);
    return values;
}

}  // namespace krx::sim::testing
