// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "edid/edid_decoder.h"
#include "link/device_status.h"

namespace krx::sim {

// The 256 bytes of block 0 and the first extension, as the console's EDID decoder takes them.
using EdidBytes = EdidImage;

// The simulator's attached display: a 4K HDMI 2.0 television. Block 0 (EDID 1.3) with a 1080p60
// preferred timing, range limits and a name; a CEA-861 extension with 4K VICs, LPCM audio, the
// HDMI and HDMI Forum vendor blocks and a YCbCr 4:2:0 capability map. Both checksums are right.
EdidBytes defaultTvEdid();

// True when the 128-byte block at `offset` sums to 0.
bool edidBlockChecksumOk(std::span<const std::uint8_t, kEdidSize> edid, std::size_t offset);

// The detailed timing descriptor at byte 54 (the preferred timing) as a timing record, slot 0.
// A descriptor with pixel clock 0 (a display descriptor, not a timing) gives an all-zero record.
UserTiming preferredTimingRecord(std::span<const std::uint8_t, kEdidSize> edid);

// Whether the extension block carries the HDMI vendor-specific data block (OUI 00-0C-03).
bool edidHasHdmiVsdb(std::span<const std::uint8_t, kEdidSize> edid);

}  // namespace krx::sim
