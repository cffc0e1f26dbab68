// SPDX-License-Identifier: MIT
#include "sim_edid.h"

#include <algorithm>

namespace krx::sim {
namespace {

// Appends to one 128-byte block and seals it with its checksum.
class BlockWriter {
  public:
    explicit BlockWriter(std::span<std::uint8_t, 128> block) : block_(block) {}

    BlockWriter& put(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes)
            block_[at_++] = b;
        return *this;
    }
    std::size_t position() const { return at_; }
    void padTo(std::size_t end) {
        while (at_ < end)
            block_[at_++] = 0x00;
    }
    void seal() {
        padTo(127);
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < 127; ++i)
            sum = static_cast<std::uint8_t>(sum + block_[i]);
        block_[127] = static_cast<std::uint8_t>(0x100 - sum);
    }

  private:
    std::span<std::uint8_t, 128> block_;
    std::size_t at_ = 0;
};

std::uint16_t le16(std::span<const std::uint8_t, kEdidSize> e, std::size_t at) {
    return static_cast<std::uint16_t>(e[at] | (e[at + 1] << 8));
}

}  // namespace

EdidBytes defaultTvEdid() {
    EdidBytes edid{};
    BlockWriter b0(std::span<std::uint8_t, 128>(edid.data(), 128));
    b0.put({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});  // header
    b0.put({0x2E, 0x58});                                      // manufacturer "KRX"
    b0.put({0x30, 0x4B});                                      // product code 0x4B30
    b0.put({0x01, 0x01, 0x01, 0x01});                          // serial number
    b0.put({0x0C, 0x1A});                                      // week 12 of 2016
    b0.put({0x01, 0x03});                                      // EDID 1.3
    // Digital input, 121 x 68 cm, gamma 2.2, RGB colour, preferred timing in descriptor 1.
    b0.put({0x80, 0x79, 0x44, 0x78, 0x0A});
    b0.put({0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54});  // chromaticity
    b0.put({0x21, 0x08, 0x00});  // established: 640x480@60, 800x600@60, 1024x768@60
    // Standard timings: 1920x1080@60, 1280x720@60, 1280x1024@60, 1600x900@60, four unused.
    b0.put({0xD1, 0xC0, 0x81, 0xC0, 0x81, 0x80, 0xA9, 0xC0});
    b0.put({0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01});
    // Descriptor 1 (byte 54), preferred: 1920x1080p 148.5 MHz, blank 280/45, sync 88+44 / 4+5,
    // 1210 x 680 mm, digital separate sync, both polarities positive.
    b0.put({0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00, 0xBA, 0xA8,
            0x42, 0x00, 0x00, 0x1E});
    // Descriptor 2: range limits 24-75 Hz, 15-136 kHz, 600 MHz.
    b0.put({0x00, 0x00, 0x00, 0xFD, 0x00, 0x18, 0x4B, 0x0F, 0x88, 0x3C, 0x00, 0x0A, 0x20, 0x20,
            0x20, 0x20, 0x20, 0x20});
    // Descriptor 3: display name "KRX 4K TV".
    b0.put({0x00, 0x00, 0x00, 0xFC, 0x00, 'K', 'R', 'X', ' ', '4', 'K', ' ', 'T', 'V', 0x0A, 0x20,
            0x20, 0x20});
    // Descriptor 4: 1280x720p 74.25 MHz.
    b0.put({0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E, 0x28, 0x55, 0x00, 0xBA, 0xA8,
            0x42, 0x00, 0x00, 0x1E});
    b0.put({0x01});  // one extension block
    b0.seal();

    BlockWriter b1(std::span<std::uint8_t, 128>(edid.data() + 128, 128));
    b1.put({0x02, 0x03, 0x00});  // CEA-861 revision 3; DTD offset patched below
    b1.put({0xF1});              // underscan, basic audio, YCbCr 4:4:4 and 4:2:2, one native DTD
    // Video data block, 20 SVDs: 1080p60 (native), 720p60, 1080p50, 720p50, 1080i60, 1080i50,
    // 640x480p, 1080p24/25/30, 2160p24/25/30/50/60 (VIC 93-97), 4096x2160p24/25/30/50/60 (98-102).
    b1.put({0x54, 0x90, 0x04, 0x1F, 0x13, 0x05, 0x14, 0x01, 0x20, 0x21, 0x22,
            0x5D, 0x5E, 0x5F, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66});
    b1.put({0x23, 0x09, 0x07, 0x07});  // audio: LPCM 2 ch, 32/44.1/48 kHz, 16/20/24 bit
    b1.put({0x83, 0x01, 0x00, 0x00});  // speaker allocation: front left/right
    // HDMI VSDB: OUI 00-0C-03, physical address 1.0.0.0, deep colour 30/36 bit and Y444,
    // 300 MHz TMDS, HDMI video present without 3D.
    b1.put({0x6A, 0x03, 0x0C, 0x00, 0x10, 0x00, 0xB8, 0x3C, 0x20, 0x00, 0x00});
    // HDMI Forum VSDB: OUI C4-5D-D8, version 1, 600 MHz TMDS, SCDC present.
    b1.put({0x67, 0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x00});
    b1.put({0xE2, 0x00, 0xCF});  // video capability: quantisation selectable
    // YCbCr 4:2:0 capability map: SVDs 13, 14, 18, 19 (the 50 and 60 Hz 4K timings).
    b1.put({0xE4, 0x0F, 0x00, 0x60, 0x0C});
    edid[128 + 2] = static_cast<std::uint8_t>(b1.position());
    // 3840x2160p30 297 MHz, blank 560/90, sync 176+88 / 8+10.
    b1.put({0x04, 0x74, 0x00, 0x30, 0xF2, 0x70, 0x5A, 0x80, 0xB0, 0x58, 0x8A, 0x00, 0xBA, 0xA8,
            0x42, 0x00, 0x00, 0x1E});
    b1.seal();
    return edid;
}

