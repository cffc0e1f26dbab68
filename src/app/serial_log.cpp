// SPDX-License-Identifier: MIT
#include "app/serial_log.h"

namespace krx {

Q_LOGGING_CATEGORY(serialLog, "krx.serial", QtInfoMsg)

}  // namespace krx
