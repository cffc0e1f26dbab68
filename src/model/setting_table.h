// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "link/generator_facts.h"

namespace krx {

// One radio group of the Setting page: its frame caption and one radio label per value of the
// option, in value order (unused entries empty). Indexed like kSettingFacts.
struct SettingCaptions {
    SettingOption option;
    std::string_view caption;
    std::array<std::string_view, 8> labels;
};

inline constexpr std::array<SettingCaptions, kSettingOptionCount> kSettingCaptions = {{
    {SettingOption::OutputMode, "HDMI/DVI", {"DVI", "HDMI", "AUTO"}},
    {SettingOption::Hdcp, "HDCP", {"HDCP OFF", "HDCP ON"}},
    {SettingOption::ColorSpace,
     "Color Space",
     {"RGB4:4:4", "YUV4:4:4", "YUV4:2:2", "AUTO", "YUV4:2:0"}},
    {SettingOption::ColorDepth, "Color Depth", {"24bit", "30bit", "36bit", "48bit", "AUTO"}},
    {SettingOption::AudioSource,
     "Audio Source Selection",
     {"Internal generated", "External Stereo Input"}},
    {SettingOption::SampleRate,
     "Audio Sample Rate",
     {"32K", "44K", "48K", "88K", "96K", "176K", "192K", "AUTO"}},
    {SettingOption::AudioBits, "Audio Bit", {"16bit", "20bit", "24bit", "AUTO"}},
    {SettingOption::Channels,
     "Audio channel",
     {"2CH", "3CH", "4CH", "5CH", "6CH", "7CH", "8CH", "AUTO"}},
}};

// Each row stands at its option's index with one label per value of the option.
constexpr bool captionsMatchFacts() {
    for (std::size_t i = 0; i < kSettingCaptions.size(); ++i) {
        const SettingCaptions& row = kSettingCaptions[i];
        int labelCount = 0;
        for (std::size_t v = 0; v < row.labels.size(); ++v)
            labelCount += row.labels[v].empty() ? 0 : 1;
        if (static_cast<std::size_t>(row.option) != i || labelCount != kSettingFacts[i].valueCount)
            return false;
    }
    return true;
}
static_assert(captionsMatchFacts());

constexpr const SettingCaptions& settingCaptions(SettingOption option) {
    return kSettingCaptions[static_cast<std::size_t>(option)];
}

// The Setting page's radio label of `value`, empty for a value the option does not have.
std::string_view settingLabel(SettingOption option, int value);

// What the page refuses, before anything is sent: the message the console shows for choosing
// `value` of `option` while the Timing page has `timing` selected and the output mode selection
// is `outputMode` (-1 when unknown); nothing when the choice may be sent. The disabled
// "YUV4:2:0" colour space refuses with its own message.
std::optional<std::string_view> settingRefusal(SettingOption option, int value, TimingCode timing,
                                               int outputMode);

}  // namespace krx
