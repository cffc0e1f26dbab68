// SPDX-License-Identifier: MIT
// Any bytes, cut or padded with 0xFF to 256, through every decoder function. The decoder must
// never read outside the image (the sanitizers watch) and must keep its shape invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "edid/edid_decoder.h"
#include "edid/edid_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const krx::EdidImage image =
        krx::parseEdidBinary(std::string_view(reinterpret_cast<const char*>(data), size));
    const krx::EdidReport received = krx::EdidDecoder::decodeReceived(image);
    const krx::EdidReport all = krx::EdidDecoder::decodeAll(image);
    if (all.hexDump.size() != 3 * krx::kEdidSize || all.audio.size() < 2 ||
        all.general.size() < 2) {
        std::abort();
    }
    if (received.status.empty() || (!received.hexDump.empty() && received.video != all.video)) {
        std::abort();
    }
    for (unsigned tag = 0; tag < 8; ++tag) {
        const auto block = krx::EdidDecoder::findDataBlock(image, tag);
        if (block && (block->offset < 132 || block->offset >= krx::kEdidSize)) {
            std::abort();
        }
    }
    for (std::size_t offset = 0; offset < krx::kEdidSize; ++offset) {
        if (krx::EdidDecoder::timingRate(image, offset) < 0) {
            std::abort();
        }
    }
    return 0;
}
