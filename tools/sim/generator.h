// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/command_frame.h"
#include "link/device_status.h"
#include "link/generator_facts.h"
#include "sim_edid.h"

namespace krx::sim {

// Output settings of a device fresh from the factory and after "restore defaults".
DeviceStatus factoryStatus();

// "Restore defaults" takes effect this long after the request, as on the real device.
inline constexpr std::int64_t kRestoreDelayUs = 1'000'000;

// Whether a device can be given this bus address: group and device both within 0x01..0xFE. The
// broadcast pairs and the half-broadcast pairs would make the device unreachable on its own.
constexpr bool isDeviceAddress(TargetAddress address) {
    const auto inRange = [](std::uint8_t v) { return v >= 0x01 && v <= 0xFE; };
    return inRange(address.group) && inRange(address.device);
}

// What a request addressed to (group, device) means to one device.
enum class Reach {
    Ignore,  // not for this device, or an invalid address pair
    Act,     // carry it out, answer nothing (FF/FF, GG/FF)
    Answer,  // carry it out and answer
};

// The data of one answer: the code it repeats and its data bytes (empty for an acknowledgement).
struct Answer {
    CommandCode code = 0;
    std::vector<std::uint8_t> data;
};

// One generator on the line: its bus address and its whole state. Pure; time is passed in.
class Generator {
  public:
    Generator(TargetAddress address, const EdidBytes& attachedEdid);

    // With no display attached, hot plug reads 0, the display's EDID cannot be read and the
    // automatic timing falls back to 1080P(60).
    void setDisplayAttached(bool attached);

    TargetAddress address() const { return address_; }
    Reach reach(TargetAddress to) const;

    // Carries out one valid command frame received at `nowUs` (us) and returns its answer, or
    // nothing when the request does not make sense to the device (a payload of the wrong size, a
    // value out of range, a new bus address that is not a device address), which a device
    // ignores. Set commands are acknowledged with an answer repeating the code without data.
    // Answers are given whatever the addressing; whether they are sent is the line's decision
    // (reach()).
    std::optional<Answer> handle(CommandCode code, std::span<const std::uint8_t> payload,
                                 std::int64_t nowUs);

    // Applies a pending "restore defaults" whose time has come.
    void settle(std::int64_t nowUs);

    const DeviceStatus& status() const { return status_; }
    const std::array<UserTiming, kUserTimingSlots>& userTimings() const { return userTimings_; }
    const EdidBytes& attachedEdid() const { return attachedEdid_; }
    const EdidBytes& storedEdid(std::size_t slot) const { return storedEdids_.at(slot); }

    // Parameters of the current timing as the 0x80A1 answer reports them.
    UserTiming currentTimingRecord() const;
    // Colour space, colour depth, output mode, sample rate, audio bits, channels as output: AUTO
    // settings resolved to the concrete value in use.
    std::array<std::uint8_t, kLinkStatusSize> linkStatus() const;

  private:
    std::optional<Answer> setValue(CommandCode code, std::span<const std::uint8_t> payload);
    std::optional<Answer> deviceCommand(CommandCode code, std::span<const std::uint8_t> payload,
                                        std::int64_t nowUs);
    std::optional<Answer> readRecord(CommandCode code, std::span<const std::uint8_t> payload) const;
    void setTiming(std::uint8_t code);

    TargetAddress address_;
    DeviceStatus status_;
    std::array<UserTiming, kUserTimingSlots> userTimings_{};
    EdidBytes attachedEdid_;
    std::array<EdidBytes, 10> storedEdids_{};
    std::optional<std::int64_t> restoreAtUs_;
};

}  // namespace krx::sim
