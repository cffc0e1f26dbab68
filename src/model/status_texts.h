// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "model/timing_details.h"

namespace krx {

// Status-panel texts for the generator's signed status values. Every value maps to a text.
std::string_view hdcpText(int value);       // only 1 is "ON "
std::string_view hdcpSweepText(int value);  // any non-zero value is "ON " (sweep, buttons)
std::string_view hotPlugText(int value);    // any non-zero value is "ON "
std::string_view outputModeText(int value);
std::string_view colorSpaceText(int value);
std::string_view colorDepthText(int value);
std::string_view sampleRateText(int value);
std::string_view audioBitsText(int value);
std::string_view channelsText(int value);
std::string_view audioTypeText();

// Timing text: the status name for 0x00..0x36; for 0x37 and above, composed from what the
// Timing Details page holds (`shown`); empty for a negative code, which has no name and no
// timing the page could show.
std::string timingText(TimingCode code, const TimingDetails& shown);

// "WxH[i](R)" with W and H cut to four leading digits and R to three; shared with the user
// timing label.
std::string composeTimingLabel(unsigned width, unsigned height, bool interlaced,
                               unsigned long long rate);

}  // namespace krx
