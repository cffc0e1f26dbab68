// SPDX-License-Identifier: MIT
// What every SerialChannel promises its owner, run against the POSIX channel on a real
// pseudo-terminal (real time), against the network channel through ser2net in front of one, raw
// and RFC 2217 (tests/net), and against the simulated channel (virtual clock). The test plays
// the device at the far end of the line and the console's window thread; the behaviour only the
// POSIX channel has (settings, refused opens, purge timing, destruction) is pinned in
// posix_serial_channel_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "link/posix_serial_channel.h"
#include "link/virtual_clock.h"
#include "network_line.h"
#include "serial_test_support.h"
#include "sim/simulated_channel.h"

namespace krx {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 7;
constexpr std::uint32_t kConsoleEventMask = 0x0003;
constexpr std::uint32_t kConsoleBufferSize = 512;

using test::Arrival;

// The POSIX channel; the test holds the pty's master side as the device.
class PtyLine : public test::PtyDeviceLine<PtyLine> {
  public:
    PtyLine() { ports_.link(kPort, pty_.slavePath()); }

    SerialChannel& channel() { return channel_; }
    test::PtyPair& pty() { return pty_; }
    void unplug() { pty_.hangUp(); }

  private:
    test::PtyPair pty_;
    test::PortsDir ports_;
    CSerialChannel channel_{windowThread_, ports_.path()};
};

// The simulated channel on a silent port; the device's side is the channel's own record of what
// it wrote, and its transmit().
class SimLine {
  public:
    SimLine() { channel_.addSilentPort(kPort); }

    SerialChannel& channel() { return channel_; }
    void deviceSends(const Bytes& bytes) { channel_.transmit(kPort, bytes); }

    Arrival deviceReceives(std::size_t count) {
        Arrival taken;
        for (; nextWrite_ < channel_.writes().size() && taken.bytes.size() < count; ++nextWrite_) {
            const auto& write = channel_.writes()[nextWrite_];
            if (taken.bytes.empty())
                taken.timeUs = write.timeUs;
            taken.bytes.insert(taken.bytes.end(), write.bytes.begin(), write.bytes.end());
        }
        return taken;
    }

    bool runUntil(const std::function<bool()>& done) {
        for (int ms = 0; ms < 20'000 && !done(); ++ms)
            clock_.runForUs(1'000);
        return done();
    }
    void runQueued() { clock_.runForUs(0); }
    void sleepWindowThread(int ms) { clock_.advanceUs(std::int64_t{ms} * 1'000); }
    void unplug() { channel_.unplug(kPort); }

  private:
    VirtualClock clock_;
    sim::SimulatedChannel channel_{clock_};
    std::size_t nextWrite_ = 0;
};

template <class Line>
class ChannelContract : public ::testing::Test {
  protected:
    bool open(std::uint32_t bufferSize = kConsoleBufferSize) {
        return line_.channel().open(listener_, kPort, 115200, 'N', 8, 1, kConsoleEventMask,
                                    bufferSize);
    }
    bool openAndStart() { return open() && line_.channel().start(); }
    void queue(const Bytes& frame) { line_.channel().queueWrite(frame); }

    Line line_;
    test::RecordingListener listener_;
};

using Channels = ::testing::Types<PtyLine, SimLine, test::NetworkLine<test::Ser2netMode::RawTcp>,
                                  test::NetworkLine<test::Ser2netMode::Rfc2217>>;
class ChannelNames {
  public:
    template <class T>
    static std::string GetName(int) {
        if constexpr (requires { T::kName; })
            return T::kName;
        return std::is_same_v<T, PtyLine> ? "PosixOnPty" : "Simulated";
    }
};
TYPED_TEST_SUITE(ChannelContract, Channels, ChannelNames);

TYPED_TEST(ChannelContract, EveryByteValueCrossesUnchangedAndInOrderBothWays) {
    ASSERT_TRUE(this->openAndStart());
    Bytes values(256);
    std::iota(values.begin(), values.end(), std::uint8_t{0});
    this->line_.deviceSends(values);
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.bytes.size() >= 256; }));
    EXPECT_EQ(this->listener_.bytes, values);

    const Bytes reversed(values.rbegin(), values.rend());
    this->queue(reversed);
    EXPECT_EQ(this->line_.deviceReceives(reversed.size()).bytes, reversed);
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.txEmpty == 1; }));
    EXPECT_EQ(this->listener_.ports, std::vector<int>(this->listener_.ports.size(), kPort));
}

