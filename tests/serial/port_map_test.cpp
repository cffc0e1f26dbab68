// SPDX-License-Identifier: MIT
#include "link/port_map.h"

#include "link/port_return.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "serial_test_support.h"

namespace krx {
namespace {

// COMn is the entry of the first ports directory that has one (even a link pointing nowhere), else
// the standard device: COM1-32 /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31, COM65-96 /dev/ttyACM0-31.
TEST(ComPortDevice, FirstPortsEntryEvenPointingNowhereElseTheStandardDevice) {
    const test::PortsDir ports, users;
    ports.link(1, "/dev/null");
    ports.link(10, ports.path() / "missing-target");
    ports.link(98, "/dev/null");
    ports.link(100, "/dev/null");
    users.link(1, "/dev/zero");
    users.link(5, "/dev/zero");
    std::ofstream(ports.path() / "COM0").put('x');
    const std::filesystem::path none;
    const std::pair<int, std::filesystem::path> rows[] = {
        {1, ports.entry(1)},    // a link, before the user's
        {5, users.entry(5)},    // only the user's
        {10, ports.entry(10)},  // a link that points nowhere
        {98, ports.entry(98)},  // a number without a standard device
        {2, "/dev/ttyS1"},      // no entry: the standard device
        {32, "/dev/ttyS31"},
        {33, "/dev/ttyUSB0"},
        {64, "/dev/ttyUSB31"},
        {65, "/dev/ttyACM0"},
        {96, "/dev/ttyACM31"},
        {97, none},  // neither
        {0, none},   // outside 1..99, even with an entry
        {100, none},
        {-3, none},
    };
    for (const auto& [port, expected] : rows) {
        SCOPED_TRACE(port);
        const auto device = comPortDevice(port, {ports.path(), users.path()});
        EXPECT_EQ(device.value_or(none), expected);
    }
    // A regular file, or a link to one, is a network port: its first line is the URL.
    std::ofstream(ports.path() / "COM7") << "tcp://rack3:4001\nsecond line";
    ports.link(8, ports.path() / "COM7");
    const std::pair<int, std::optional<std::string>> urls[] = {{7, "tcp://rack3:4001"},
                                                               {8, "tcp://rack3:4001"},
                                                               {1, std::nullopt},
                                                               {2, std::nullopt},
                                                               {0, std::nullopt}};
    for (const auto& [port, url] : urls)
        EXPECT_EQ(comPortUrlText(port, {ports.path(), users.path()}), url) << port;
    EXPECT_EQ(comPortDevice(40, {ports.path() / "no-such-dir"}),
              std::filesystem::path("/dev/ttyUSB7"));
    EXPECT_EQ(standardDevicePath(0), std::nullopt);
    EXPECT_EQ(portsDirectories("/opt/bin", "/home/op/.config/krx-vtp-sg"),
              (PortsDirectories{"/opt/bin/ports", "/home/op/.config/krx-vtp-sg/ports"}));
    EXPECT_EQ(portsDirectories("/opt/bin", std::nullopt), PortsDirectories{"/opt/bin/ports"});
}

// A lost COMn opened through a ports entry is that entry in every ports folder, followed link by
// link; opened as its standard device, that path; a URL file is not waited for. Watched: the
// nearest folder that exists on the way to each path and each link target, for the next name.
TEST(PortReturn, PathsWatchPointsAndPresence) {
    const test::PortsDir ports, users;
    const std::filesystem::path byId = users.path() / "serial" / "by-id";
    ports.link(3, byId / "adapter");
    std::ofstream(ports.path() / "COM7") << "tcp://rack3:4001\n";
    const std::pair<int, std::vector<std::filesystem::path>> paths[] = {
        {3, {ports.entry(3), users.entry(3)}}, {33, {"/dev/ttyUSB0"}}, {7, {}}, {97, {}}};
    for (const auto& [port, expected] : paths)
        EXPECT_EQ(portReturnPaths(port, {ports.path(), users.path()}), expected) << port;

    const WatchPoint com3{ports.path(), "COM3"}, serial{users.path(), "serial"};
    PortReturnWatcher watcher({ports.entry(3)});
    const PortReturnState unplugged = portReturnState({ports.entry(3)});
    EXPECT_FALSE(unplugged.present);
    EXPECT_EQ(unplugged.watch, (std::vector{com3, serial}));
    const std::tuple<std::filesystem::path, std::string, bool> changes[] = {
        {ports.path(), "COM3", true},
        {ports.path(), "COM4", false},
        {users.path(), "serial", true},
        {"/dev", "ttyUSB1", false}};
    for (const auto& [dir, name, concerns] : changes)
        EXPECT_EQ(concernsReturn(unplugged.watch, dir, name), concerns) << dir << ' ' << name;

    // Another number made changes nothing; the adapter's link made brings COM3 back, a device.
    ports.link(4, "/dev/null");
    EXPECT_FALSE(watcher.takeChanges());
    std::filesystem::create_directories(byId);
    std::filesystem::create_symlink(std::filesystem::relative("/dev/null", byId), byId / "adapter");
    EXPECT_TRUE(watcher.takeChanges());
    const PortReturnState back = portReturnState({ports.entry(3)});
    EXPECT_TRUE(back.present);
    EXPECT_EQ(back.watch, (std::vector{com3, {byId, "adapter"}, {"/dev", "null"}}));
    EXPECT_FALSE(portReturnState({ports.path() / "COM7"}).present) << "a URL file is no device";
    EXPECT_TRUE(portReturnState({ports.entry(5), "/dev/null"}).present);
}

}  // namespace
}  // namespace krx
