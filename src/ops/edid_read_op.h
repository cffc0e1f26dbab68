// SPDX-License-Identifier: MIT
// Asking the generator for an EDID: the display's or one of the ten it has saved.
#pragma once

#include "link/command_frame.h"
#include "ops/front_end.h"

namespace krx::ops {

// How long the whole 256-byte answer may take.
inline constexpr int kEdidReadMs = 600;
inline constexpr std::uint8_t kTvEdidPayload = 0x01;

class EdidLine : public FrontEnd {
  public:
    // The request is out: put the receiver in EDID-read mode for the answer to
    // CMD_READ_SAVED_EDID (fromSavedSlot) or CMD_READ_TV_EDID and give it `watchdogMs`. The
    // result is the front end's: the console returns at once and the receiver calls back, the
    // client waits and says whether the answer came.
    virtual bool awaitEdid(bool fromSavedSlot, int watchdogMs) = 0;

  protected:
    ~EdidLine() = default;
};

// The request for `source`: 0 is the attached display, n the saved slot n, asked for as n - 1
// (modulo 256, so -1, no source chosen, asks for 0xFE).
CommandCode edidRequestCode(int source);

// Sends the request for `source` and hands the wait to the front end; its result, false also
// when the request could not be sent.
bool readEdid(EdidLine& line, int source);

}  // namespace krx::ops
