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

#include "sim/generator.h"
#include "support/bytes.h"
#include "support/child_process.h"
#include "support/files.h"

namespace krx::sim {
namespace {

using krx::testing::answerFrame;
using krx::testing::Bytes;
using krx::testing::ChildProcess;
using krx::testing::commandFrame;
using krx::testing::fileContents;
using krx::testing::waitReadable;

constexpr TargetAddress kFirst{0x01, 0x01};

class SimProcessTest : public ::testing::Test {
  protected:
    void TearDown() override {
        process_.reset();
        if (port_ >= 0)
            close(port_);
    }

    // Starts the simulator on `link` with `args` and opens its port in raw mode.
    void start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", link_.string()});
        process_.emplace(KRX_SIM_BINARY, args);
        ptyPath_ = process_->firstLine().value_or("");
        port_ = open(link_.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port_, 0) << link_;
        termios settings{};
        ASSERT_EQ(tcgetattr(port_, &settings), 0);
        cfmakeraw(&settings);
        ASSERT_EQ(tcsetattr(port_, TCSANOW, &settings), 0);
    }
    // Writes `request` and reads until `answerSize` bytes have come or the line stays quiet.
    Bytes exchange(const Bytes& request, std::size_t answerSize) {
        EXPECT_EQ(write(port_, request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes answer;
        std::array<std::uint8_t, 512> buffer{};
        while (answer.size() < answerSize && waitReadable(port_)) {
            const ssize_t n = read(port_, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
        return answer;
    }
    // Stops the simulator as the operator does; it ends cleanly and removes its link.
    void expectCleanEnd() {
        process_->terminate();
        EXPECT_EQ(process_->waitExit(), 0);
        EXPECT_FALSE(linkExists());
    }
    bool linkExists() const {
        return std::filesystem::exists(std::filesystem::symlink_status(link_));
    }
    // Runs the simulator to its refusal; its exit code and what it said on standard error.
    std::pair<std::optional<int>, std::string> refusal(const std::string& binary,
                                                       const std::vector<std::string>& args) {
        const std::filesystem::path errors = dir_ / "stderr.txt";
        ChildProcess refused(binary, args, errors.string());
        const auto code = refused.waitExit();
        return {code, fileContents(errors)};
    }

    const krx::testing::ScratchDir scratch_;
    const std::filesystem::path& dir_ = scratch_.path();
    const std::filesystem::path link_ = dir_ / "ports" / "COM3";
    std::optional<ChildProcess> process_;
    std::string ptyPath_;
    int port_ = -1;
};

TEST_F(SimProcessTest, ServesItsEdidFileThenHangsUpAndEnds) {
    EdidBytes edid = defaultTvEdid();
    edid[20] = 0x5A;  // any change will do; the simulator serves the file as it is
    const std::filesystem::path file = dir_ / "display.bin";
    std::ofstream(file, std::ios::binary) << std::string(edid.begin(), edid.end());
    start({"--no-pace", "--edid", file.string(), "--hang-up-after", "1"});
    const Bytes expected = answerFrame(kFirst, CMD_READ_TV_EDID, Bytes(edid.begin(), edid.end()));
    EXPECT_EQ(exchange(commandFrame({}, CMD_READ_TV_EDID, {0x01}), expected.size()), expected);
    // The console sees the line go away: a hang-up, then end of data or an error.
    ASSERT_TRUE(waitReadable(port_));
    std::uint8_t byte = 0;
    EXPECT_LE(read(port_, &byte, 1), 0);
    EXPECT_EQ(process_->waitExit(), 0);
    EXPECT_FALSE(linkExists());
}

TEST_F(SimProcessTest, StopInterruptsAStalledAnswer) {
    // Far beyond the safety time-out: only the interruption ends the writer's sleep in time.
    start({"--stall", "all", "--stall-ms", "60000"});
    // The first five bytes come; then the writer sleeps towards the stalled byte.
    EXPECT_EQ(exchange(commandFrame(kFirst, CMD_GET_TIMING), 5).size(), 5u);
    expectCleanEnd();
}

// A start is refused before the link is made when an argument or the EDID file is bad (the
// file's own refusals are pinned where files are read); a link is never taken from a device or
// from a live simulator. A refused start leaves the traffic log it was given as it was.
TEST_F(SimProcessTest, RefusesBadStartsAndLinksItMustNotReplaceAndKeepsTheLog) {
    enum class Existing { Nothing, OtherDevice, RegularFile, LiveSimulator };
    struct Row {
        const char* name;
        Existing existing;
        std::string message;
        std::vector<std::string> args = {};
        int exitCode = 1;
    };
    const std::vector<Row> rows = {
        {"bad device address", Existing::Nothing, "--device 0000: ", {"--device", "0000"}, 2},
        {"missing EDID file",
         Existing::Nothing,
         "none.bin: File read failed",
         {"--edid", (dir_ / "none.bin").string()}},
        {"link to a serial device", Existing::OtherDevice,
         "points at /dev/ttyS0, which is not a simulator's pseudo-terminal; not replaced"},
        {"regular file", Existing::RegularFile, "exists and is not a link"},
        {"link held by a live simulator", Existing::LiveSimulator,
         "a pseudo-terminal still in use (another simulator running?); not replaced"},
    };
    const std::filesystem::path keep = dir_ / "keep.log";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(link_);
        std::filesystem::create_directories(link_.parent_path());
        std::ofstream(keep) << "earlier traffic\n";
        std::string target;
        switch (row.existing) {
            case Existing::Nothing:
                break;
            case Existing::OtherDevice:
                std::filesystem::create_symlink("/dev/ttyS0", link_);
                break;
            case Existing::RegularFile:
                std::ofstream(link_) << "not a link";
                break;
            case Existing::LiveSimulator:
                ASSERT_NO_FATAL_FAILURE(start({}));
                break;
        }
        if (std::filesystem::is_symlink(link_))
            target = std::filesystem::read_symlink(link_).string();

        std::vector<std::string> args = {"--link", link_.string(), "--log", keep.string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const auto [code, errors] = refusal(KRX_SIM_BINARY, args);
        EXPECT_EQ(code, row.exitCode);
        EXPECT_NE(errors.find(row.message), std::string::npos) << errors;
        EXPECT_EQ(fileContents(keep), "earlier traffic\n");
        if (!target.empty()) {
            EXPECT_EQ(std::filesystem::read_symlink(link_).string(), target);
        }
        if (row.existing == Existing::Nothing) {
            EXPECT_FALSE(linkExists());
        }
        if (row.existing == Existing::LiveSimulator) {
            const Bytes timing = answerFrame(kFirst, CMD_GET_TIMING, {0x14});
            EXPECT_EQ(exchange(commandFrame(kFirst, CMD_GET_TIMING), timing.size()), timing);
            close(port_);
            port_ = -1;
            expectCleanEnd();
        }
    }
}

// A link left by a killed simulator (its pty is gone) is taken over; at the end only a link that
// still points at this simulator's pty is removed.
TEST_F(SimProcessTest, ReplacesAStaleLinkAndRemovesOnlyItsOwn) {
    std::filesystem::create_directories(link_.parent_path());
    std::filesystem::create_symlink("/dev/pts/999999", link_);
    ASSERT_NO_FATAL_FAILURE(start({}));
    EXPECT_EQ(std::filesystem::read_symlink(link_), ptyPath_);

    std::filesystem::remove(link_);
    std::filesystem::create_symlink("/dev/ttyS0", link_);
    process_->terminate();
    EXPECT_EQ(process_->waitExit(), 0);
    ASSERT_TRUE(std::filesystem::is_symlink(link_));
    EXPECT_EQ(std::filesystem::read_symlink(link_), "/dev/ttyS0");
}

// Root may write anywhere, so as root the simulator runs as an unprivileged user.
TEST_F(SimProcessTest, ALinkInAFolderItMayNotWriteSaysPermissionDeniedAndWhere) {
    namespace fs = std::filesystem;
    fs::permissions(dir_, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
    const fs::path readOnly = dir_ / "ro";
    fs::create_directory(readOnly);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    const fs::path wanted = readOnly / "sub" / "COM3";
    std::string binary = KRX_SIM_BINARY;
    std::vector<std::string> args = {"--link", wanted.string()};
    if (geteuid() == 0) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", binary});
        binary = "/usr/bin/setpriv";
    }
    const auto [code, errors] = refusal(binary, args);
    EXPECT_EQ(code, 1);
    EXPECT_NE(errors.find("cannot create " + wanted.string() + ": permission denied in folder " +
                          readOnly.string()),
              std::string::npos)
        << errors;
}

}  // namespace
}  // namespace krx::sim
