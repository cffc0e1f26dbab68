// SPDX-License-Identifier: MIT
// Storing a user timing: the checks, moving the generator off the slot, the store and its wait.
#pragma once

#include <optional>
#include <string_view>

#include "link/device_status.h"
#include "model/timing_details.h"
#include "ops/front_end.h"

namespace krx::ops {

// A slot the generator may be outputting is left for this timing before it is rewritten, for
// this long.
inline constexpr TimingCode kParkingTiming = 0x02;  // 1024x768(60)
inline constexpr int kParkingWaitMs = 400;
// The wait after the store before the slot is chosen.
inline constexpr int kStoreWaitMs = 500;

inline constexpr std::string_view kNoSlotMessage =
    "Should select a valuable UserDefine number from the Pull-down-select-box on the right";

// Which slot is parked before it is stored: the one difference between the front ends.
enum class ParkWhen {
    // The console parks a slot it stored at the previous press (refused or not): it keeps that
    // press in memory, and the generator is then likely on the slot.
    SavedLast,
    // krx-vtp-ctl parks a slot the generator reports it is outputting: a script has no memory
    // between runs, so it asks.
    BeingOutput,
};

struct StoreRequest {
    int slot = 0;  // 1..10; anything else is refused
    TimingDetails details;
    ParkWhen parkWhen = ParkWhen::SavedLast;
    int slotSavedLast = -1;  // SavedLast: the slot of the previous press, -1 before the first
};

class StoreLine : public FrontEnd {
  public:
    // BeingOutput: the timing the generator outputs, -1 when it cannot be asked (nothing
    // answers); nothing when it did not answer.
    virtual std::optional<TimingCode> outputTiming() = 0;
    // The record is built and about to be stored.
    virtual void storing(const UserTiming& /*record*/) {}

  protected:
    ~StoreLine() = default;
};

struct StoreOutcome {
    enum class Status { Stored, Refused, NoAnswer, LineLost } status = Status::Refused;
    bool parked = false;  // CMD_SET_TIMING with the parking timing went out first
    UserTiming record;    // Stored: what went out
};

// Checks the slot and the clock (refusing with the page's messages before anything is sent),
// parks the slot as `request.parkWhen` says, stores the record and waits kStoreWaitMs. Choosing
// the slot afterwards is the front end's.
StoreOutcome storeUserTiming(StoreLine& line, const StoreRequest& request);

}  // namespace krx::ops
