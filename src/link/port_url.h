// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace krx {

// How the bytes of a network port travel.
enum class PortScheme {
    RawTcp,   // tcp://: the line's bytes as they are (a raw socket of a serial device server)
    Rfc2217,  // rfc2217://: Telnet with COM-port control, which sets the remote line up
};

// A generator behind a serial device server: `tcp://HOST:PORT` or `rfc2217://HOST:PORT`.
struct PortUrl {
    PortScheme scheme = PortScheme::RawTcp;
    std::string host;  // a name, dotted IPv4, or IPv6 without its brackets
    std::uint16_t port = 0;

    bool operator==(const PortUrl&) const = default;
};

// Reads a port URL; white space around it is ignored (the first line of a text file). The scheme
// is case-insensitive; the host is a DNS name, a dotted IPv4 address or a bracketed IPv6 address;
// the port 1..65535. Anything else, a user, path or query included, gives a one-line reason.
// Pure.
std::variant<PortUrl, std::string> parsePortUrl(std::string_view text);

// The URL again, in its canonical form ("rfc2217://[::1]:2217"). Pure.
std::string formatPortUrl(const PortUrl& url);

}  // namespace krx