// A handler queues a frame while more received bytes wait for the window thread: the device
// gets it before the handler returns, and the waiting bytes still arrive, in order.
TYPED_TEST(ChannelContract, FrameQueuedWhileReceivedBytesWaitIsWrittenAtOnce) {
    ASSERT_TRUE(this->openAndStart());
    const Bytes frame{0xAA, 0x00, 0x00, 0x05};
    Arrival duringHandler;
    this->listener_.onBytes = [&] {
        if (this->listener_.runs != 1)
            return;
        this->line_.deviceSends({0x02, 0x03});
        this->queue(frame);
        duringHandler = this->line_.deviceReceives(frame.size());
    };
    this->line_.deviceSends({0x01});
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.bytes.size() >= 3; }));
    EXPECT_EQ(duringHandler.bytes, frame);
    EXPECT_EQ(this->listener_.bytes, (Bytes{0x01, 0x02, 0x03}));
}

// A handler queues, sleeps on the window thread, and queues two more: all three reach the line
// in order, the first before the sleep and the others after it.
TYPED_TEST(ChannelContract, FramesQueuedAcrossAWindowThreadSleepAllReachTheLineInOrder) {
    ASSERT_TRUE(this->openAndStart());
    constexpr int kSleepMs = 100;
    const Bytes first{0xAA, 0x01}, second{0xAA, 0x02}, third{0xAA, 0x03};
    Arrival before;
    this->listener_.onBytes = [&] {
        this->queue(first);
        before = this->line_.deviceReceives(first.size());
        this->line_.sleepWindowThread(kSleepMs);
        this->queue(second);
        this->queue(third);
    };
    this->line_.deviceSends({0x01});
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.runs == 1; }));
    const Arrival after = this->line_.deviceReceives(second.size() + third.size());
    EXPECT_EQ(before.bytes, first);
    EXPECT_EQ(after.bytes, (Bytes{0xAA, 0x02, 0xAA, 0x03}));
    EXPECT_GE(after.timeUs - before.timeUs, kSleepMs * 1000);
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.txEmpty == 3; }));
}

// Frames queued before monitoring starts go out on start(), in order; one above the buffer size
// is refused and leaves the others alone.
TYPED_TEST(ChannelContract, FramesQueuedBeforeStartGoOutInOrderAndAnOversizedOneIsRefused) {
    ASSERT_TRUE(this->open(4));
    this->queue({0x11, 0x12});
    this->queue({1, 2, 3, 4, 5});
    this->queue({0x21, 0x22, 0x23, 0x24});
    ASSERT_TRUE(this->line_.channel().start());
    EXPECT_EQ(this->line_.deviceReceives(6).bytes, (Bytes{0x11, 0x12, 0x21, 0x22, 0x23, 0x24}));
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.txEmpty == 2; }));
}

// Whatever ends a session, bytes read before its end never reach the listener, and a new session
// on the port works.
TYPED_TEST(ChannelContract, EndedSessionDeliversNothingMoreAndANewOneWorks) {
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "open again" : "stop");
        this->listener_ = {};
        ASSERT_TRUE(this->openAndStart());
        this->line_.deviceSends({0x41});
        if (reopen) {
            ASSERT_TRUE(this->open());
        } else {
            this->line_.channel().stop();
            EXPECT_FALSE(this->line_.channel().start()) << "a stopped port needs a fresh open";
        }
        this->line_.runQueued();
        EXPECT_TRUE(this->listener_.bytes.empty());

        if (!reopen) {
            ASSERT_TRUE(this->open());
        }
        ASSERT_TRUE(this->line_.channel().start());
        this->line_.deviceSends({0x42});
        ASSERT_TRUE(this->line_.runUntil([&] { return !this->listener_.bytes.empty(); }));
        EXPECT_EQ(this->listener_.bytes, Bytes{0x42});
        this->line_.channel().stop();
    }
}

// A stop before monitoring starts leaves the port held, unmonitored, until the next open (which
// starts a new session as after any stop).
TYPED_TEST(ChannelContract, StopBeforeStartHoldsThePortUntilTheNextOpen) {
    ASSERT_TRUE(this->open());
    this->line_.channel().stop();
    EXPECT_TRUE(this->line_.channel().holdsPort());
    EXPECT_FALSE(this->line_.channel().start());
}

TYPED_TEST(ChannelContract, HangUpIsReportedOnceAfterTheBytesBeforeIt) {
    ASSERT_TRUE(this->openAndStart());
    this->line_.deviceSends({0x41, 0x42});
    this->line_.unplug();
    ASSERT_TRUE(this->line_.runUntil([&] { return this->listener_.portLost == 1; }));
    this->line_.runQueued();
    EXPECT_EQ(this->listener_.portLost, 1u);
    EXPECT_EQ(this->listener_.bytes, (Bytes{0x41, 0x42}));
    EXPECT_FALSE(this->line_.channel().holdsPort());
    EXPECT_FALSE(this->line_.channel().start());
    EXPECT_FALSE(this->open()) << "the device is gone";
}

}  // namespace
}  // namespace krx