bool edidBlockChecksumOk(std::span<const std::uint8_t, kEdidSize> edid, std::size_t offset) {
    std::uint8_t sum = 0;
    for (std::size_t i = offset; i < offset + 128 && i < kEdidSize; ++i)
        sum = static_cast<std::uint8_t>(sum + edid[i]);
    return sum == 0;
}

UserTiming preferredTimingRecord(std::span<const std::uint8_t, kEdidSize> edid) {
    constexpr std::size_t d = 54;
    UserTiming r;
    const std::uint16_t clock = le16(edid, d);
    if (clock == 0)
        return r;
    auto hi4 = [](std::uint8_t b) { return static_cast<unsigned>(b >> 4); };
    auto lo4 = [](std::uint8_t b) { return static_cast<unsigned>(b & 0x0F); };
    auto u16 = [](unsigned v) { return static_cast<std::uint16_t>(v); };
    const std::uint8_t s = edid[d + 11];  // sync high bits
    r.clock10kHz = clock;
    r.hActive = u16(edid[d + 2] | (hi4(edid[d + 4]) << 8));
    r.hBlank = u16(edid[d + 3] | (lo4(edid[d + 4]) << 8));
    r.vActive = u16(edid[d + 5] | (hi4(edid[d + 7]) << 8));
    r.vBlank = u16(edid[d + 6] | (lo4(edid[d + 7]) << 8));
    r.hSyncOffset = u16(edid[d + 8] | (((s >> 6) & 0x03u) << 8));
    r.hSyncWidth = u16(edid[d + 9] | (((s >> 4) & 0x03u) << 8));
    r.vSyncOffset = u16(hi4(edid[d + 10]) | (((s >> 2) & 0x03u) << 4));
    r.vSyncWidth = u16(lo4(edid[d + 10]) | ((s & 0x03u) << 4));
    const std::uint8_t f = edid[d + 17];
    std::uint8_t flags = (f & 0x80) ? UserTiming::kInterlaced : 0;
    if ((f & 0x18) == 0x18) {  // digital separate sync carries both polarities
        if (f & 0x02)
            flags |= UserTiming::kHSyncPositive;
        if (f & 0x04)
            flags |= UserTiming::kVSyncPositive;
    }
    r.flags = flags;
    return r;
}

bool edidHasHdmiVsdb(std::span<const std::uint8_t, kEdidSize> edid) {
    if (edid[128] != 0x02)
        return false;
    const std::size_t end = 128 + std::min<std::size_t>(edid[130], 127);
    std::size_t at = 132;
    while (at < end) {
        const unsigned tag = edid[at] >> 5;
        const std::size_t len = edid[at] & 0x1Fu;
        if (tag == 3 && len >= 3 && at + 3 < kEdidSize && edid[at + 1] == 0x03 &&
            edid[at + 2] == 0x0C && edid[at + 3] == 0x00)
            return true;
        at += len + 1;
    }
    return false;
}

}  // namespace krx::sim
