// SPDX-License-Identifier: MIT
// Runs the built krx-vtp-sim and talks to it through its pty, as the console would.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sim_test_support.h"
#include "support/sim_process.h"

namespace krx::sim {
namespace {

using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;

using krx::testing::kProcessSafetyTimeoutMs;
using krx::testing::SimProcess;
using krx::testing::waitReadable;

class SimProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "krx-sim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        link = dir / "ports" / "COM3";
        log = dir / "traffic.jsonl";
    }
    void TearDown() override {
        if (port >= 0)
            close(port);
        std::filesystem::remove_all(dir);
    }

    void openPort() {
        port = open(link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0) << link;
        termios settings{};
        ASSERT_EQ(tcgetattr(port, &settings), 0);
        cfmakeraw(&settings);
        ASSERT_EQ(tcsetattr(port, TCSANOW, &settings), 0);
    }

    Bytes exchange(const Bytes& request, std::size_t answerSize) {
        EXPECT_EQ(write(port, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes answer;
        std::array<std::uint8_t, 64> buffer{};
        while (answer.size() < answerSize && waitReadable(port, kProcessSafetyTimeoutMs)) {
            const ssize_t n = read(port, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
        return answer;
    }

    std::vector<std::string> logLines() const {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path dir;
    std::filesystem::path link;
    std::filesystem::path log;
    int port = -1;
};

TEST_F(SimProcessTest, AnswersThroughItsLinkAndLogsBothFrames) {
    SimProcess sim(KRX_SIM_BINARY,
                   {"--link", link.string(), "--log", log.string(), "--device", "0102"});
    const auto ptyPath = sim.firstLine();
    ASSERT_TRUE(ptyPath.has_value());
    EXPECT_EQ(std::filesystem::read_symlink(link), *ptyPath);
    openPort();

    const Bytes request = frameBytes(CMD_GET_TIMING, {}, {0x01, 0x02});
    const Bytes expected = answerBytes({0x01, 0x02}, CMD_GET_TIMING, {0x14});
    EXPECT_EQ(exchange(request, expected.size()), expected);

    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind(R"({"time_us":)", 0), 0u);
    EXPECT_NE(lines[0].find(R"("dir":"received","bytes":"AA 00 00 05 00 01 02 61 80 6D",)"
                            R"("command":"CMD_GET_TIMING"})"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(R"("dir":"sent","bytes":"AB 00 00 06 00 01 02 61 80 14 57",)"
                            R"("command":"CMD_GET_TIMING"})"),
              std::string::npos)
        << lines[1];

    sim.terminate();
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(SimProcessTest, HangUpClosesTheLineAndEndsTheProgram) {
    SimProcess sim(KRX_SIM_BINARY, {"--link", link.string(), "--no-pace", "--hang-up-after", "1"});
    ASSERT_TRUE(sim.firstLine().has_value());
    openPort();
    const Bytes expected = answerBytes({0x01, 0x01}, CMD_PING, {0x00, 0x00});
    EXPECT_EQ(exchange(frameBytes(CMD_PING), expected.size()), expected);

    // The console sees the line go away: a hang-up, then end of data or an error.
    ASSERT_TRUE(waitReadable(port, kProcessSafetyTimeoutMs));
    std::uint8_t byte = 0;
    EXPECT_LE(read(port, &byte, 1), 0);
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(SimProcessTest, ServesTheEdidFileItIsGiven) {
    EdidBytes edid = defaultTvEdid();
    edid[20] = 0x5A;  // any change will do; the simulator serves the file as it is
    const std::filesystem::path file = dir / "display.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(edid.data()),
               static_cast<std::streamsize>(edid.size()));
    SimProcess sim(KRX_SIM_BINARY, {"--link", link.string(), "--no-pace", "--edid", file.string()});
    ASSERT_TRUE(sim.firstLine().has_value());
    openPort();
    const Bytes expected =
        answerBytes({0x01, 0x01}, CMD_READ_TV_EDID, Bytes(edid.begin(), edid.end()));
    EXPECT_EQ(exchange(frameBytes(CMD_READ_TV_EDID, {0x01}), expected.size()), expected);
    sim.terminate();
    EXPECT_EQ(sim.waitExit(), 0);
}

TEST_F(SimProcessTest, RefusesBadInputWithoutCreatingTheLink) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
    };
    const std::vector<Row> rows = {
        {"bad device address", {"--device", "0000"}, 2},
        {"missing EDID file", {"--edid", (dir / "none.bin").string()}, 1},
        {"EDID file of another kind", {"--edid", "/proc/self/status"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"--link", link.string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        SimProcess sim(KRX_SIM_BINARY, args);
        EXPECT_EQ(sim.waitExit(), row.exitCode);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
}

}  // namespace
}  // namespace krx::sim
