// SPDX-License-Identifier: MIT
#include "link/port_url.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace krx {

namespace {

constexpr std::string_view kSchemeSeparator = "://";
constexpr std::size_t kMaxHostNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;
constexpr unsigned kMaxPort = 65535;

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool isAddressOf(int family, const std::string& text) {
    std::array<unsigned char, sizeof(in6_addr)> address{};
    return ::inet_pton(family, text.c_str(), address.data()) == 1;
}

// Letters, digits and inner hyphens, 1..63 characters a label; a final dot is allowed.
bool isHostName(std::string_view name) {
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > kMaxHostNameLength)
        return false;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' ||
            label.back() == '-')
            return false;
        for (char c : label) {
            if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '-')
                return false;
        }
        start = end + 1;
    }
    return true;
}

bool isDigitsAndDots(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

}  // namespace

std::variant<PortUrl, std::string> parsePortUrl(std::string_view text) {
    text = trimmed(text);
    if (text.empty())
        return std::string("no address");
    const std::size_t schemeEnd = text.find(kSchemeSeparator);
    if (schemeEnd == std::string_view::npos)
        return std::string("not a URL: expected tcp://HOST:PORT or rfc2217://HOST:PORT");
    PortUrl url;
    const std::string_view scheme = text.substr(0, schemeEnd);
    if (equalsIgnoringCase(scheme, "tcp"))
        url.scheme = PortScheme::RawTcp;
    else if (equalsIgnoringCase(scheme, "rfc2217"))
        url.scheme = PortScheme::Rfc2217;
    else
        return "unknown scheme '" + std::string(scheme) + "': use tcp:// or rfc2217://";
    std::string_view rest = text.substr(schemeEnd + kSchemeSeparator.size());
    if (rest.find('@') != std::string_view::npos)
        return std::string("a user name is not supported");

    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return std::string("no ']' after the IPv6 address");
        url.host = std::string(rest.substr(1, close - 1));
        if (!isAddressOf(AF_INET6, url.host))
            return "not an IPv6 address: " + url.host;
        rest.remove_prefix(close + 1);
        if (rest.empty() || rest.front() != ':')
            return std::string("no ':PORT' after the host");
        portText = rest.substr(1);
    } else {
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            return std::string("no ':PORT' after the host");
        if (rest.find(':', colon + 1) != std::string_view::npos)
            return std::string("an IPv6 address needs brackets: [ADDRESS]:PORT");
        url.host = std::string(rest.substr(0, colon));
        if (url.host.empty())
            return std::string("no host");
        if (isDigitsAndDots(url.host) ? !isAddressOf(AF_INET, url.host) : !isHostName(url.host))
            return "not a host name or IPv4 address: " + url.host;
        portText = rest.substr(colon + 1);
    }

    unsigned port = 0;
    const char* const portEnd = portText.data() + portText.size();
    const auto [end, error] = std::from_chars(portText.data(), portEnd, port);
    if (error == std::errc::invalid_argument)
        return std::string("no port number after the host");
    if (error == std::errc{} && end != portEnd)
        return "unexpected text after the port: " + std::string(end, portEnd);
    if (error == std::errc::result_out_of_range || port == 0 || port > kMaxPort)
        return "port " + std::string(portText) + " is not in 1..65535";
    url.port = static_cast<std::uint16_t>(port);
    return url;
}

std::string formatPortUrl(const PortUrl& url) {
    std::string text = url.scheme == PortScheme::Rfc2217 ? "rfc2217://" : "tcp://";
    if (url.host.find(':') != std::string::npos)
        text += "[" + url.host + "]";
    else
        text += url.host;
    return text + ":" + std::to_string(url.port);
}

}  // namespace krx
