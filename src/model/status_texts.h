// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "link/generator_facts.h"
#include "model/timing_details.h"

namespace krx {

// Status-panel texts for the generator's signed status values. Every value maps to a text.
// The text an option's value shows on the status panel. HDCP: only 1 is "ON ". The audio source
// shows as the audio type, always "PCM".
std::string_view optionText(SettingOption option, int value);
std::string_view hdcpSweepText(int value);  // any non-zero value is "ON " (sweep, buttons)
std::string_view hotPlugText(int value);    // any non-zero value is "ON "

// What the DVI button of the Setting page writes as the output mode, with a trailing blank that
// no reported value maps to.
inline constexpr std::string_view kDviChoiceText = "DVI ";

// Messages of the connection and of the Setting page's reset, shown by both front ends.
inline constexpr std::string_view kPortUnavailableMessage =
    "Can not find this port or used by other application";
inline constexpr std::string_view kNoDeviceMessage =
    "Can not find available device for this console!";
inline constexpr std::string_view kResetNote = "Wait for a few seconds...";

// Timing text: the status name for 0x00..0x36; for 0x37 and above, composed from what the
// Timing Details page holds (`shown`); empty for a negative code, which has no name and no
// timing the page could show.
std::string timingText(TimingCode code, const TimingDetails& shown);

// "WxH[i](R)" with W and H cut to four leading digits and R to three; shared with the user
// timing label.
std::string composeTimingLabel(unsigned width, unsigned height, bool interlaced,
                               unsigned long long rate);

}  // namespace krx
