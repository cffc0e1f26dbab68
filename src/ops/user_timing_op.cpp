// SPDX-License-Identifier: MIT
#include "ops/user_timing_op.h"

#include "link/generator_facts.h"

namespace krx::ops {

StoreOutcome storeUserTiming(StoreLine& line, const StoreRequest& request) {
    using Status = StoreOutcome::Status;
    StoreOutcome outcome;
    const int slot = request.slot;
    if (slot < 1 || slot > static_cast<int>(kUserTimingSlots)) {
        line.refuse(kNoSlotMessage);
        return outcome;
    }
    if (userClockTooHigh(request.details.videoClkMHz)) {
        line.refuse(kUserClockTooHighMessage);
        return outcome;
    }
    if (request.parkWhen == ParkWhen::SavedLast) {
        outcome.parked = slot == request.slotSavedLast;
    } else {
        const auto current = line.outputTiming();
        if (!current) {
            outcome.status = Status::NoAnswer;
            return outcome;
        }
        outcome.parked = *current == userTimingCode(slot);
    }
    if (outcome.parked) {
        const auto parking = static_cast<std::uint8_t>(kParkingTiming);
        if (!line.send(CMD_SET_TIMING, {&parking, 1}) || !line.settle(kParkingWaitMs)) {
            outcome.status = Status::LineLost;
            return outcome;
        }
    }
    outcome.record = userTimingRecord(request.details, slot);
    line.storing(outcome.record);
    const auto bytes = outcome.record.toBytes();
    if (!line.send(CMD_STORE_USER_TIMING, bytes)) {
        outcome.status = Status::LineLost;
        return outcome;
    }
    line.waitMs(kStoreWaitMs);
    outcome.status = Status::Stored;
    return outcome;
}

}  // namespace krx::ops
