// SPDX-License-Identifier: MIT
#include "traffic_log.h"

namespace krx::sim {

std::string formatTrafficLine(const LineEvent& event) {
    return krx::formatTrafficLine({event.timeUs,
                                   event.direction == LineEvent::Direction::Received
                                       ? TrafficDirection::Received
                                       : TrafficDirection::Sent,
                                   event.bytes,
                                   commandName(event.code),
                                   event.note,
                                   {}});
}

}  // namespace krx::sim
