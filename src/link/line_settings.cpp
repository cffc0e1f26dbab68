// SPDX-License-Identifier: MIT
#include "link/line_settings.h"

#include <algorithm>
#include <iterator>

namespace krx {

namespace {

struct BaudRate {
    int baud;
    speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// The flag macros are int or unsigned int, depending on their value.
template <typename Bits>
tcflag_t flags(Bits bits) {
    return static_cast<tcflag_t>(bits);
}

}  // namespace

std::optional<speed_t> termiosSpeed(int baud) {
    const auto* found = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                     [baud](const BaudRate& rate) { return rate.baud == baud; });
    if (found == std::end(kBaudRates))
        return std::nullopt;
    return found->speed;
}

void makeRaw(termios& settings) {
    settings.c_iflag &= ~flags(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                               IXOFF | IXANY | INPCK);
    settings.c_oflag &= ~flags(OPOST);
    settings.c_lflag &= ~flags(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~flags(CRTSCTS);
    settings.c_cflag |= flags(CLOCAL | CREAD);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

bool setCharacterFormat(termios& settings, char parity, int dataBits, int stopBits) {
    static constexpr int kSizeFlags[] = {CS5, CS6, CS7, CS8};
    if (dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return false;
    tcflag_t parityFlags = 0;
    switch (parity) {
        case 'N':
        case 'n':
            break;
        case 'E':
        case 'e':
            parityFlags = flags(PARENB);
            break;
        case 'O':
        case 'o':
            parityFlags = flags(PARENB | PARODD);
            break;
        case 'M':
        case 'm':
            parityFlags = flags(PARENB | PARODD | CMSPAR);
            break;
        case 'S':
        case 's':
            parityFlags = flags(PARENB | CMSPAR);
            break;
        default:
            return false;
    }
    settings.c_cflag &= ~flags(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    settings.c_cflag |= flags(kSizeFlags[dataBits - 5]) | parityFlags;
    if (stopBits == 2)
        settings.c_cflag |= flags(CSTOPB);
    return true;
}

}  // namespace krx
