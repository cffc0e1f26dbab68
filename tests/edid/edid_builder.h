// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edid/edid_decoder.h"

namespace krx::test {

struct TimingFields {
    unsigned pixelClock10kHz = 0;
    unsigned horizontalActive = 0;
    unsigned horizontalBlank = 0;
    unsigned verticalActive = 0;  // field lines when interlaced
    unsigned verticalBlank = 0;
    bool interlaced = false;
};

// The 18 bytes of a detailed timing descriptor (sync fields zero, separate digital sync).
inline std::vector<std::uint8_t> timingBytes(const TimingFields& t) {
    const auto low = [](unsigned v) { return static_cast<std::uint8_t>(v & 0xFFU); };
    std::vector<std::uint8_t> bytes(18, 0);
    bytes[0] = low(t.pixelClock10kHz);
    bytes[1] = low(t.pixelClock10kHz >> 8);
    bytes[2] = low(t.horizontalActive);
    bytes[3] = low(t.horizontalBlank);
    bytes[4] = low((t.horizontalActive >> 8) << 4 | (t.horizontalBlank >> 8));
    bytes[5] = low(t.verticalActive);
    bytes[6] = low(t.verticalBlank);
    bytes[7] = low((t.verticalActive >> 8) << 4 | (t.verticalBlank >> 8));
    bytes[17] = t.interlaced ? 0x9E : 0x1E;
    return bytes;
}

// Builds EDID images field by field. Starts as the standard header followed by zeros; finish()
// fixes both block checksums unless told otherwise.
class EdidBuilder {
  public:
    EdidBuilder() { set(0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}).set(18, {1, 3}); }

    EdidBuilder& set(std::size_t offset, std::uint8_t value) {
        image_.at(offset) = value;
        return *this;
    }
    EdidBuilder& set(std::size_t offset, const std::vector<std::uint8_t>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            set(offset + i, values[i]);
        }
        return *this;
    }
    EdidBuilder& timing(std::size_t offset, const TimingFields& t) {
        return set(offset, timingBytes(t));
    }
    // Sets d (byte 130).
    EdidBuilder& descriptorOffset(std::uint8_t d) { return set(130, d); }

    EdidImage finish(bool fixChecksums = true) const {
        EdidImage image = image_;
        for (std::size_t first = 0; fixChecksums && first < image.size(); first += 128) {
            unsigned sum = 0;
            for (std::size_t i = first; i < first + 127; ++i) {
                sum += image[i];
            }
            image[first + 127] = static_cast<std::uint8_t>(256U - (sum & 0xFFU));
        }
        return image;
    }

  private:
    EdidImage image_{};
};

}  // namespace krx::test
