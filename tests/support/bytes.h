// SPDX-License-Identifier: MIT
// Byte strings for tests: frames and answers as the line carries them, and hex text.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "link/command_frame.h"

namespace krx::testing {

using Bytes = std::vector<std::uint8_t>;

// "AA 00 05" -> {0xAA, 0x00, 0x05}: two hex digits a byte, blanks between bytes skipped.
inline Bytes hex(std::string_view text) {
    const auto digit = [](char c) {
        return static_cast<std::uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    };
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        bytes.push_back(static_cast<std::uint8_t>(digit(text[i]) << 4 | digit(text[i + 1])));
        ++i;
    }
    return bytes;
}

// The console's frame to `to`, and a generator's answer from `from`, byte for byte.
inline Bytes commandFrame(TargetAddress to, CommandCode code, const Bytes& payload = {}) {
    const auto frame = buildFrame(to.group, to.device, code, payload);
    return frame ? Bytes(frame->view().begin(), frame->view().end()) : Bytes{};
}

inline Bytes answerFrame(TargetAddress from, CommandCode code, const Bytes& data = {}) {
    const auto frame = buildAnswerFrame(from.group, from.device, code, data);
    return frame ? Bytes(frame->view().begin(), frame->view().end()) : Bytes{};
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace krx::testing
