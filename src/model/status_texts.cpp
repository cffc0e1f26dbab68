// SPDX-License-Identifier: MIT
#include "model/status_texts.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace krx {
namespace {

// Text at `value` of a table, `other` for every value outside it. The tables stop where the
// generator's AUTO value (or YUV4:2:0) begins, which is what `other` names.
template <std::size_t N>
std::string_view pick(const std::array<std::string_view, N>& texts, int value,
                      std::string_view other) {
    if (value < 0 || static_cast<std::size_t>(value) >= N)
        return other;
    return texts[static_cast<std::size_t>(value)];
}

constexpr bool endsAt(std::size_t tableSize, int value) {
    return static_cast<int>(tableSize) == value;
}

// C-style truncation toward zero, then the low 16 bits; non-finite values give 0.
std::uint16_t truncToU16(double value) {
    if (!std::isfinite(value))
        return 0;
    double t = std::trunc(value);
    if (t > 1e18)
        t = 1e18;
    if (t < -1e18)
        t = -1e18;
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(t));
}

std::string leadingDigits(unsigned long long value, std::size_t maxDigits) {
    std::string s = std::to_string(value);
    if (s.size() > maxDigits)
        s.resize(maxDigits);
    return s;
}

}  // namespace

std::string_view hdcpSweepText(int value) {
    return value != 0 ? "ON " : "OFF";
}
std::string_view hotPlugText(int value) {
    return value != 0 ? "ON " : "OFF";
}

std::string_view optionText(SettingOption option, int value) {
    static constexpr std::array<std::string_view, 2> mode = {"DVI", "HDMI"};
    static_assert(endsAt(mode.size(), settingFacts(SettingOption::OutputMode).autoValue));
    static constexpr std::array<std::string_view, 4> space = {"RGB4:4:4", "YUV4:4:4", "YUV4:2:2",
                                                              "AUTO"};
    static_assert(endsAt(space.size(), kColorSpaceYuv420));
    static constexpr std::array<std::string_view, 4> depth = {"24bit", "30bit", "36bit", "48bit"};
    static_assert(endsAt(depth.size(), settingFacts(SettingOption::ColorDepth).autoValue));
    static constexpr std::array<std::string_view, 7> rate = {"32K", "44K",  "48K", "88K",
                                                             "96K", "176K", "192K"};
    static_assert(endsAt(rate.size(), settingFacts(SettingOption::SampleRate).autoValue));
    static constexpr std::array<std::string_view, 3> bits = {"16bit", "20bit", "24bit"};
    static_assert(endsAt(bits.size(), settingFacts(SettingOption::AudioBits).autoValue));
    static constexpr std::array<std::string_view, 7> channels = {"2ch", "3ch", "4ch", "5ch",
                                                                 "6ch", "7ch", "8ch"};
    static_assert(endsAt(channels.size(), settingFacts(SettingOption::Channels).autoValue));
    switch (option) {
        case SettingOption::OutputMode:
            return pick(mode, value, "AUTO");
        case SettingOption::Hdcp:
            return value == 1 ? "ON " : "OFF";
        case SettingOption::ColorSpace:
            return pick(space, value, "YUV4:2:0");
        case SettingOption::ColorDepth:
            return pick(depth, value, "AUTO");
        case SettingOption::AudioSource:
            return "PCM";
        case SettingOption::SampleRate:
            return pick(rate, value, "AUTO");
        case SettingOption::AudioBits:
            return pick(bits, value, "AUTO");
        case SettingOption::Channels:
            return pick(channels, value, "AUTO");
    }
    return {};
}

std::string composeTimingLabel(unsigned width, unsigned height, bool interlaced,
                               unsigned long long rate) {
    std::string s = leadingDigits(width, 4);
    s += 'x';
    s += leadingDigits(height, 4);
    if (interlaced)
        s += 'i';
    s += '(';
    s += leadingDigits(rate, 3);
    s += ')';
    return s;
}

std::string timingText(TimingCode code, const TimingDetails& shown) {
    if (code < 0)
        return {};
    if (code <= kAutoTiming)
        return std::string(timingStatusName(code));
    const bool interlaced = shown.scanType == kInterlace;
    const auto width = static_cast<std::uint16_t>(shown.hActive);
    const auto height = static_cast<std::uint16_t>(interlaced ? shown.vActive * 2 : shown.vActive);
    const std::uint16_t rate = truncToU16(static_cast<double>(shown.vFreqHz) + 0.5);
    return composeTimingLabel(width, height, interlaced, rate);
}

}  // namespace krx
