// SPDX-License-Identifier: MIT
#include "ctl_report.h"

#include <cstdio>

#include "model/setting_table.h"
#include "model/status_texts.h"
#include "model/timing_details.h"
#include "model/timing_tables.h"

namespace krx::ctl {
namespace {

constexpr std::array<std::string_view, kStatusFieldCount> kStatusFieldNames = {
    "timingCode", "patternCode", "colorSpace",  "colorDepth", "hdcp",    "outputMode",
    "sampleRate", "audioBits",   "audioSource", "channels",   "hotPlug", "power",
};

constexpr std::array<std::string_view, kLinkStatusSize> kLinkStatusNames = {
    "colorSpace", "colorDepth", "outputMode", "sampleRate", "audioBits", "channels",
};

std::string_view powerText(int power) {
    return power == 0 ? "ON" : "OFF";
}

}  // namespace

std::vector<LabelledText> statusTexts(const StatusReport& report) {
    const DeviceStatus& s = report.status;
    // The link status answer replaces the sweep's texts of the six options it reports.
    const auto output = [&](std::size_t linkIndex, std::int8_t swept) -> int {
        return report.linkStatus ? (*report.linkStatus)[linkIndex] : swept;
    };
    const TimingDetails shown =
        timingDetailsFor(s.timingCode, report.currentTiming, report.userTimings);
    std::vector<LabelledText> texts = {
        {"Timing", timingText(s.timingCode, shown)},
        {"HDCP", std::string(hdcpSweepText(s.hdcp))},
        {"HDMI/DVI", std::string(outputModeText(output(2, s.outputMode)))},
        {"Color Space", std::string(colorSpaceText(output(0, s.colorSpace)))},
        {"Color Depth", std::string(colorDepthText(output(1, s.colorDepth)))},
        {"Sample rate", std::string(sampleRateText(output(3, s.sampleRate)))},
        {"Audio bit", std::string(audioBitsText(output(4, s.audioBits)))},
        {"Channels", std::string(channelsText(output(5, s.channels)))},
        {"Audio Type", std::string(audioTypeText())},
        {"Hot Plug", std::string(hotPlugText(s.hotPlug))},
        {"Power", std::string(powerText(s.power))},
    };
    for (std::size_t slot = 0; slot < kUserTimingSlots; ++slot)
        texts.emplace_back("User " + std::to_string(slot + 1),
                           formatUserTimingLabel(report.userTimings[slot]));
    return texts;
}

std::string optionStatusText(SettingOption option, int value) {
    switch (option) {
        case SettingOption::OutputMode:
            return std::string(outputModeText(value));
        case SettingOption::ColorSpace:
            return std::string(colorSpaceText(value));
        case SettingOption::ColorDepth:
            return std::string(colorDepthText(value));
        case SettingOption::SampleRate:
            return std::string(sampleRateText(value));
        case SettingOption::AudioBits:
            return std::string(audioBitsText(value));
        case SettingOption::Channels:
            return std::string(channelsText(value));
        case SettingOption::Hdcp:
            return std::string(hdcpText(value));
        case SettingOption::AudioSource:
            break;
    }
    return std::string(settingLabel(option, value));
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
            out += (i == 0 ? "" : ",") + jsonString(kLinkStatusNames[i]) + ":" +
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
