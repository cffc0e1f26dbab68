// SPDX-License-Identifier: MIT
// What the multi-frame operations need of a front end. The console implements it on its frame
// senders and window-thread sleeps, krx-vtp-ctl on its channel and main-thread waits; the
// operations themselves own no thread and no clock.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "link/command_frame.h"

namespace krx::ops {

class FrontEnd {
  public:
    // Queues one frame for the addressed generator. False when the front end can send no more
    // (its port went or stopped taking bytes): the operation then stops where it is.
    virtual bool send(CommandCode code, std::span<const std::uint8_t> payload) = 0;

    // The wait between a set command and the operation's next frame, `ms` on the front end's
    // clock. A front end that sees acknowledgements may end it when the set's has come (the
    // client: its channel discards unread input before every write, and the next frame written
    // while the acknowledgement arrives could cut it short); the console sleeps the window
    // thread. False as for send().
    virtual bool settle(int ms) = 0;

    // A plain wait of `ms` on the front end's clock.
    virtual void waitMs(int ms) = 0;

    // Shows or reports why a choice is refused; nothing has been sent for it.
    virtual void refuse(std::string_view message) = 0;

  protected:
    ~FrontEnd() = default;
};

}  // namespace krx::ops
