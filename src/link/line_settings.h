// SPDX-License-Identifier: MIT
#pragma once

#include <termios.h>

#include <optional>

namespace krx {

// The termios speed constant for a baud rate; nothing for a rate the driver interface lacks.
std::optional<speed_t> termiosSpeed(int baud);

// Raw bytes both ways: no line editing, echo, signals, translation, parity checking, software
// or hardware flow control, or output processing; the modem lines do not gate the port (CLOCAL)
// and the receiver is on (CREAD). Reads return what is queued without waiting (VMIN 0, VTIME 0).
void makeRaw(termios& settings);

// Data bits (5..8), parity letter as in a settings text (N, E, O, M, S in either case) and stop
// bits (1 or 2). False, leaving `settings` unchanged, for anything else.
bool setCharacterFormat(termios& settings, char parity, int dataBits, int stopBits);

}  // namespace krx
