// SPDX-License-Identifier: MIT
// krx-vtp-ctl's side of the line: the console's serial channel and response receiver driven from
// the program's main thread. The main thread blocks on the channel's notifications until an answer
// is in or its watchdog (AnswerWatchdog) has fired; nothing polls. A session can also be handed a
// channel and the source of its notifications, to run against a simulated line on virtual time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ctl_command.h"
#include "ctl_report.h"
#include "ctl_watchdog.h"
#include "edid/edid_decoder.h"
#include "link/port_map.h"
#include "link/response_receiver.h"
#include "link/serial_channel.h"
#include "model/timing_details.h"
#include "ops/port_search.h"

namespace krx::ctl {

using Clock = std::chrono::steady_clock;

// The session's clock and the channel's notifications it waits for.
class EventSource {
  public:
    virtual Clock::time_point now() const = 0;
    // Runs the oldest notification that came before `deadline`, waiting for one until then; false
    // when none came in time.
    virtual bool runNext(Clock::time_point deadline) = 0;

  protected:
    ~EventSource() = default;
};

// The channel's notifications, queued for the main thread, on the real clock. post() may come
// from any thread.
class TaskQueue final : public WindowThreadExecutor, public EventSource {
  public:
    void post(std::function<void()> task) override;

    Clock::time_point now() const override { return Clock::now(); }
    // Tasks posted at or after the deadline stay queued: however fast they come, they cannot hold
    // a wait open past it.
    bool runNext(Clock::time_point deadline) override;

  private:
    struct Posted {
        Clock::time_point time;
        std::function<void()> task;
    };

