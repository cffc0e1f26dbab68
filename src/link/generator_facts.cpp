// SPDX-License-Identifier: MIT
#include "link/generator_facts.h"

#include <algorithm>
#include <cmath>

namespace krx {

const std::array<StandardTiming, 54> kStandardTimings = {{
    {25.175f, 0, 640, 800, 96, 136, 480, 525, 2, 27},  // 0x00 "640x480(60)"
    {40.0f, kStdHSyncPositive | kStdVSyncPositive, 800, 1056, 128, 216, 600, 628, 4,
     27},                                                               // 0x01 "800x600(60)"
    {65.0f, 0, 1024, 1344, 136, 296, 768, 806, 6, 35},                  // 0x02 "1024x768(60)"
    {68.25f, kStdHSyncPositive, 1280, 1440, 32, 112, 768, 790, 7, 19},  // 0x03 "1280x768(60)"
    {85.5f, kStdHSyncPositive | kStdVSyncPositive, 1360, 1792, 112, 368, 768, 795, 6,
     24},  // 0x04 "1360x768(60)"
    {108.0f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1800, 224, 424, 960, 1000, 3,
     39},  // 0x05 "1280x960(60)"
    {108.0f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1688, 112, 360, 1024, 1066, 3,
     41},                                                                 // 0x06 "1280x1024(60)"
    {101.0f, kStdHSyncPositive, 1400, 1560, 32, 112, 1050, 1080, 4, 27},  // 0x07 "1400x1050(60)"
    {162.0f, kStdHSyncPositive | kStdVSyncPositive, 1600, 2160, 172, 496, 1200, 1250, 3,
     49},                                                                 // 0x08 "1600x1200(60)"
    {154.0f, kStdHSyncPositive, 1920, 2080, 32, 112, 1200, 1235, 6, 32},  // 0x09 "1920x1200(60)"
    {13.5f, kStdInterlaced, 720, 858, 62, 119, 480, 525, 3, 18},          // 0x0A "480i(59.94)"
    {27.0f, 0, 720, 858, 62, 122, 480, 525, 6, 36},                       // 0x0B "480P(59.94)"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 720, 750, 5,
     25},  // 0x0C "720P(60)"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 720, 750, 5,
     25},  // 0x0D "720P(59.94)"
    {74.25f, kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080,
     1125, 5, 20},  // 0x0E "1080i(60)"
    {74.17582f, kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080,
     1125, 5, 20},  // 0x0F "1080i(59.94)"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},  // 0x10 "1080P(30)"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},  // 0x11 "1080P(29.97)"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 1080, 1125, 5,
     41},  // 0x12 "1080P(24)"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 1080, 1125, 5,
     41},  // 0x13 "1080P(23.98)"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},  // 0x14 "1080P(60)"
    {148.3517f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},                                                         // 0x15 "1080P(59.94)"
    {13.5f, kStdInterlaced, 720, 864, 64, 132, 576, 625, 3, 22},  // 0x16 "576i(50)"
    {27.0f, 0, 720, 864, 64, 132, 576, 625, 5, 44},               // 0x17 "576P(50)"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1980, 40, 260, 720, 750, 5,
     25},  // 0x18 "720P(50)"
    {74.25f, kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080,
     1125, 5, 20},  // 0x19 "1080i(50)"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080, 1125, 5,
     41},  // 0x1A "1080P(25)"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080, 1125, 5,
     41},  // 0x1B "1080P(50)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 3840, 4400, 44, 192, 2160, 2250, 10,
     82},  // 0x1C "4K(30)"
    {296.7f, kStdHSyncPositive | kStdVSyncPositive, 3840, 4400, 44, 192, 2160, 2250, 10,
     82},  // 0x1D "4K(29.97)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 3840, 5280, 44, 192, 2160, 2250, 10,
     82},  // 0x1E "4K(25)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 3840, 5500, 44, 192, 2160, 2250, 10,
     82},  // 0x1F "4K(24)"
    {296.7f, kStdHSyncPositive | kStdVSyncPositive, 3840, 5500, 44, 192, 2160, 2250, 10,
     82},  // 0x20 "4K(23.98)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 4096, 5500, 44, 192, 2160, 2250, 10,
     82},  // 0x21 "4096x2160(24)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 3840, 4400, 44, 192, 2160, 2250, 10,
     82},  // 0x22 "4K(4:2:0)(60)"
    {296.7f, kStdHSyncPositive | kStdVSyncPositive, 3840, 4400, 44, 192, 2160, 2250, 10,
     82},  // 0x23 "4K(4:2:0)(59.94)"
    {297.0f, kStdHSyncPositive | kStdVSyncPositive, 3840, 5280, 44, 192, 2160, 2250, 10,
     82},  // 0x24 "4K(4:2:0)(50)"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 1470, 1500, 5,
     25},  // 0x25 "720P_3D(60)FP"
    {148.3517f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 1470, 1500, 5,
     25},  // 0x26 "720P_3D(59.94)FP"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 2205, 2250, 5,
     41},  // 0x27 "1080P_3D(24)FP"
    {148.3517f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 2205, 2250, 5,
     41},                                                 // 0x28 "1080P_3D(23.98)FP"
    {148.5f, 0, 1280, 1980, 40, 260, 1470, 1500, 5, 25},  // 0x29 "720P_3D(50)FP"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 720, 750, 5,
     25},  // 0x2A "720P_3D(59.94)SbS"
    {74.17582f, kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080,
     1125, 5, 20},  // 0x2B "1080i_3D(59.94)SbS"
    {148.3517f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},  // 0x2C "1080P_3D(59.94)SbS"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 1080, 1125, 5,
     41},  // 0x2D "1080P_3D(23.97)SbS"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1980, 40, 260, 720, 750, 5,
     25},  // 0x2E "720P_3D(50)SbS"
    {74.25f, kStdInterlaced | kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080,
     1125, 5, 20},  // 0x2F "1080i_3D(50)SbS"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080, 1125, 5,
     41},  // 0x30 "1080P_3D(50)SbS"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1650, 40, 260, 720, 750, 5,
     25},  // 0x31 "720P_3D(59.94)TB"
    {148.3517f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2200, 44, 192, 1080, 1125, 5,
     41},  // 0x32 "1080P_3D(59.94)TB"
    {74.17582f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2750, 44, 192, 1080, 1125, 5,
     41},  // 0x33 "1080P_3D(23.97)TB"
    {74.25f, kStdHSyncPositive | kStdVSyncPositive, 1280, 1980, 40, 260, 720, 750, 5,
     25},  // 0x34 "720P_3D(50)TB"
    {148.5f, kStdHSyncPositive | kStdVSyncPositive, 1920, 2640, 44, 192, 1080, 1125, 5,
     41},  // 0x35 "1080P_3D(50)TB"
}};

