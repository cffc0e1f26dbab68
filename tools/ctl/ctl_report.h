// SPDX-License-Identifier: MIT
// What krx-vtp-ctl prints: the status panel's texts from the generator's state, the Timing Details
// page's values, and the results of single commands, as lines for a person or as JSON for a
// script. Pure.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/device_status.h"
#include "link/generator_facts.h"
#include "model/timing_details.h"

namespace krx::ctl {

// One result's JSON object; its keys keep the order they were added in.
using Json = nlohmann::ordered_json;

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

// "status": the twelve values as the generator reports them, "linkStatus": the six values it
// outputs (null when it did not say), "texts": statusTexts().
Json statusJson(const StatusReport& report);

// The JSON key of a status value ("colorDepth", ...): the same in statusJson() and in the result
// of a set command.
std::string_view statusKey(SettingOption option);

// The Timing Details page's values: as the page shows them ("Video clk: 148.5 MHz"), and as
// numbers with the unit in the key ("videoClkMHz": 148.5), the radio pairs as their captions.
std::vector<LabelledText> detailsTexts(TimingCode code, const TimingDetails& details);
Json detailsJson(TimingCode code, const TimingDetails& details);

// The status panel's text for a value of an option, as the link status answer shows it.
std::string optionStatusText(SettingOption option, int value);

// A timing's name: its status name, "user:N" for a user slot, else the code in hexadecimal.
std::string timingName(TimingCode code);

// "CAPTION: TEXT" lines.
std::string formatPairs(const std::vector<LabelledText>& pairs);

// One JSON object on one line. Bytes that are not UTF-8 (a display's name in its EDID, a file
// name) are replaced by U+FFFD rather than refused.
std::string jsonLine(const Json& object);

}  // namespace krx::ctl
