// SPDX-License-Identifier: MIT
#include "edid_builder.h"

#include <algorithm>
#include <array>

namespace krx::test {
namespace {

void fixSum(EdidImage& image, std::size_t first) {
    unsigned sum = 0;
    for (std::size_t i = first; i < first + 127; ++i) {
        sum += image[i];
    }
    image[first + 127] = static_cast<std::uint8_t>((256U - (sum & 0xFFU)) & 0xFFU);
}

}  // namespace

std::vector<std::uint8_t> timingBytes(const TimingSpec& descriptor) {
    const auto low = [](unsigned v) { return static_cast<std::uint8_t>(v & 0xFFU); };
    return {low(descriptor.pixelClock10kHz),
            low(descriptor.pixelClock10kHz >> 8),
            low(descriptor.horizontalActive),
            low(descriptor.horizontalBlank),
            low((descriptor.horizontalActive >> 8) << 4 | (descriptor.horizontalBlank >> 8)),
            low(descriptor.verticalActive),
            low(descriptor.verticalBlank),
            low((descriptor.verticalActive >> 8) << 4 | (descriptor.verticalBlank >> 8)),
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            descriptor.interlaced ? std::uint8_t{0x9E} : std::uint8_t{0x1E}};
}

EdidBuilder::EdidBuilder() {
    set(0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    set(18, {0x01, 0x03});  // EDID 1.3
}

EdidBuilder& EdidBuilder::manufacturer(char first, char second, char third) {
    const auto letter = [](char c) { return static_cast<unsigned>(c - '@') & 0x1FU; };
    const unsigned packed = letter(first) << 10 | letter(second) << 5 | letter(third);
    return set(8, {static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed)});
}

EdidBuilder& EdidBuilder::productCode(unsigned code) {
    return set(10, {static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8)});
}

EdidBuilder& EdidBuilder::digital(bool isDigital) {
    return set(20, isDigital ? std::uint8_t{0x80} : std::uint8_t{0x00});
}

EdidBuilder& EdidBuilder::timing(std::size_t offset, const TimingSpec& descriptor) {
    return set(offset, timingBytes(descriptor));
}

EdidBuilder& EdidBuilder::displayName(std::size_t offset, std::string_view name) {
    set(offset, {0x00, 0x00, 0x00, 0xFC, 0x00});
    for (std::size_t i = 0; i < 13; ++i) {
        const std::uint8_t pad = i == name.size() ? 0x0A : 0x20;
        set(offset + 5 + i, i < name.size() ? static_cast<std::uint8_t>(name[i]) : pad);
    }
    return *this;
}

EdidBuilder& EdidBuilder::rangeLimits(std::size_t offset, unsigned minVerticalHz,
                                      unsigned maxVerticalHz, unsigned minHorizontalKHz,
                                      unsigned maxHorizontalKHz, unsigned maxClock10MHz) {
    const auto byte = [](unsigned v) { return static_cast<std::uint8_t>(v); };
    return set(offset, {0x00, 0x00, 0x00, 0xFD, 0x00, byte(minVerticalHz), byte(maxVerticalHz),
                        byte(minHorizontalKHz), byte(maxHorizontalKHz), byte(maxClock10MHz), 0x00,
                        0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20});
}

EdidBuilder& EdidBuilder::ceaExtension(std::uint8_t deviceSupport) {
    collectionEnd_ = 132;
    return set(126, 1).set(128, {0x02, 0x03, 0x04, deviceSupport});
}

EdidBuilder& EdidBuilder::dataBlock(unsigned tag, const std::vector<std::uint8_t>& payload) {
    set(collectionEnd_, static_cast<std::uint8_t>(tag << 5 | (payload.size() & 0x1FU)));
    set(collectionEnd_ + 1, payload);
    collectionEnd_ += payload.size() + 1;
    return descriptorOffset(static_cast<std::uint8_t>(collectionEnd_ - 128));
}

EdidBuilder& EdidBuilder::descriptorOffset(std::uint8_t d) {
    return set(130, d);
}

EdidBuilder& EdidBuilder::set(std::size_t offset, std::uint8_t value) {
    image_.at(offset) = value;
    return *this;
}

EdidBuilder& EdidBuilder::set(std::size_t offset, const std::vector<std::uint8_t>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        set(offset + i, values[i]);
    }
    return *this;
}

EdidImage EdidBuilder::finish(bool fixChecksums) const {
    EdidImage image = image_;
    if (fixChecksums) {
        fixSum(image, 0);
        fixSum(image, 128);
    }
    return image;
}

std::vector<std::uint8_t> hdmiPayload(const std::vector<std::uint8_t>& rest) {
    constexpr std::array<std::uint8_t, 5> kIdentifierAndAddress = {0x03, 0x0C, 0x00, 0x10, 0x00};
    std::vector<std::uint8_t> payload(kIdentifierAndAddress.size() + rest.size());
    std::copy(kIdentifierAndAddress.begin(), kIdentifierAndAddress.end(), payload.begin());
    std::copy(rest.begin(), rest.end(), payload.begin() + kIdentifierAndAddress.size());
    return payload;
}

}  // namespace krx::test
