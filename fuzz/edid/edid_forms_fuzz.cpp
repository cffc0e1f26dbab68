// SPDX-License-Identifier: MIT
// Arbitrary text through the reader of pasted EDIDs. What it reads must come back unchanged from
// every text form it writes; what it refuses must name a line of the text.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "edid/edid_forms.h"

namespace {

void check(const krx::EdidResult<krx::EdidImage>& result, std::string_view text) {
    if (!result) {
        const std::string message = result.error();
        const auto lines = 1 + std::count(text.begin(), text.end(), '\n');
        long line = 0;
        const char* number = message.data() + std::min<std::size_t>(5, message.size());
        std::from_chars(number, message.data() + message.size(), line);
        if (!message.starts_with("line ") || line < 1 || line > lines) {
            std::abort();
        }
        return;
    }
    for (const auto form : {krx::EdidForm::Hex, krx::EdidForm::CArray, krx::EdidForm::Base64}) {
        const auto back = krx::parseEdidForms(krx::formatEdid(result.value(), form));
        if (!back || back.value() != result.value()) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check(krx::parseEdidForms(text), text);
    check(krx::parseEdidHexDump(text), text);
    static_cast<void>(krx::startsAsPackedHexDump(text));
    return 0;
}
