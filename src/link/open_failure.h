// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace krx {

// Why a COM port could not be opened.
enum class OpenError {
    NoSuchPort,        // the number names no port at all
    NoSuchDevice,      // nothing at the device path (a link pointing nowhere included)
    PermissionDenied,  // the device exists but this user may not open it
    InUse,             // another program holds the port
    NotASerialPort,    // a file, directory or other device that is no tty
    BadAddress,        // a network port whose URL does not parse; detail says why
    SystemError,       // anything else; systemError says what
};

struct OpenFailure {
    OpenError reason = OpenError::SystemError;
    int port = 0;
    std::filesystem::path device;  // empty when the number names no device
    int systemError = 0;           // errno of the failing call; 0 when no call failed
    // For PermissionDenied: the group whose members may use the device, empty if none may.
    std::string accessGroup;
    // BadAddress: why the URL does not parse. InUse on a network port: the line the server sent
    // before closing, if any. SystemError with no errno: what failed. (Braced, so that a
    // positional initialiser may leave it out.)
    std::string detail{};
};

// One line for the operator, naming port, device and reason, with the remedy where there is one:
// "COM33 (/dev/ttyUSB0): permission denied; add your user to the 'dialout' group",
// "COM12 (tcp://rack3:4001): in use by another program (server: Port already in use)". Pure.
std::string describeOpenFailure(const OpenFailure& failure);

}  // namespace krx
