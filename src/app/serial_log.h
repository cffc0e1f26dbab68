// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

namespace krx {

// "krx.serial": why a port could not be opened (warnings) and a lost port waited for and reopened
// (information), both on standard error by default; the channel's system-call failures after an
// open (debug, hidden unless enabled with QT_LOGGING_RULES="krx.serial.debug=true").
Q_DECLARE_LOGGING_CATEGORY(serialLog)

}  // namespace krx
