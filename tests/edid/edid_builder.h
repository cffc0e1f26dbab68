// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"

namespace krx::test {

struct TimingSpec {
    unsigned pixelClock10kHz = 0;
    unsigned horizontalActive = 0;
    unsigned horizontalBlank = 0;
    unsigned verticalActive = 0;  // field lines when interlaced
    unsigned verticalBlank = 0;
    bool interlaced = false;
};

// The 18 bytes of a detailed timing descriptor (sync fields zero, separate digital sync).
std::vector<std::uint8_t> timingBytes(const TimingSpec& descriptor);

// Builds EDID images field by field. Starts as the standard header followed by zeros; finish()
// fixes both block checksums unless told otherwise.
class EdidBuilder {
  public:
    EdidBuilder();

    EdidBuilder& manufacturer(char first, char second, char third);
    EdidBuilder& productCode(unsigned code);
    EdidBuilder& digital(bool isDigital);
    EdidBuilder& timing(std::size_t offset, const TimingSpec& descriptor);
    EdidBuilder& displayName(std::size_t offset, std::string_view name);
    EdidBuilder& rangeLimits(std::size_t offset, unsigned minVerticalHz, unsigned maxVerticalHz,
                             unsigned minHorizontalKHz, unsigned maxHorizontalKHz,
                             unsigned maxClock10MHz);
    // Byte 126 = 1 and a CEA extension block: tag 02, revision 3, d = 4 and `deviceSupport` at 131.
    // Data blocks appended afterwards move d past them.
    EdidBuilder& ceaExtension(std::uint8_t deviceSupport = 0);
    // Appends a data block (header tag << 5 | payload size) to the collection and moves d after it.
    EdidBuilder& dataBlock(unsigned tag, const std::vector<std::uint8_t>& payload);
    // Overrides d (byte 130) after the blocks have been placed.
    EdidBuilder& descriptorOffset(std::uint8_t d);
    EdidBuilder& set(std::size_t offset, std::uint8_t value);
    EdidBuilder& set(std::size_t offset, const std::vector<std::uint8_t>& values);

    EdidImage finish(bool fixChecksums = true) const;

  private:
    EdidImage image_{};
    std::size_t collectionEnd_ = 132;
};

// An HDMI vendor-specific block payload: IEEE 00-0C-03, physical address 1.0.0.0, then `rest`
// starting at block byte 6.
std::vector<std::uint8_t> hdmiPayload(const std::vector<std::uint8_t>& rest);

}  // namespace krx::test
