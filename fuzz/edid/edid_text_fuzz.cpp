// SPDX-License-Identifier: MIT
// Arbitrary text through the .txt parser; whatever it reads must survive a save and a reread.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "edid/edid_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const krx::EdidImage image = krx::parseEdidText(text);
    const std::string saved = krx::formatEdidText(image);
    if (saved.size() != 784 || krx::parseEdidText(saved) != image) {
        std::abort();
    }
    return 0;
}
