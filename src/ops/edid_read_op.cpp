// SPDX-License-Identifier: MIT
#include "ops/edid_read_op.h"

namespace krx::ops {

CommandCode edidRequestCode(int source) {
    return source != 0 ? CMD_READ_SAVED_EDID : CMD_READ_TV_EDID;
}

bool readEdid(EdidLine& line, int source) {
    const bool fromSavedSlot = source != 0;
    const auto payload =
        fromSavedSlot ? static_cast<std::uint8_t>((source - 1) & 0xFF) : kTvEdidPayload;
    const bool sent = line.send(edidRequestCode(source), {&payload, 1});
    // The console arms the read even when its sender refused: the read then times out.
    return line.awaitEdid(fromSavedSlot, kEdidReadMs) && sent;
}

}  // namespace krx::ops
