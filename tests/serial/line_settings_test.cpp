// SPDX-License-Identifier: MIT
#include "link/line_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace krx {
namespace {

TEST(TermiosSpeed, KnowsTheStandardRatesOnly) {
    EXPECT_EQ(termiosSpeed(115200), std::optional<speed_t>(B115200));
    EXPECT_EQ(termiosSpeed(9600), std::optional<speed_t>(B9600));
    EXPECT_EQ(termiosSpeed(921600), std::optional<speed_t>(B921600));
    EXPECT_FALSE(termiosSpeed(12345).has_value());
    EXPECT_FALSE(termiosSpeed(0).has_value());
}

struct FormatRow {
    const char* name;
    char parity;
    int dataBits;
    int stopBits;
    bool accepted;
    tcflag_t expected;  // CSIZE, parity and stop-bit flags when accepted
};

class CharacterFormat : public ::testing::TestWithParam<FormatRow> {};

TEST_P(CharacterFormat, SetsSizeParityAndStopBits) {
    const FormatRow& row = GetParam();
    const auto formatFlags = static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    termios settings{};
    // Start from the opposite of everything, so that a flag left over shows.
    settings.c_cflag = static_cast<tcflag_t>(CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CLOCAL);
    const tcflag_t before = settings.c_cflag;

    EXPECT_EQ(setCharacterFormat(settings, row.parity, row.dataBits, row.stopBits), row.accepted);
    if (!row.accepted) {
        EXPECT_EQ(settings.c_cflag, before);
        return;
    }
    EXPECT_EQ(settings.c_cflag & formatFlags, row.expected);
    EXPECT_NE(settings.c_cflag & static_cast<tcflag_t>(CLOCAL), 0u) << "unrelated flag lost";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CharacterFormat,
    ::testing::Values(FormatRow{"Console8N1", 'N', 8, 1, true, CS8},
                      FormatRow{"LowerCaseNone", 'n', 8, 1, true, CS8},
                      FormatRow{"Even7Data2Stop", 'E', 7, 2, true, CS7 | PARENB | CSTOPB},
                      FormatRow{"Odd", 'O', 8, 1, true, CS8 | PARENB | PARODD},
                      FormatRow{"Mark", 'M', 8, 1, true, CS8 | PARENB | PARODD | CMSPAR},
                      FormatRow{"Space6Data", 'S', 6, 1, true, CS6 | PARENB | CMSPAR},
                      FormatRow{"FiveDataBits", 'N', 5, 1, true, CS5},
                      FormatRow{"UnknownParity", 'X', 8, 1, false, 0},
                      FormatRow{"NineDataBits", 'N', 9, 1, false, 0},
                      FormatRow{"FourDataBits", 'N', 4, 1, false, 0},
                      FormatRow{"ThreeStopBits", 'N', 8, 3, false, 0},
                      FormatRow{"NoStopBits", 'N', 8, 0, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MakeRaw, PassesBytesUntouchedAndReadsWithoutWaiting) {
    termios settings{};
    settings.c_iflag = static_cast<tcflag_t>(ICRNL | IXON | ISTRIP | PARMRK | INPCK);
    settings.c_oflag = static_cast<tcflag_t>(OPOST | ONLCR);
    settings.c_lflag = static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    settings.c_cflag = static_cast<tcflag_t>(CRTSCTS | CS8);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 5;

    makeRaw(settings);
    EXPECT_EQ(settings.c_iflag, 0u);
    EXPECT_EQ(settings.c_oflag & static_cast<tcflag_t>(OPOST), 0u);
    EXPECT_EQ(settings.c_lflag, 0u);
    EXPECT_EQ(settings.c_cflag, static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
}

}  // namespace
}  // namespace krx
