// SPDX-License-Identifier: MIT
#include "model/setting_table.h"

namespace krx {
namespace {

constexpr int kOutputDvi = 0;

}  // namespace

std::string_view settingLabel(SettingOption option, int value) {
    if (!settingFacts(option).isValue(value))
        return {};
    return settingCaptions(option).labels[static_cast<std::size_t>(value)];
}

std::optional<std::string_view> settingRefusal(SettingOption option, int value, TimingCode timing,
                                               int outputMode) {
    if (option == SettingOption::ColorSpace) {
        if (value == kColorSpaceYuv420)
            return "Not availabe yet!";
        if (is4k420(timing))
            return "When in 4K(60Hz/50Hz) mode, the colorspace is fixed to YUV4:2:0 !";
        if (outputMode == kOutputDvi)
            return "When in DVI mode, the colorspace is fixed to RGB4:4:4 !";
    } else if (option == SettingOption::ColorDepth) {
        if (outputMode == kOutputDvi)
            return "When in DVI mode, the color depth is fixed to 24bit !";
        const int autoDepth = settingFacts(SettingOption::ColorDepth).autoValue;
        if (is4k(timing) && value != kColorDepth24Bit && value != autoDepth)
            return "When in 4K mode, Color Depth is fixed to 24bit !";
    }
    return std::nullopt;
}

}  // namespace krx
