// SPDX-License-Identifier: MIT
#include "link/port_map.h"

#include <gtest/gtest.h>

#include <fstream>

#include "serial_test_support.h"

namespace krx {
namespace {

struct StandardRow {
    const char* name;
    int port;
    const char* device;  // nullptr: none
};

class StandardDevicePath : public ::testing::TestWithParam<StandardRow> {};

TEST_P(StandardDevicePath, MapsComNumberToDevice) {
    const StandardRow& row = GetParam();
    const auto device = standardDevicePath(row.port);
    if (row.device == nullptr) {
        EXPECT_FALSE(device.has_value()) << device->string();
        return;
    }
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(device->string(), row.device);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StandardDevicePath,
    ::testing::Values(StandardRow{"Com1", 1, "/dev/ttyS0"}, StandardRow{"Com32", 32, "/dev/ttyS31"},
                      StandardRow{"Com33", 33, "/dev/ttyUSB0"},
                      StandardRow{"Com64", 64, "/dev/ttyUSB31"},
                      StandardRow{"Com65", 65, "/dev/ttyACM0"},
                      StandardRow{"Com96", 96, "/dev/ttyACM31"}, StandardRow{"Com97", 97, nullptr},
                      StandardRow{"Com99", 99, nullptr}, StandardRow{"Com0", 0, nullptr},
                      StandardRow{"Com100", 100, nullptr}, StandardRow{"Negative", -3, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComPortDevice, PortsEntryComesFirstEvenWhenItPointsNowhere) {
    const test::PortsDir ports;
    ports.link(1, "/dev/null");
    ports.link(10, ports.path() / "missing-target");
    ports.link(98, "/dev/null");

    EXPECT_EQ(comPortDevice(1, ports.path()), ports.path() / "COM1");
    EXPECT_EQ(comPortDevice(10, ports.path()), ports.path() / "COM10");
    EXPECT_EQ(comPortDevice(98, ports.path()), ports.path() / "COM98");
}

TEST(ComPortDevice, FallsBackToStandardDeviceWithoutEntry) {
    const test::PortsDir ports;
    ports.link(2, "/dev/null");
    EXPECT_EQ(comPortDevice(1, ports.path()), std::filesystem::path("/dev/ttyS0"));
    EXPECT_EQ(comPortDevice(40, ports.path() / "no-such-dir"),
              std::filesystem::path("/dev/ttyUSB7"));
    EXPECT_FALSE(comPortDevice(97, ports.path()).has_value());
}

TEST(ComPortDevice, NumbersOutsideTheRangeHaveNoDeviceEvenWithAnEntry) {
    const test::PortsDir ports;
    std::ofstream(ports.path() / "COM0").put('x');
    ports.link(100, "/dev/null");
    EXPECT_FALSE(comPortDevice(0, ports.path()).has_value());
    EXPECT_FALSE(comPortDevice(100, ports.path()).has_value());
}

}  // namespace
}  // namespace krx
