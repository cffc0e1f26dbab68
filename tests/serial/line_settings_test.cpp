// SPDX-License-Identifier: MIT
#include "link/line_settings.h"

#include <gtest/gtest.h>

#include <optional>

namespace krx {
namespace {

TEST(CharacterFormat, SetsSizeParityAndStopBits) {
    struct Row {
        const char* name;
        char parity;
        int dataBits;
        int stopBits;
        std::optional<tcflag_t> expected;  // CSIZE, parity and stop-bit flags; none: refused
    };
    const Row rows[] = {
        {"console 8N1", 'N', 8, 1, CS8},
        {"lower-case none", 'n', 8, 1, CS8},
        {"even, 7 data, 2 stop", 'E', 7, 2, CS7 | PARENB | CSTOPB},
        {"odd", 'O', 8, 1, CS8 | PARENB | PARODD},
        {"lower-case odd", 'o', 8, 1, CS8 | PARENB | PARODD},
        {"mark", 'M', 8, 1, CS8 | PARENB | PARODD | CMSPAR},
        {"space, 6 data", 'S', 6, 1, CS6 | PARENB | CMSPAR},
        {"five data bits", 'N', 5, 1, CS5},
        {"unknown parity", 'X', 8, 1, {}},
        {"nine data bits", 'N', 9, 1, {}},
        {"four data bits", 'N', 4, 1, {}},
        {"three stop bits", 'N', 8, 3, {}},
        {"no stop bits", 'N', 8, 0, {}},
    };
    const auto formatFlags = static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        termios settings{};
        // Start from the opposite of everything, so that a flag left over shows.
        settings.c_cflag = static_cast<tcflag_t>(CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CLOCAL);
        const tcflag_t before = settings.c_cflag;
        EXPECT_EQ(setCharacterFormat(settings, row.parity, row.dataBits, row.stopBits),
                  row.expected.has_value());
        if (!row.expected) {
            EXPECT_EQ(settings.c_cflag, before);
            continue;
        }
        EXPECT_EQ(settings.c_cflag & formatFlags, *row.expected);
        EXPECT_NE(settings.c_cflag & static_cast<tcflag_t>(CLOCAL), 0u) << "unrelated flag lost";
    }
}

}  // namespace
}  // namespace krx
