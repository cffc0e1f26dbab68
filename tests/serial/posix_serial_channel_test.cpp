// SPDX-License-Identifier: MIT
// The channel on real pseudo-terminals: the test holds the master side, the channel opens the
// slave through a COMn link in a private ports directory.
#include "link/posix_serial_channel.h"
#include "files/file_descriptor.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "serial_test_support.h"

namespace krx {
namespace {

using test::PtyPair;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::uint32_t kConsoleEventMask = 0x0003;
constexpr std::uint32_t kConsoleBufferSize = 512;

// A descriptor the test opens itself on the pty, to be held by a FileDescriptor.
int openPty(const std::string& path, int flags = O_RDWR) {
    return ::open(path.c_str(), flags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Whether another open file description can take the port's lock now.
bool portIsFree(const std::string& path) {
    const FileDescriptor fd(openPty(path));
    return fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

class SerialChannelTest : public ::testing::Test {
  protected:
    std::unique_ptr<CSerialChannel> makeChannel() {
        return std::make_unique<CSerialChannel>(windowThread_, ports_.path());
    }

    bool openPort(int port, int baud = 115200, char parity = 'N', int dataBits = 8,
                  int stopBits = 1, std::uint32_t bufferSize = kConsoleBufferSize) {
        return channel_->open(listener_, port, baud, parity, dataBits, stopBits, kConsoleEventMask,
                              bufferSize);
    }

    test::QueueExecutor windowThread_;
    test::PortsDir ports_;
    test::RecordingListener listener_;
    std::vector<std::string> reported_;  // what the channel reported, once a test asks for it
    std::unique_ptr<CSerialChannel> channel_ = makeChannel();
};

// --- configuration and refused opens --------------------------------------------------------

// A pty keeps speed and stop bits but forces eight data bits without parity (the character format
// and raw mode themselves are covered by the line-settings tests). It has no modem lines either, so
// asserting RTS fails there like it would on a port without them.
TEST_F(SerialChannelTest, OpenConfiguresARawPortAndReportsEachFailureOnce) {
    constexpr const char* kNoModemLines = "ioctl(TIOCMBIS): Inappropriate ioctl for device";
    struct Row {
        const char* name;
        int baud;
        char parity;
        int stopBits;
        speed_t speed;  // 0: configuration stops early, the port keeps its settings
        const char* reported;
    };
    const Row rows[] = {
        {"console 115200", 115200, 'N', 1, B115200, kNoModemLines},
        {"slow 9600, two stop bits", 9600, 'N', 2, B9600, kNoModemLines},
        {"unsupported baud", 12345, 'N', 1, 0, "cfsetspeed(): Invalid argument"},
        {"unknown parity", 115200, 'X', 1, 0, "tcsetattr(): Invalid argument"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PtyPair pty;
        std::filesystem::remove(ports_.entry(3));
        ports_.link(3, pty.slavePath());
        // Opened first: the channel's exclusive mode then does not keep this reader out.
        const FileDescriptor observer(openPty(pty.slavePath()));
        ASSERT_GE(observer.get(), 0);
        channel_ = makeChannel();
        // Reported by open() itself, on this thread.
        reported_.clear();
        channel_->setErrorReporter([this](const std::string& text) { reported_.push_back(text); });
        EXPECT_TRUE(openPort(3, row.baud, row.parity, 8, row.stopBits));
        EXPECT_TRUE(channel_->holdsPort());
        EXPECT_EQ(reported_, std::vector<std::string>{row.reported});
        if (row.speed == 0)
            continue;
        termios applied{};
        ASSERT_EQ(::tcgetattr(observer.get(), &applied), 0);
        EXPECT_EQ(::cfgetispeed(&applied), row.speed);
        EXPECT_EQ(::cfgetospeed(&applied), row.speed);
        EXPECT_EQ((applied.c_cflag & CSTOPB) != 0, row.stopBits == 2);
        EXPECT_EQ(applied.c_lflag & static_cast<tcflag_t>(ICANON | ECHO | ISIG), 0u) << "not raw";
    }
}

// The operator's line for each refusal ends as `says`; it names the device the channel tried
// whenever the number names one.
TEST_F(SerialChannelTest, RefusedOpenReturnsFalseSaysWhyAndLeavesNothingBehind) {
    PtyPair pty;
    const std::filesystem::path tty = pty.slavePath();
    const std::filesystem::path plain = ports_.path() / "plain";
    std::ofstream(plain) << "not a tty";
    struct Row {
        const char* name;
        int port;
        std::optional<std::filesystem::path> entry;  // what COMn links to; none: no entry
        OpenError reason;
        const char* says;
        bool heldElsewhere = false;  // another program holds the lock on the tty
    };
    const Row rows[] = {
        {"number 0", 0, tty, OpenError::NoSuchPort, "COM0: no such port"},
        {"number 100", 100, tty, OpenError::NoSuchPort, "COM100: no such port"},
        {"COM97 without entry", 97, std::nullopt, OpenError::NoSuchDevice, "): no such device"},
        {"entry pointing nowhere", 5, ports_.path() / "gone", OpenError::NoSuchDevice,
         "): no such device"},
        {"entry is a directory", 6, ports_.path(), OpenError::NotASerialPort,
         "): not a serial port"},
        {"entry is a regular file", 7, plain, OpenError::NotASerialPort, "): not a serial port"},
        {"held by another program", 8, tty, OpenError::InUse, "): in use by another program", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.entry)
            ports_.link(row.port, *row.entry);
        const FileDescriptor holder(row.heldElsewhere ? openPty(tty) : -1);
        if (row.heldElsewhere) {
            ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);
        }
        const auto threadsBefore = test::threadIds();
        const auto descriptorsBefore = test::openDescriptorCount();

        EXPECT_FALSE(openPort(row.port));
        const auto failure = channel_->lastOpenFailure();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->reason, row.reason);
        EXPECT_EQ(failure->port, row.port);
        const bool namesDevice = row.reason != OpenError::NoSuchPort;
        EXPECT_EQ(failure->device, namesDevice ? ports_.entry(row.port) : std::filesystem::path());
        EXPECT_TRUE(describeOpenFailure(*failure).ends_with(row.says))
            << describeOpenFailure(*failure);
        EXPECT_FALSE(channel_->holdsPort());
        EXPECT_FALSE(channel_->start());
        EXPECT_EQ(test::threadIds(), threadsBefore);
        EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore);
    }
}

// Root may open anything, so the port is given to the dialout group and opened by a child that
// has become an unprivileged user outside it.
TEST_F(SerialChannelTest, PermissionDeniedNamesTheGroupThatMayUseThePort) {
    // A device no group may use has no remedy to offer.
    EXPECT_EQ(describeOpenFailure({OpenError::PermissionDenied, 1, "/dev/ttyS0", EACCES, ""}),
              "COM1 (/dev/ttyS0): permission denied");
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the port to another user";
    group entry{};
    group* dialout = nullptr;
    std::array<char, 4096> names{};
    ::getgrnam_r("dialout", &entry, names.data(), names.size(), &dialout);
    ASSERT_NE(dialout, nullptr);
    PtyPair pty;
    std::filesystem::permissions(ports_.path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    ports_.link(33, pty.slavePath());
    ASSERT_EQ(::chown(pty.slavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0660), 0);

    // The child drops its privileges for good; it says what the channel answered.
    EXPECT_EXIT(
        {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                std::_Exit(2);
            openPort(33);
            const auto failure = channel_->lastOpenFailure();
            std::cerr << (failure ? describeOpenFailure(*failure) : "opened");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        "^COM33 \\(" + ports_.entry(33).string() +
            "\\): permission denied; add your user to the 'dialout' group$");
}

// --- writing ---------------------------------------------------------------------------------

// Input that arrives while a write is going out is still unread when the next frame's turn comes;
// it is handed over before that frame's purge, which then has nothing of it to discard.
TEST_F(SerialChannelTest, InputThatArrivedDuringAWriteIsHandedOverBeforeTheNextWrite) {
    PtyPair pty;
    ports_.link(2, pty.slavePath());
    const FileDescriptor observer(openPty(pty.slavePath(), O_RDONLY));
    ASSERT_GE(observer.get(), 0);
    constexpr std::uint32_t kLongFrame = 1u << 20;  // more than the pty holds: the write waits
    ASSERT_TRUE(openPort(2, 115200, 'N', 8, 1, kLongFrame));
    ASSERT_TRUE(channel_->start());
    channel_->queueWrite(Bytes(kLongFrame, 0x55));
    ASSERT_EQ(pty.receive(1).size(), 1u);

    pty.send(Bytes{0x02, 0x03, 0x04});
    ASSERT_TRUE(testing::waitReadable(observer.get()));
    const Bytes frame{0xAA, 0x55};
    channel_->queueWrite(frame);
    // Output is not purged: the long frame goes out whole, then the next.
    const Bytes rest = pty.receive(kLongFrame - 1 + frame.size());
    ASSERT_EQ(rest.size(), kLongFrame - 1 + frame.size());
    EXPECT_TRUE(std::equal(frame.rbegin(), frame.rend(), rest.rbegin()));
    ASSERT_TRUE(windowThread_.runUntil([&] { return listener_.bytes.size() >= 3; }));
    EXPECT_EQ(listener_.bytes, (Bytes{0x02, 0x03, 0x04}));
}

// --- reception -------------------------------------------------------------------------------

// The window thread stalls in a handler while the device goes on sending: past kMaxUnhandledBytes
// unhandled the channel stops reading, so the line fills up, and it reads on once the window
// thread has caught up. Nothing is lost or reordered, and bytes go over in runs.
TEST_F(SerialChannelTest, StalledWindowThreadStopsTheReadingAndLosesNothing) {
    PtyPair pty;
    ports_.link(1, pty.slavePath());
    ASSERT_TRUE(openPort(1));
    ASSERT_TRUE(channel_->start());

    Bytes flood(std::size_t{200} *
                1024);  // more than the bound and the pty's buffers hold together
    for (std::size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    const std::span<const std::uint8_t> all(flood);
    std::size_t taken = 1;
    listener_.onBytes = [&] {
        if (listener_.runs == 1)
            taken += pty.sendWhileTaken(all.subspan(1), 200ms);
    };
    pty.send(all.first(1));
    ASSERT_TRUE(windowThread_.runUntil([&] { return listener_.runs == 1; }));
    EXPECT_LT(taken, flood.size()) << "the channel read on while the window thread stalled";
    std::thread generator([&] { pty.send(all.subspan(taken)); });
    const bool complete =
        windowThread_.runUntil([&] { return listener_.bytes.size() >= flood.size(); });
    generator.join();
    ASSERT_TRUE(complete);
    EXPECT_TRUE(listener_.bytes == flood);
    EXPECT_LT(listener_.runs, flood.size() / 16);
}

// --- lifecycle -------------------------------------------------------------------------------

// A delivery is in flight and unhandled, and a write waits for room the line never gives, when
// the channel goes: destruction returns, the orphaned tasks do nothing, and the port and the last
// descriptor of the session go with it. (Stop and a new open are pinned by the channel contract.)
TEST_F(SerialChannelTest, DestructionDuringAStuckWriteDropsTheDeliveryInFlightAndEveryDescriptor) {
    PtyPair pty;
    ports_.link(1, pty.slavePath());
    channel_.reset();
    const auto descriptorsBefore = test::openDescriptorCount();
    channel_ = makeChannel();
    constexpr std::uint32_t kHuge = 8u << 20;  // far beyond what the pty buffers hold
    ASSERT_TRUE(openPort(1, 115200, 'N', 8, 1, kHuge));
    ASSERT_TRUE(channel_->start());
    pty.send(Bytes{0x41});
    ASSERT_TRUE(windowThread_.waitUntilQueued(1));
    channel_->queueWrite(Bytes(kHuge, 0x55));
    // The write has begun; the rest waits for room that never comes while nobody reads.
    ASSERT_EQ(pty.receive(1).size(), 1u);

    std::promise<void> destroyed;
    std::thread destroyer([&] {
        channel_.reset();
        destroyed.set_value();
    });
    const bool returned =
        destroyed.get_future().wait_for(test::kSafetyTimeout) == std::future_status::ready;
    if (!returned) {
        destroyer.detach();
        FAIL() << "destruction waited for the write";
    }
    destroyer.join();
    EXPECT_TRUE(portIsFree(pty.slavePath()));
    EXPECT_EQ(windowThread_.runQueued(), 2u) << "the delivery and the abandoned write's end";
    EXPECT_TRUE(listener_.bytes.empty()) << "a byte of the ended session reached the listener";
    EXPECT_EQ(listener_.txEmpty, 0u);
    EXPECT_EQ(test::openDescriptorCount(), descriptorsBefore);
}

// Stopped, the port stays held and locked until the next open, which hands the lock over.
TEST_F(SerialChannelTest, StopKeepsThePortLockedUntilAnotherPortIsOpened) {
    PtyPair first;
    PtyPair second;
    ports_.link(1, first.slavePath());
    ports_.link(2, second.slavePath());
    ASSERT_TRUE(openPort(1));
    channel_->stop();  // held, and so locked, until the next open (the contract suite)

    ASSERT_TRUE(openPort(2));
    EXPECT_TRUE(portIsFree(first.slavePath()));
    EXPECT_FALSE(portIsFree(second.slavePath()));
}

}  // namespace
}  // namespace krx
