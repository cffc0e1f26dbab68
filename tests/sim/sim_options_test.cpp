// SPDX-License-Identifier: MIT
#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_link.h"

namespace krx::sim {
namespace {

// Every option, each of which --help must also list; the values that take more than a copy. Help
// is asked for either way.
TEST(SimOptions, EveryOptionIsListedByHelpAndItsValueIsRead) {
    const std::vector<std::string_view> args = {
        "--link",         "ports/COM3",   "--device",        "0A0B",    "--device",     "fe01",
        "--edid",         "tv.bin",       "--log",           "t.jsonl", "--latency-us", "0",
        "--no-pace",      "--no-display", "--silent",        "8061",    "--silent",     "F802",
        "--bad-checksum", "all",          "--stall",         "80a9",    "--stall-ms",   "300",
        "--noise",        "55ff00",       "--hang-up-after", "12",      "--help",       "-h"};
    for (std::string_view arg : args) {
        if (arg.starts_with("--")) {
            EXPECT_NE(simUsage().find(arg), std::string_view::npos) << arg;
        }
    }
    const auto parsed = parseSimOptions(args);
    ASSERT_TRUE(std::holds_alternative<SimOptions>(parsed)) << std::get<std::string>(parsed);
    const SimOptions& o = std::get<SimOptions>(parsed);
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.linkPath, "ports/COM3");
    // A path with a folder is taken as it is; a bare name is a ports entry the console looks up.
    const PortsDirectories dirs = {"/opt/bin/ports", "/home/op/.config/krx-vtp-sg/ports"};
    EXPECT_EQ(linkPathFor(o.linkPath, dirs, false), "ports/COM3");
    EXPECT_EQ(linkPathFor("COM3", dirs, true), "/opt/bin/ports/COM3");
    EXPECT_EQ(linkPathFor("COM3", dirs, false), "/home/op/.config/krx-vtp-sg/ports/COM3");
    EXPECT_EQ(o.devices, (std::vector<TargetAddress>{{0x0A, 0x0B}, {0xFE, 0x01}}));
    EXPECT_EQ(o.line.faults.silentCodes, (std::set<std::uint32_t>{0x8061, 0xF802}));
    EXPECT_TRUE(faultMatches(o.line.faults.badChecksumCodes, CMD_PING));
    EXPECT_TRUE(faultMatches(o.line.faults.stallCodes, CMD_GET_LINK_STATUS));
    EXPECT_FALSE(faultMatches(o.line.faults.stallCodes, CMD_GET_TIMING));
    EXPECT_EQ(o.line.faults.stallUs, 300'000);
    EXPECT_EQ(o.line.faults.noise, (std::vector<std::uint8_t>{0x55, 0xFF, 0x00}));
}

TEST(SimOptions, MistakesAreNamed) {
    struct Row {
        std::vector<std::string_view> args;
        std::string_view mentions;
    };
    const std::vector<Row> rows = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"--link"}, "needs a value"},
        {{"--device", "101"}, "101"},
        {{"--device", "0100"}, "0100"},
        {{"--device", "FF01"}, "FF01"},
        {{"--device", "01FF"}, "01FF"},
        {{"--device", "01G1"}, "01G1"},
        {{"--device", "0202", "--device", "0202"}, "twice"},
        {{"--latency-us", "-5"}, "-5"},
        {{"--latency-us", "1ms"}, "1ms"},
        {{"--latency-us", "60000001"}, "60000001"},
        {{"--stall-ms", "0"}, "--stall-ms"},
        {{"--hang-up-after", "0"}, "--hang-up-after"},
        {{"--noise", "5"}, "--noise"},
        {{"--noise", "zz"}, "--noise"},
        {{"--silent", "61"}, "61"},
        {{"--silent", "1234"}, "1234"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.args.front()) + " " +
                     std::string(row.args.size() > 1 ? row.args[1] : ""));
        const auto parsed = parseSimOptions(row.args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
        EXPECT_NE(std::get<std::string>(parsed).find(row.mentions), std::string::npos)
            << std::get<std::string>(parsed);
    }
}

}  // namespace
}  // namespace krx::sim
