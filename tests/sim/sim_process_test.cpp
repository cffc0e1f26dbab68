// SPDX-License-Identifier: MIT
// Runs the built krx-vtp-sim and talks to it through its pty, as the console would. Waits are
// bounded by a generous safety time-out and nothing about speed is asserted.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sim_test_support.h"
#include "support/sim_process.h"

namespace krx::sim {
namespace {

using krx::testing::kProcessSafetyTimeoutMs;
using krx::testing::SimProcess;
using krx::testing::waitReadable;
using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;

constexpr TargetAddress kFirst{0x01, 0x01};
constexpr TargetAddress kSecond{0x01, 0x02};

class SimProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "krx-sim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        link = dir / "ports" / "COM3";
    }
    void TearDown() override {
        process.reset();
        if (port >= 0)
            close(port);
        std::filesystem::remove_all(dir);
    }

    // Starts the simulator on `link` with `args` and opens its port in raw mode.
    void start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", link.string()});
        process.emplace(KRX_SIM_BINARY, args);
        ptyPath = process->firstLine().value_or("");
        port = open(link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0) << link;
        termios settings{};
        ASSERT_EQ(tcgetattr(port, &settings), 0);
        cfmakeraw(&settings);
        ASSERT_EQ(tcsetattr(port, TCSANOW, &settings), 0);
    }
    // Writes `request` and reads until `answerSize` bytes have come or the line stays quiet.
    Bytes exchange(const Bytes& request, std::size_t answerSize) {
        EXPECT_EQ(write(port, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes answer;
        std::array<std::uint8_t, 512> buffer{};
        while (answer.size() < answerSize && waitReadable(port, kProcessSafetyTimeoutMs)) {
            const ssize_t n = read(port, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
        return answer;
    }
    // Stops the simulator as the operator does; it ends cleanly and removes its link.
    void expectCleanEnd() {
        process->terminate();
        EXPECT_EQ(process->waitExit(), 0);
        EXPECT_FALSE(linkExists());
    }
    bool linkExists() const {
        return std::filesystem::exists(std::filesystem::symlink_status(link));
    }

    std::filesystem::path dir;
    std::filesystem::path link;
    std::optional<SimProcess> process;
    std::string ptyPath;
    int port = -1;
};

TEST_F(SimProcessTest, DevicesAnswerInTurnThroughTheLinkAndEveryFrameIsLogged) {
    const std::filesystem::path log = dir / "traffic.jsonl";
    start({"--log", log.string(), "--device", "0102", "--device", "0101"});
    EXPECT_EQ(std::filesystem::read_symlink(link), ptyPath);
    const Bytes timing = answerBytes(kSecond, CMD_GET_TIMING, {0x14});
    EXPECT_EQ(exchange(frameBytes(CMD_GET_TIMING, {}, kSecond), timing.size()), timing);
    const Bytes addresses = testing::concat(answerBytes(kSecond, CMD_READ_ADDRESS, {0x01, 0x02}),
                                            answerBytes(kFirst, CMD_READ_ADDRESS, {0x01, 0x01}));
    EXPECT_EQ(exchange(frameBytes(CMD_READ_ADDRESS), addresses.size()), addresses);
    // A whole EDID, paced byte by byte, arrives complete and in order.
    const EdidBytes edid = defaultTvEdid();
    const Bytes edidAnswer = answerBytes(kFirst, CMD_READ_TV_EDID, Bytes(edid.begin(), edid.end()));
    EXPECT_EQ(exchange(frameBytes(CMD_READ_TV_EDID, {0x01}, kFirst), edidAnswer.size()),
              edidAnswer);

    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << "three requests, four answers";
    EXPECT_NE(lines[0].find(R"("dir":"received","bytes":"AA 00 00 05 00 01 02 61 80 6D",)"
                            R"("command":"CMD_GET_TIMING"})"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(R"("dir":"sent","bytes":"AB 00 00 06 00 01 02 61 80 14 57",)"
                            R"("command":"CMD_GET_TIMING"})"),
              std::string::npos)
        << lines[1];
    expectCleanEnd();
}

TEST_F(SimProcessTest, ServesItsEdidFileThenHangsUpAndEnds) {
    EdidBytes edid = defaultTvEdid();
    edid[20] = 0x5A;  // any change will do; the simulator serves the file as it is
    const std::filesystem::path file = dir / "display.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(edid.data()),
               static_cast<std::streamsize>(edid.size()));
    start({"--no-pace", "--edid", file.string(), "--hang-up-after", "1"});
    const Bytes expected = answerBytes(kFirst, CMD_READ_TV_EDID, Bytes(edid.begin(), edid.end()));
    EXPECT_EQ(exchange(frameBytes(CMD_READ_TV_EDID, {0x01}), expected.size()), expected);
    // The console sees the line go away: a hang-up, then end of data or an error.
    ASSERT_TRUE(waitReadable(port, kProcessSafetyTimeoutMs));
    std::uint8_t byte = 0;
    EXPECT_LE(read(port, &byte, 1), 0);
    EXPECT_EQ(process->waitExit(), 0);
    EXPECT_FALSE(linkExists());
}

TEST_F(SimProcessTest, StopInterruptsAStalledAnswer) {
    // Far beyond the safety time-out: only the interruption ends the writer's sleep in time.
    start({"--stall", "all", "--stall-ms", "60000"});
    // The first five bytes come; then the writer sleeps towards the stalled byte.
    EXPECT_EQ(exchange(frameBytes(CMD_GET_TIMING, {}, kFirst), 5).size(), 5u);
    expectCleanEnd();
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
        SimProcess refused(KRX_SIM_BINARY, args);
        EXPECT_EQ(refused.waitExit(), row.exitCode);
        EXPECT_FALSE(linkExists());
    }
}

}  // namespace
}  // namespace krx::sim
