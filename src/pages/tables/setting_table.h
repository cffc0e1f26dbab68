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

extern const std::array<SettingCaptions, kSettingOptionCount> kSettingCaptions;

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