UserTiming standardTimingRecord(TimingCode code) {
    UserTiming r;
    if (!isStandardTiming(code))
        return r;
    const StandardTiming& e = kStandardTimings[static_cast<std::size_t>(code)];
    const bool interlaced = (e.flags & kStdInterlaced) != 0;
    // The product in single precision, as the listed decimal: 25.175 MHz reports 2518.
    r.clock10kHz = static_cast<std::uint16_t>(std::lround(e.clockMHz * 100.0f));
    r.flags =
        static_cast<std::uint8_t>((interlaced ? UserTiming::kInterlaced : 0) |
                                  ((e.flags & kStdHSyncPositive) ? UserTiming::kHSyncPositive : 0) |
                                  ((e.flags & kStdVSyncPositive) ? UserTiming::kVSyncPositive : 0));
    r.hActive = e.hActive;
    r.hBlank = static_cast<std::uint16_t>(e.hTotal - e.hActive);
    r.hSyncOffset = static_cast<std::uint16_t>(r.hBlank - e.hSyncToActive);
    r.hSyncWidth = e.hSyncWidth;
    const int vActive = interlaced ? e.vActive / 2 : e.vActive;
    const int vTotal = interlaced ? e.vTotal / 2 : e.vTotal;
    r.vActive = static_cast<std::uint16_t>(vActive);
    r.vBlank = static_cast<std::uint16_t>(vTotal - vActive);
    r.vSyncOffset = static_cast<std::uint16_t>(vTotal - vActive - e.vSyncToActive);
    r.vSyncWidth = e.vSyncWidth;
    return r;
}

const SettingFacts* settingFactsForCode(CommandCode code) {
    const auto* it = std::find_if(
        kSettingFacts.begin(), kSettingFacts.end(),
        [code](const SettingFacts& f) { return f.setCode == code || f.getCode == code; });
    return it == kSettingFacts.end() ? nullptr : it;
}

std::optional<std::size_t> answerDataSize(CommandCode request) {
    switch (request) {
        case CMD_GET_TIMING:
        case CMD_GET_PATTERN:
        case CMD_GET_COLOR_SPACE:
        case CMD_GET_COLOR_DEPTH:
        case CMD_GET_HDCP:
        case CMD_GET_OUTPUT_MODE:
        case CMD_GET_SAMPLE_RATE:
        case CMD_GET_AUDIO_BITS:
        case CMD_GET_AUDIO_SOURCE:
        case CMD_GET_AUDIO_CHANNELS:
        case CMD_GET_HOT_PLUG:
        case CMD_GET_POWER:
            return kStatusAnswerSize;
        case CMD_GET_USER_TIMING:
        case CMD_GET_TIMING_DETAILS:
            return kUserTimingSize;
        case CMD_GET_LINK_STATUS:
            return kLinkStatusSize;
        case CMD_READ_TV_EDID:
            return kEdidAnswerSize;
        case CMD_READ_SAVED_EDID:
            return kSavedEdidAnswerSize;
        case CMD_READ_ADDRESS:
            return kAddressAnswerSize;
        case CMD_PING:
            return kPingAnswerSize;
        default:
            break;
    }
    if (commandName(request).empty())
        return std::nullopt;
    return 0;  // the set and device commands are acknowledged without data
}

}  // namespace krx
