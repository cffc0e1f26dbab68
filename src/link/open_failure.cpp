// SPDX-License-Identifier: MIT
#include "link/open_failure.h"

#include <cctype>
#include <system_error>

namespace krx {

std::string describeOpenFailure(const OpenFailure& failure) {
    std::string line = "COM" + std::to_string(failure.port);
    if (!failure.device.empty())
        line += " (" + failure.device.string() + ")";
    line += ": ";
    switch (failure.reason) {
        case OpenError::NoSuchPort:
            return line + "no such port";
        case OpenError::NoSuchDevice:
            return line + "no such device";
        case OpenError::PermissionDenied:
            line += "permission denied";
            if (!failure.accessGroup.empty())
                line += "; add your user to the '" + failure.accessGroup + "' group";
            return line;
        case OpenError::InUse:
            line += "in use by another program";
            if (!failure.detail.empty())
                line += " (server: " + failure.detail + ")";
            return line;
        case OpenError::NotASerialPort:
            return line + "not a serial port";
        case OpenError::BadAddress:
            return line + "not a port address: " + failure.detail;
        case OpenError::SystemError:
            if (failure.systemError == 0 && !failure.detail.empty())
                return line + failure.detail;
            break;
    }
    std::string text = std::error_code(failure.systemError, std::generic_category()).message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return line + text;
}

}  // namespace krx
