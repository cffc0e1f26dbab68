// SPDX-License-Identifier: MIT
#include "ctl_report.h"

#include <algorithm>
#include <cstdio>

#include "model/status_texts.h"
#include "model/timing_details.h"
#include "model/timing_tables.h"

namespace krx::ctl {
namespace {

constexpr std::array<std::string_view, kStatusFieldCount> kStatusFieldNames = {
    "timingCode", "patternCode", "colorSpace",  "colorDepth", "hdcp",    "outputMode",
    "sampleRate", "audioBits",   "audioSource", "channels",   "hotPlug", "power",
};

// The JSON name of a link-status byte: the name of the status field of its option.
std::string_view linkStatusName(std::size_t index) {
    const auto field = settingFacts(kLinkStatusOptions[index]).field;
    const auto at = std::find(kStatusFields.begin(), kStatusFields.end(), field);
    return kStatusFieldNames[static_cast<std::size_t>(at - kStatusFields.begin())];
}

std::string_view powerText(int power) {
    return power == 0 ? "ON" : "OFF";
}

}  // namespace

std::vector<LabelledText> statusTexts(const StatusReport& report) {
    const DeviceStatus& s = report.status;
    // The link status answer replaces the sweep's texts of the six options it reports.
    const auto text = [&](SettingOption option) {
        const auto at = std::find(kLinkStatusOptions.begin(), kLinkStatusOptions.end(), option);
        if (report.linkStatus && at != kLinkStatusOptions.end()) {
            const std::int8_t value =
                (*report.linkStatus)[static_cast<std::size_t>(at - kLinkStatusOptions.begin())];
            return std::string(optionText(option, value));
        }
        return std::string(optionText(option, s.*settingFacts(option).field));
    };
    const TimingDetails shown =
        timingDetailsFor(s.timingCode, report.currentTiming, report.userTimings);
    std::vector<LabelledText> texts = {
        {"Timing", timingText(s.timingCode, shown)},
        {"HDCP", std::string(hdcpSweepText(s.hdcp))},
        {"HDMI/DVI", text(SettingOption::OutputMode)},
        {"Color Space", text(SettingOption::ColorSpace)},
        {"Color Depth", text(SettingOption::ColorDepth)},
        {"Sample rate", text(SettingOption::SampleRate)},
        {"Audio bit", text(SettingOption::AudioBits)},
        {"Channels", text(SettingOption::Channels)},
        {"Audio Type", text(SettingOption::AudioSource)},
        {"Hot Plug", std::string(hotPlugText(s.hotPlug))},
        {"Power", std::string(powerText(s.power))},
    };
    for (std::size_t slot = 0; slot < kUserTimingSlots; ++slot)
        texts.emplace_back("User " + std::to_string(slot + 1),
                           formatUserTimingLabel(report.userTimings[slot]));
    return texts;
}

std::string optionStatusText(SettingOption option, int value) {
    return std::string(optionText(option, value));
}

std::string timingName(TimingCode code) {
    if (isUserTiming(code))
        return "user:" + std::to_string(userSlotOf(code));
    const std::string_view name = timingStatusName(code);
    if (!name.empty())
        return std::string(name);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(code) & 0xFFu);
    return hex;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string formatPairs(const std::vector<LabelledText>& pairs, bool json) {
    std::string out;
    if (!json) {
        for (const auto& [caption, text] : pairs)
            out.append(caption).append(": ").append(text).append("\n");
        return out;
    }
    for (const auto& [caption, text] : pairs)
        out += (out.empty() ? "{" : ",") + jsonString(caption) + ":" + jsonString(text);
    return out + "}\n";
}

std::string formatStatusText(const StatusReport& report) {
    return formatPairs(statusTexts(report), false);
}

std::string formatStatusJson(const StatusReport& report) {
    std::string out = "{\"status\":{";
    for (std::size_t i = 0; i < kStatusFieldCount; ++i)
        out += (i == 0 ? "" : ",") + jsonString(kStatusFieldNames[i]) + ":" +
               std::to_string(report.status.*kStatusFields[i]);
    out += "},\"linkStatus\":";
    if (report.linkStatus) {
        out += "{";
        for (std::size_t i = 0; i < kLinkStatusSize; ++i)
            out += (i == 0 ? "" : ",") + jsonString(linkStatusName(i)) + ":" +
                   std::to_string((*report.linkStatus)[i]);
        out += "}";
    } else {
        out += "null";
    }
    out += ",\"texts\":";
    std::string texts = formatPairs(statusTexts(report), true);
    texts.pop_back();  // the line end
    return out + texts + "}\n";
}

}  // namespace krx::ctl
