// SPDX-License-Identifier: MIT
#include "ops/port_search.h"

#include "link/generator_facts.h"
#include "link/port_map.h"

namespace krx::ops {

bool PortSearch::openFrom(int comNumber) {
    for (port_ = comNumber; port_ <= kLastComPort; ++port_)
        if (line_.openPort(port_))
            return true;
    port_ = kLastComPort;
    return false;
}

bool PortSearch::start() {
    if (!openFrom(kFirstComPort))
        return false;
    line_.sendProbe(kFirstProbeWaitMs);
    return true;
}

PortSearch::Step PortSearch::probeEnded(bool answered) {
    if (answered)
        return Step::Found;
    line_.closePort();
    if (!openFrom(port_ + 1))
        return Step::Exhausted;
    if (pauseMs_ > 0)
        line_.waitMs(pauseMs_);
    line_.sendProbe(kLaterProbeWaitMs);
    return Step::Probing;
}

}  // namespace krx::ops
