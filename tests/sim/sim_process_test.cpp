// SPDX-License-Identifier: MIT
// Runs the built krx-vtp-sim and talks to it through its pty, as the console would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

extern char** environ;

namespace krx::sim {
namespace {

using testing::answerBytes;
using testing::Bytes;
using testing::frameBytes;

// Generous: a loaded machine with sanitizers may be slow to start a process. Never reached when
// things work; the test does not measure speed.
constexpr int kSafetyTimeoutMs = 20'000;

// Waits until `fd` is readable (or hung up); false on time-out.
bool waitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, timeoutMs) == 1;
}

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), KRX_SIM_BINARY);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, KRX_SIM_BINARY, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            close(stdout_);
    }

    bool started() const { return pid_ > 0; }

    // The first line the simulator prints: the pty path.
    std::optional<std::string> firstLine() {
        std::string line;
        char c = 0;
        while (waitReadable(stdout_, kSafetyTimeoutMs) && read(stdout_, &c, 1) == 1) {
            if (c == '\n')
                return line;
            line += c;
        }
        return std::nullopt;
    }

    void terminate() { kill(pid_, SIGTERM); }

    // The exit status once the process has ended by itself or after terminate(); nothing if it
    // is still running after the safety time-out.
    std::optional<int> waitExit() {
        const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        if (pidFd >= 0) {
            const bool ended = waitReadable(pidFd, kSafetyTimeoutMs);
            close(pidFd);
            if (!ended)
                return std::nullopt;
        }
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_)
            return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

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
        while (answer.size() < answerSize && waitReadable(port, kSafetyTimeoutMs)) {
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
    SimProcess sim({"--link", link.string(), "--log", log.string(), "--device", "0102"});
    ASSERT_TRUE(sim.started());
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
    SimProcess sim({"--link", link.string(), "--no-pace", "--hang-up-after", "1"});
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.firstLine().has_value());
    openPort();
    const Bytes expected = answerBytes({0x01, 0x01}, CMD_PING, {0x00, 0x00});
    EXPECT_EQ(exchange(frameBytes(CMD_PING), expected.size()), expected);

    // The console sees the line go away: a hang-up, then end of data or an error.
    ASSERT_TRUE(waitReadable(port, kSafetyTimeoutMs));
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
    SimProcess sim({"--link", link.string(), "--no-pace", "--edid", file.string()});
    ASSERT_TRUE(sim.started());
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
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.waitExit(), row.exitCode);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
}

}  // namespace
}  // namespace krx::sim
