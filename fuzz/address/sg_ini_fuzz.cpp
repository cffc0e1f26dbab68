// SPDX-License-Identifier: MIT
// Arbitrary bytes as SG.ini and as the texts of the hex boxes. Whatever is read must write back
// and read again into the same book, and no description may outgrow its ten bytes or keep a line
// end or NUL. Violated invariants abort, so that libFuzzer and the corpus replay report them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "address/address_book.h"
#include "address/hex_text.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkHexHelpers(std::string_view text) {
    std::uint8_t byte = 0x5A;
    if (!krx::parseHexByte(text.substr(0, 2), byte))
        check(byte == 0x5A);
    check(krx::parseHexBytes(text).size() <= text.size() / 2);
    if (!text.empty()) {
        const auto value = static_cast<std::uint8_t>(text[0]);
        std::uint8_t back = 0;
        check(krx::parseHexByte(krx::formatHex2(value), back) && back == value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkHexHelpers(text);

    krx::AddressEntries entries;
    krx::parseSgIni(text, entries);
    for (krx::AddressEntry& entry : entries) {
        check(entry.description.size() <= krx::kDescriptionLength);
        check(entry.description.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        if (entry.description.empty())
            entry.description.assign(1, ' ');  // how an empty description is saved
    }
    krx::AddressEntries again;
    krx::parseSgIni(krx::formatSgIni(entries), again);
    check(again == entries);
    return 0;
}
