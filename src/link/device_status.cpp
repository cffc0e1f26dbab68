// SPDX-License-Identifier: MIT
#include "device_status.h"

namespace krx {
namespace {

std::uint16_t readLe16(std::span<const std::uint8_t, kUserTimingSize> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void writeLe16(std::array<std::uint8_t, kUserTimingSize>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

UserTiming UserTiming::fromBytes(std::span<const std::uint8_t, kUserTimingSize> b) {
    UserTiming t;
    t.slot = b[0];
    t.clock10kHz = readLe16(b, 1);
    t.flags = b[3];
    t.hActive = readLe16(b, 4);
    t.hBlank = readLe16(b, 6);
    t.hSyncOffset = readLe16(b, 8);
    t.hSyncWidth = readLe16(b, 10);
    t.vActive = readLe16(b, 12);
    t.vBlank = readLe16(b, 14);
    t.vSyncOffset = readLe16(b, 16);
    t.vSyncWidth = readLe16(b, 18);
    return t;
}

std::array<std::uint8_t, kUserTimingSize> UserTiming::toBytes() const {
    std::array<std::uint8_t, kUserTimingSize> b{};
    b[0] = slot;
    writeLe16(b, 1, clock10kHz);
    b[3] = flags;
    writeLe16(b, 4, hActive);
    writeLe16(b, 6, hBlank);
    writeLe16(b, 8, hSyncOffset);
    writeLe16(b, 10, hSyncWidth);
    writeLe16(b, 12, vActive);
    writeLe16(b, 14, vBlank);
    writeLe16(b, 16, vSyncOffset);
    writeLe16(b, 18, vSyncWidth);
    return b;
}

}  // namespace krx
