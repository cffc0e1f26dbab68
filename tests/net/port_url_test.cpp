// SPDX-License-Identifier: MIT
#include "link/port_url.h"

#include <gtest/gtest.h>

namespace krx {
namespace {

TEST(PortUrl, ReadsTheTwoSchemesWithNameIpv4OrBracketedIpv6) {
    struct Row {
        const char* text;
        PortUrl url;
    };
    const Row rows[] = {
        {"tcp://rack3:4001", {PortScheme::RawTcp, "rack3", 4001}},
        {"rfc2217://127.0.0.1:2217", {PortScheme::Rfc2217, "127.0.0.1", 2217}},
        {"  RFC2217://[::1]:65535\r\n", {PortScheme::Rfc2217, "::1", 65535}},
        {"Tcp://gen-01.lab.example.:1", {PortScheme::RawTcp, "gen-01.lab.example.", 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = parsePortUrl(row.text);
        ASSERT_TRUE(std::holds_alternative<PortUrl>(parsed)) << std::get<std::string>(parsed);
        EXPECT_EQ(std::get<PortUrl>(parsed), row.url);
        const auto again = parsePortUrl(formatPortUrl(row.url));
        ASSERT_TRUE(std::holds_alternative<PortUrl>(again));
        EXPECT_EQ(std::get<PortUrl>(again), row.url);
    }
    EXPECT_EQ(formatPortUrl({PortScheme::Rfc2217, "::1", 2217}), "rfc2217://[::1]:2217");
}

TEST(PortUrl, RefusesAnythingElseSayingWhy) {
    struct Row {
        const char* text;
        const char* reason;  // a part of the reason given
    };
    const Row rows[] = {
        {"", "no address"},
        {"rack3:4001", "not a URL"},
        {"udp://rack3:4001", "unknown scheme 'udp'"},
        {"tcp://rack3", "no ':PORT'"},
        {"tcp://:4001", "no host"},
        {"tcp://rack3:", "no port number"},
        {"tcp://rack3:0", "port 0 is not in 1..65535"},
        {"tcp://rack3:65536", "port 65536 is not in 1..65535"},
        {"tcp://rack3:99999999999", "is not in 1..65535"},
        {"tcp://rack3:40x1", "unexpected text after the port: x1"},
        {"tcp://rack3:4001/", "unexpected text after the port: /"},
        {"tcp://user@rack3:4001", "user"},
        {"tcp://::1:4001", "needs brackets"},
        {"tcp://[::1:4001", "no ']'"},
        {"tcp://[::1]4001", "no ':PORT'"},
        {"tcp://[fe80::1%eth0]:4001", "not an IPv6 address"},
        {"tcp://256.1.1.1:4001", "not a host name or IPv4 address: 256.1.1.1"},
        {"tcp://-rack3:4001", "not a host name"},
        {"tcp://rack_3:4001", "not a host name"},
        {"tcp://rack..3:4001", "not a host name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = parsePortUrl(row.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
        EXPECT_NE(std::get<std::string>(parsed).find(row.reason), std::string::npos)
            << std::get<std::string>(parsed);
    }
}

}  // namespace
}  // namespace krx
