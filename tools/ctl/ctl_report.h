// SPDX-License-Identifier: MIT
// What krx-vtp-ctl prints: the status panel's texts from the generator's state, and the results
// of single commands, as lines for a person or as JSON. Pure.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/device_status.h"
#include "link/generator_facts.h"

namespace krx::ctl {

// The state a status read gathers: the sweep's values and records, the link status answer (what
// is actually output, AUTO resolved) when it came, and the current timing's record when the
// generator was asked for it.
struct StatusReport {
    DeviceStatus status;
    std::array<UserTiming, kUserTimingSlots> userTimings{};
    std::optional<std::array<std::int8_t, kLinkStatusSize>> linkStatus;
    UserTiming currentTiming;
};

using LabelledText = std::pair<std::string, std::string>;

// The status panel as the console shows it after the sweep and the link status answer, in the
// panel's order, then power and the ten user-slot captions.
std::vector<LabelledText> statusTexts(const StatusReport& report);

std::string formatStatusText(const StatusReport& report);
std::string formatStatusJson(const StatusReport& report);

// The status panel's text for a value of an option, as the link status answer shows it.
std::string optionStatusText(SettingOption option, int value);

// A timing's name: its status name, "user:N" for a user slot, else the code in hexadecimal.
std::string timingName(TimingCode code);

// One value as a JSON string literal.
std::string jsonString(std::string_view text);

// "CAPTION: TEXT" lines, or one JSON object of the same pairs.
std::string formatPairs(const std::vector<LabelledText>& pairs, bool json);

}  // namespace krx::ctl