    std::mutex lock_;
    std::condition_variable posted_;
    std::deque<Posted> tasks_;
};

class GeneratorSession final : private SerialListener,
                               private ReceiverActions,
                               private ops::SearchLine {
  public:
    // `portsDirs` is where COMn entries are looked up first (ports/ beside the program, then the
    // user's); a URL file there, or a URL given as --port, is a network port.
    GeneratorSession(PortsDirectories portsDirs, const Options& options, std::ostream& out,
                     std::ostream& err);
    // COM ports are those of `channel`, whose notifications `events` runs (a test's simulated
    // line): --port then names a COM number.
    GeneratorSession(SerialChannel& channel, EventSource& events, const Options& options,
                     std::ostream& out, std::ostream& err);
    ~GeneratorSession() override;

    GeneratorSession(const GeneratorSession&) = delete;
    GeneratorSession& operator=(const GeneratorSession&) = delete;

    // Runs one command, printing its result (with --json one object a line) or its failure. The
    // first command that needs the generator opens the --port, or searches COM1..COM99 for a
    // generator when none was given; the port then stays open for the commands that follow.
    ExitStatus run(const Command& command);

    // Put before every failure message, e.g. "line 4: " while a script runs.
    void setErrorPrefix(std::string prefix) { errorPrefix_ = std::move(prefix); }

    // With --json, each object names the port under "port", after "command".
    void setJsonPort(std::string port) { jsonPort_ = std::move(port); }

  private:
    ExitStatus connect();
    // runCommand, with --reconnect-ms: a port lost before or during the command is waited for
    // (the limit counted from the first loss), reopened, and the command run again from its start.
    ExitStatus runReconnecting(const Command& command);
    // Blocks on inotify until the lost port is back and opens, or until `deadline`.
    bool reopenWhenBack(Clock::time_point deadline);
    ExitStatus runCommand(const Command& command);
    // A hang-up ends every wait: a command that then finds no answer says the port was closed.
    ExitStatus fail(ExitStatus status, const std::string& message);
    bool openDevicePath();
    bool openUrl();
    bool startMonitor(int comNumber);
    // Handles notifications until the probe's answer or its wait is over.
    bool awaitProbe();
    ExitStatus search();
    std::string portName() const;

    ExitStatus runStatus();
    ExitStatus runSearch();
    // `jsonKey` names the value in the result, as statusJson() names it.
    ExitStatus runSet(CommandCode setCode, CommandCode getCode, int value,
                      const std::function<bool(int)>& matches, const std::string& caption,
                      std::string_view jsonKey, const std::function<std::string(int)>& describe);
    ExitStatus runSetting(SettingOption option, int value);
    ExitStatus runResetDefaults();
    ExitStatus runEdidRead(int savedSlot, const std::string& saveDir, std::optional<EdidForm> form);
    ExitStatus runAddressRead();
    ExitStatus runAddressWrite(TargetAddress address);
    std::optional<TargetAddress> readAddress();
    ExitStatus runDetails(TimingCode code);
    ExitStatus runStoreUserTiming(const Command& command);
    // The Timing Details page's values for `code`: built-in rows from the table, the automatic
    // and user timings from the generator's records. Nothing when the generator did not answer.
    std::optional<TimingDetails> detailsFor(TimingCode code);
    std::optional<UserTiming> readUserTiming(int slot);

    // Handles notifications until every frame queued has been written; false when the port went
    // or the line stopped taking bytes.
    bool awaitWritten();
    // Sends a set command and waits for its acknowledgement, or the settle time when none comes
    // (ops::kSetFollowUpWaitMs). All-silent: waits until it has been written.
    bool sendSet(CommandCode code, std::span<const std::uint8_t> payload,
                 std::optional<TargetAddress> to = std::nullopt);
    // Sends `code` and waits for its answer's data; nothing when the watchdog fired first.
    // `to` replaces the target address for frames the console always sends to every device.
    std::optional<std::vector<std::uint8_t>> query(CommandCode code,
                                                   std::span<const std::uint8_t> payload = {},
                                                   std::optional<TargetAddress> to = std::nullopt);
    // Queues a frame whose answer (or acknowledgement) the next awaitAnswer() takes.
    void sendAwaited(TargetAddress to, CommandCode code, std::span<const std::uint8_t> payload);
    // The awaited answer's data, waiting up to `intervalMs` (the watchdog's rules); nothing when
    // it did not come.
    std::optional<std::vector<std::uint8_t>> awaitAnswer(int intervalMs);
    void sendFrame(TargetAddress to, CommandCode code, std::span<const std::uint8_t> payload);
    // Handles notifications until `done` holds; false when the watchdog fired or the port went.
    bool waitFor(const std::function<bool()>& done);
    // Prints `lines` now, or with --json adds `fields` to the command's object, printed when the
    // command ends.
    void show(const std::vector<LabelledText>& lines, const Json& fields);

    // SerialListener
    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override;
    void onSerialTxEmpty(int port) override;
    void onSerialPortLost(int port) override;

    // ops::SearchLine
    bool openPort(int comNumber) override;
    void closePort() override;
    void waitMs(int ms) override;
    void sendProbe(int answerWaitMs) override;

    // The operations of src/ops run on this session through these.
    template <class Line>
    class OpsLine;
    class SettingOps;
    class StoreOps;
    class EdidOps;

    // ReceiverActions
    void sendQuery(CommandCode code, std::span<const std::uint8_t> payload) override;
    void startWatchdog(int intervalMs) override;
    void stopWatchdog() override;
    void storeEdidByte(std::size_t index, std::uint8_t value) override;
    void edidReceived() override;
    void sweepFinished() override;
    void runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) override;

    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string errorPrefix_;
    std::string jsonPort_;
    const PortsDirectories portsDirs_;

    TaskQueue tasks_;
    EventSource& events_;
    std::unique_ptr<SerialChannel> ownChannel_;
    SerialChannel* channel_ = nullptr;
    ResponseReceiver receiver_{*this};

    Json result_;

    bool connected_ = false;
    int port_ = 0;
    bool portLost_ = false;
    // What the same port is if it is lost (portReturnPaths); empty: it is not waited for.
    std::vector<std::filesystem::path> returnPaths_;
    std::size_t unwritten_ = 0;  // frames queued and not yet written
    AnswerWatchdog watchdog_;
    TargetAddress answeringAddress_;

    CommandCode awaitedCode_ = 0;
    std::optional<std::vector<std::uint8_t>> answer_;
    bool sweepDone_ = false;
    EdidImage edidImage_{};
    bool edidDone_ = false;
};

}  // namespace krx::ctl
