// SPDX-License-Identifier: MIT
#include "ctl_report.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "model/status_texts.h"
#include "model/timing_tables.h"

namespace krx::ctl {
namespace {

constexpr std::array<std::string_view, kStatusFieldCount> kStatusFieldNames = {
    "timingCode", "patternCode", "colorSpace",  "colorDepth", "hdcp",    "outputMode",
    "sampleRate", "audioBits",   "audioSource", "channels",   "hotPlug", "power",
};

std::string_view powerText(int power) {
    return power == 0 ? "ON" : "OFF";
}

// "Video clk:" with "MHz" -> "videoClkMHz".
std::string detailKey(const TimingDetailField& field) {
    std::string key;
    bool wordStart = false;
    for (const char c : field.label) {
        if (c == ' ') {
            wordStart = true;
        } else if (c != ':') {
            const auto byte = static_cast<unsigned char>(c);
            key += static_cast<char>(wordStart ? std::toupper(byte) : std::tolower(byte));
            wordStart = false;
        }
    }
    return key + std::string(field.unit);
}

// The single-precision value as its shortest decimal (148.3517, not 148.35169982910156): the
// number the console holds, which the page shows rounded to six digits.
double shortestDecimal(float value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double decimal = 0;
    std::from_chars(text, written.ptr, decimal);
    return decimal;
}

std::string radioText(const std::array<std::string_view, 2>& labels, int position) {
    return position == 0 || position == 1 ? std::string(labels[static_cast<std::size_t>(position)])
                                          : std::string();
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

std::string_view statusKey(SettingOption option) {
    const auto at =
        std::find(kStatusFields.begin(), kStatusFields.end(), settingFacts(option).field);
    return kStatusFieldNames[static_cast<std::size_t>(at - kStatusFields.begin())];
}

Json statusJson(const StatusReport& report) {
    Json status = Json::object();
    for (std::size_t i = 0; i < kStatusFieldCount; ++i)
        status[kStatusFieldNames[i]] = report.status.*kStatusFields[i];
    Json link = nullptr;
    if (report.linkStatus) {
        link = Json::object();
        for (std::size_t i = 0; i < kLinkStatusSize; ++i)
            link[statusKey(kLinkStatusOptions[i])] = (*report.linkStatus)[i];
    }
    Json texts = Json::object();
    for (const auto& [caption, text] : statusTexts(report))
        texts[caption] = text;
    return {{"status", status}, {"linkStatus", link}, {"texts", texts}};
}

std::vector<LabelledText> detailsTexts(TimingCode code, const TimingDetails& details) {
    std::vector<LabelledText> texts = {{"Timing", timingName(code)}};
    for (const TimingDetailField& field : kTimingDetailFields) {
        char value[32];
        if (const auto* whole = std::get_if<int TimingDetails::*>(&field.member)) {
            std::snprintf(value, sizeof value, "%d", details.*(*whole));
        } else {
            std::snprintf(
                value, sizeof value, "%.6g",
                static_cast<double>(details.*std::get<float TimingDetails::*>(field.member)));
        }
        std::string text = value;
        if (!field.unit.empty())
            text += " " + std::string(field.unit);
        texts.emplace_back(std::string(field.label.substr(0, field.label.size() - 1)), text);
    }
    texts.emplace_back("Scan type", radioText(kScanTypeLabels, details.scanType));
    texts.emplace_back("Hsync", radioText(kSyncPolarityLabels, details.hSyncPolarity));
    texts.emplace_back("Vsync", radioText(kSyncPolarityLabels, details.vSyncPolarity));
    return texts;
}

Json detailsJson(TimingCode code, const TimingDetails& details) {
    Json json = {{"timing", timingName(code)}, {"timingCode", code}};
    for (const TimingDetailField& field : kTimingDetailFields) {
        if (const auto* whole = std::get_if<int TimingDetails::*>(&field.member))
            json[detailKey(field)] = details.*(*whole);
        else
            json[detailKey(field)] =
                shortestDecimal(details.*std::get<float TimingDetails::*>(field.member));
    }
    json["scanType"] = radioText(kScanTypeLabels, details.scanType);
    json["hsync"] = radioText(kSyncPolarityLabels, details.hSyncPolarity);
    json["vsync"] = radioText(kSyncPolarityLabels, details.vSyncPolarity);
    return json;
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

std::string formatPairs(const std::vector<LabelledText>& pairs) {
    std::string out;
    for (const auto& [caption, text] : pairs)
        out.append(caption).append(": ").append(text).append("\n");
    return out;
}

std::string jsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace krx::ctl
