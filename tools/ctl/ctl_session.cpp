// SPDX-License-Identifier: MIT
#include "ctl_session.h"

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "address/address_book.h"
#include "edid/edid_files.h"
#include "edid/edid_forms.h"
#include "edid_tool.h"
#include "link/generator_facts.h"
#include "link/network_channel.h"
#include "link/port_channel.h"
#include "link/port_map.h"
#include "link/port_return.h"
#include "link/posix_serial_channel.h"
#include "model/pattern_table.h"
#include "model/setting_table.h"
#include "model/status_texts.h"
#include "ops/edid_read_op.h"
#include "ops/setting_op.h"
#include "ops/user_timing_op.h"

namespace krx::ctl {
namespace {

// The device's address is read and written on the broadcast address that asks for an answer.
constexpr TargetAddress kEveryDevice{0x00, 0x00};
// Writing a frame of 300 bytes takes 26 ms at 115200 baud; writes not done by then never will.
constexpr auto kWriteLimit = std::chrono::seconds(2);

std::string hexByte(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value) & 0xFFu);
    return text;
}

std::string addressText(TargetAddress address) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", address.group, address.device);
    return text;
}

std::string patternName(int code) {
    const PatternEntry* entry = patternEntry(code);
    if (entry == nullptr)
        return hexByte(code);
    std::string_view label = entry->label;
    while (!label.empty() && label.front() == ' ')
        label.remove_prefix(1);
    return std::string(label);
}

Json addressFields(TargetAddress address) {
    return {
        {"address", addressText(address)}, {"group", address.group}, {"device", address.device}};
}

std::string settingName(SettingOption option, int value) {
    const std::string_view label = settingLabel(option, value);
    return label.empty() ? hexByte(value) : std::string(label);
}

}  // namespace

// The session as the operations' front end: frames to --address, set commands settled on their
// acknowledgement, failures kept as the command's exit status.
template <class Line>
class GeneratorSession::OpsLine : public Line {
  public:
    explicit OpsLine(GeneratorSession& session) : session_(session) {}

    bool send(CommandCode code, std::span<const std::uint8_t> payload) override {
        if (session_.options_.silentBroadcast()) {
            session_.sendFrame(session_.options_.address, code, payload);
            return session_.awaitWritten();
        }
        session_.sendAwaited(session_.options_.address, code, payload);
        return true;
    }
    bool settle(int ms) override {
        if (!session_.options_.silentBroadcast())
            session_.awaitAnswer(ms);
        return !session_.portLost_;
    }
    void waitMs(int ms) override { session_.waitMs(ms); }
    void refuse(std::string_view message) override {
        status = session_.fail(ExitStatus::Refused, std::string(message));
    }

    ExitStatus status = ExitStatus::Done;

  protected:
    ~OpsLine() = default;

    GeneratorSession& session_;
};

class GeneratorSession::SettingOps final : public OpsLine<ops::SettingLine> {
  public:
    using OpsLine::OpsLine;

    // The rules judge the generator's own timing and output mode.
    std::optional<ops::RuleState> ruleState() override {
        if (session_.options_.silentBroadcast())
            return ops::RuleState{};
        const auto timing = session_.query(CMD_GET_TIMING);
        const auto mode = timing ? session_.query(CMD_GET_OUTPUT_MODE) : std::nullopt;
        if (!timing || !mode || timing->size() != 1 || mode->size() != 1) {
            status = session_.fail(ExitStatus::NoAnswer, "no answer to the state the rules need");
            return std::nullopt;
        }
        return ops::RuleState{static_cast<std::int8_t>((*timing)[0]),
                              static_cast<std::int8_t>((*mode)[0])};
    }
    bool readBackSent(SettingOption option, int value) override {
        const std::string caption(settingCaptions(option).caption);
        const CommandCode getCode = settingFacts(option).getCode;
        const auto data = session_.awaitAnswer(kAnswerWaitMs);
        if (!data || data->size() != 1) {
            status = session_.fail(ExitStatus::NoAnswer,
                                   "no answer to " + std::string(commandName(getCode)));
            return false;
        }
        const int readBack = static_cast<std::int8_t>((*data)[0]);
        if (readBack != value) {
            status = session_.fail(ExitStatus::ReadBackDiffers,
                                   caption + ": set " + settingName(option, value) +
                                       ", the generator reports " + settingName(option, readBack));
            return false;
        }
        session_.show({{caption, settingName(option, readBack)}},
                      {{statusKey(option), readBack},
                       {"text", settingName(option, readBack)},
                       {"readBack", true}});
        return true;
    }
    // AUTO: what the generator actually outputs, as the console asks after an AUTO choice.
    bool linkStatusSent(SettingOption option) override {
        const auto link = session_.awaitAnswer(kAnswerWaitMs);
        if (!link || link->size() != kLinkStatusSize) {
            status = session_.fail(ExitStatus::NoAnswer, "no answer to CMD_GET_LINK_STATUS");
            return false;
        }
        const auto index = static_cast<std::size_t>(
            std::find(kLinkStatusOptions.begin(), kLinkStatusOptions.end(), option) -
            kLinkStatusOptions.begin());
        const int output = static_cast<std::int8_t>((*link)[index]);
        const std::string text = optionStatusText(option, output);
        session_.show({{std::string(settingCaptions(option).caption) + " output", text}},
                      {{"output", {{statusKey(option), output}, {"text", text}}}});
        return true;
    }
};

class GeneratorSession::StoreOps final : public OpsLine<ops::StoreLine> {
  public:
    using OpsLine::OpsLine;

    std::optional<TimingCode> outputTiming() override {
        if (session_.options_.silentBroadcast())
            return -1;
        const auto current = session_.query(CMD_GET_TIMING);
        if (!current || current->size() != 1) {
            status = session_.fail(ExitStatus::NoAnswer, "no answer to CMD_GET_TIMING");
            return std::nullopt;
        }
        return static_cast<std::int8_t>((*current)[0]);
    }
};

class GeneratorSession::EdidOps final : public OpsLine<ops::EdidLine> {
  public:
    using OpsLine::OpsLine;

    bool awaitEdid(bool fromSavedSlot, int watchdogMs) override {
        session_.receiver_.edidFromSavedSlot = fromSavedSlot;
        session_.receiver_.edidReadMode = true;
        session_.startWatchdog(watchdogMs);
        return session_.waitFor([this] { return session_.edidDone_; });
    }
};

void TaskQueue::post(std::function<void()> task) {
    {
        const std::lock_guard guard(lock_);
        tasks_.push_back({Clock::now(), std::move(task)});
    }
    posted_.notify_one();
}

bool TaskQueue::runNext(Clock::time_point deadline) {
    std::unique_lock guard(lock_);
    posted_.wait_until(guard, deadline, [this] { return !tasks_.empty(); });
    if (tasks_.empty() || tasks_.front().time >= deadline)
        return false;
    const std::function<void()> task = std::move(tasks_.front().task);
    tasks_.pop_front();
    guard.unlock();
    task();
    return true;
}

GeneratorSession::GeneratorSession(PortsDirectories portsDirs, const Options& options,
                                   std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err), portsDirs_(std::move(portsDirs)), events_(tasks_) {}

GeneratorSession::GeneratorSession(SerialChannel& channel, EventSource& events,
                                   const Options& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err), events_(events), channel_(&channel) {}

GeneratorSession::~GeneratorSession() = default;

ExitStatus GeneratorSession::fail(ExitStatus status, const std::string& message) {
    const bool closed = portLost_ && status == ExitStatus::NoAnswer;
    err_ << errorPrefix_ << (closed ? portName() + ": the port was closed" : message) << '\n';
    return status;
}

std::string GeneratorSession::portName() const {
    if (options_.port.comNumber == 0 && options_.port.given())
        return options_.port.name();
    return "COM" + std::to_string(port_ != 0 ? port_ : options_.port.comNumber);
}

bool GeneratorSession::openPort(int comNumber) {
    return channel_->open(*this, comNumber, kGeneratorLine.baud, kGeneratorLine.parity,
                          kGeneratorLine.dataBits, kGeneratorLine.stopBits,
                          kGeneratorLine.eventMask, kGeneratorLine.bufferSize) &&
           startMonitor(comNumber);
}

// A device path opens as COM1 of a private ports folder, exactly as the console opens a port. The
// open port needs the folder no more, so the folder lives only across the open, with the
// termination signals held back meanwhile: no way of ending the program leaves it behind.
bool GeneratorSession::openDevicePath() {
    sigset_t terminating;
    sigset_t before;
    ::sigemptyset(&terminating);
    for (const int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
        ::sigaddset(&terminating, signalNumber);
    ::pthread_sigmask(SIG_BLOCK, &terminating, &before);
    std::error_code error;
    std::string folder =
        (std::filesystem::temp_directory_path(error) / "krx-vtp-ctl-XXXXXX").string();
    bool opened = false;
    if (!error && ::mkdtemp(folder.data()) != nullptr) {
        std::filesystem::create_symlink(std::filesystem::absolute(options_.port.devicePath, error),
                                        portsEntryPath(1, folder), error);
        ownChannel_ = std::make_unique<CSerialChannel>(tasks_, folder);
        channel_ = ownChannel_.get();
        opened = channel_->open(*this, 1, kGeneratorLine.baud, kGeneratorLine.parity,
                                kGeneratorLine.dataBits, kGeneratorLine.stopBits,
                                kGeneratorLine.eventMask, kGeneratorLine.bufferSize);
        std::filesystem::remove_all(folder, error);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return opened && startMonitor(1);
}

// A URL given as such is COM1 of a channel that knows no other port.
bool GeneratorSession::openUrl() {
    ownChannel_ = std::make_unique<CNetworkChannel>(tasks_, [url = options_.port.url](int port) {
        return port == 1 ? std::optional<std::string>(url) : std::nullopt;
    });
    channel_ = ownChannel_.get();
    return openPort(1);
}

bool GeneratorSession::startMonitor(int comNumber) {
    if (!channel_->start()) {
        channel_->stop();
        return false;
    }
    port_ = comNumber;
    portLost_ = false;
    unwritten_ = 0;
    return true;
}

ExitStatus GeneratorSession::connect() {
    connected_ = true;
    const bool namedDirectly = options_.port.comNumber == 0 && options_.port.given();
    if (!namedDirectly && channel_ == nullptr) {
        ownChannel_ = std::make_unique<CPortChannel>(tasks_, portsDirs_);
        channel_ = ownChannel_.get();
    }
    if (!options_.port.given()) {
        const ExitStatus found = search();
        if (found == ExitStatus::Done && ownChannel_)
            returnPaths_ = portReturnPaths(port_, portsDirs_);
        return found;
    }
    const bool opened = !namedDirectly              ? openPort(options_.port.comNumber)
                        : options_.port.url.empty() ? openDevicePath()
                                                    : openUrl();
    if (!opened) {
        std::string message = portName() + ": " + std::string(kPortUnavailableMessage);
        if (!channel_) {
            message += " (no private ports folder could be made in the temporary folder)";
        } else if (const auto failure = channel_->lastOpenFailure()) {
            // "COMn (device): why"; a device path or URL given as such is named by itself only.
            const std::string why = describeOpenFailure(*failure);
            const std::size_t reason = why.find(": ");
            message += !namedDirectly || reason == std::string::npos
                           ? "\n" + why
                           : " (" + why.substr(reason + 2) + ")";
        }
        return fail(ExitStatus::PortUnavailable, message);
    }
    std::error_code error;
    if (!namedDirectly && ownChannel_)
        returnPaths_ = portReturnPaths(port_, portsDirs_);
    else if (namedDirectly && options_.port.url.empty())
        returnPaths_ = {std::filesystem::absolute(options_.port.devicePath, error)};
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runReconnecting(const Command& command) {
    if (!options_.reconnectMs || !command.needsGenerator())
        return runCommand(command);
    std::optional<Clock::time_point> deadline;
    std::optional<ExitStatus> status;
    for (;;) {
        if (portLost_) {
            if (!deadline)
                deadline = Clock::now() + std::chrono::milliseconds(*options_.reconnectMs);
            if (!reopenWhenBack(*deadline))
                return status ? *status : runCommand(command);
        }
        status = runCommand(command);
        if (!portLost_)
            return *status;
    }
}

// Whatever the port's paths lead to once a change there leaves a device: it is opened as at
// first, a device path through a fresh private ports folder.
bool GeneratorSession::reopenWhenBack(Clock::time_point deadline) {
    if (returnPaths_.empty())
        return false;
    err_ << errorPrefix_ << portName() << ": the port was lost; waiting for it to come back\n";
    try {
        PortReturnWatcher watcher(returnPaths_);
        const auto left = [&] {
            return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        };
        const bool namedDirectly = options_.port.comNumber == 0;
        const int port = port_;
        for (bool back = watcher.present(); back || watcher.waitReturn(left()); back = false) {
            if (namedDirectly ? openDevicePath() : openPort(port)) {
                err_ << errorPrefix_ << portName() << ": the port is back; reopened\n";
                return true;
            }
        }
    } catch (const std::system_error&) {
        // No inotify descriptor: the port cannot be waited for.
    }
    return false;
}

void GeneratorSession::sendProbe(int answerWaitMs) {
    receiver_.startProbe();
    sendFrame(options_.address, CMD_PING, {});
    startWatchdog(answerWaitMs);
}

bool GeneratorSession::awaitProbe() {
    const bool found = waitFor([this] { return receiver_.deviceFound; });
    receiver_.searchMode = false;
    stopWatchdog();
    return found;
}

void GeneratorSession::closePort() {
    channel_->stop();
    port_ = 0;
}

// Nothing is sent before a port is monitored, so a later probe takes no pause.
ExitStatus GeneratorSession::search() {
    ops::PortSearch walk(*this, 0);
    if (!walk.start())
        return fail(ExitStatus::PortUnavailable, std::string(kNoDeviceMessage));
    for (;;) {
        switch (walk.probeEnded(awaitProbe())) {
            case ops::PortSearch::Step::Found:
                return ExitStatus::Done;
            case ops::PortSearch::Step::Exhausted:
                return fail(ExitStatus::NoAnswer, std::string(kNoDeviceMessage));
            case ops::PortSearch::Step::Probing:
                break;
        }
    }
}

void GeneratorSession::show(const std::vector<LabelledText>& lines, const Json& fields) {
    if (!options_.json) {
        out_ << formatPairs(lines) << std::flush;
        return;
    }
    for (const auto& field : fields.items())
        result_[field.key()] = field.value();
}

ExitStatus GeneratorSession::run(const Command& command) {
    result_ = {{"command", commandWords(command.kind)}};
    if (!jsonPort_.empty())
        result_["port"] = jsonPort_;
    const std::size_t keysBefore = result_.size();
    ExitStatus status = ExitStatus::Done;
    // Once: a script stops at a port that cannot be opened or holds no generator.
    if (command.needsGenerator() && !connected_)
        status = connect();
    if (status == ExitStatus::Done)
        status = runReconnecting(command);
    if (options_.json && result_.size() > keysBefore)
        out_ << jsonLine(result_) << std::flush;
    return status;
}

ExitStatus GeneratorSession::runCommand(const Command& command) {
    if (portLost_)
        return fail(ExitStatus::NoAnswer, portName() + ": the port was closed");
    const auto sameCode = [value = command.value](int readBack) { return readBack == value; };
    switch (command.kind) {
        case CommandKind::Search:
            return runSearch();
        case CommandKind::Status:
            return runStatus();
        case CommandKind::Timing:
            return runSet(CMD_SET_TIMING, CMD_GET_TIMING, command.value, sameCode, "Timing",
                          "timingCode", [](int code) { return timingName(code); });
        case CommandKind::Pattern:
            return runSet(CMD_SET_PATTERN, CMD_GET_PATTERN, command.value, sameCode, "Pattern",
                          "patternCode", patternName);
        case CommandKind::Set:
            return runSetting(command.option, command.value);
        case CommandKind::Power:
            // The generator reports 0 for on and any other value for off.
            return runSet(
                CMD_SET_POWER, CMD_GET_POWER, command.value,
                [on = command.value == 0](int readBack) { return (readBack == 0) == on; }, "Power",
                "power", [](int value) { return std::string(value == 0 ? "ON" : "OFF"); });
        case CommandKind::ResetDefaults:
            return runResetDefaults();
        case CommandKind::Wait:
            waitMs(command.value);
            return ExitStatus::Done;
        case CommandKind::EdidRead:
            return runEdidRead(command.value, command.saveDir, command.edidForm);
        case CommandKind::AddressRead:
            return runAddressRead();
        case CommandKind::AddressWrite:
            return runAddressWrite({static_cast<std::uint8_t>(command.value >> 8),
                                    static_cast<std::uint8_t>(command.value & 0xFF)});
        case CommandKind::Details:
            return runDetails(command.value);
        case CommandKind::StoreUserTiming:
            return runStoreUserTiming(command);
    }
    return ExitStatus::Usage;
}

ExitStatus GeneratorSession::runSearch() {
    // Without --port the search already ran in connect(); with it, only that port is probed.
    if (options_.port.given()) {
        sendProbe(kFirstProbeWaitMs);
        if (!awaitProbe())
            return fail(ExitStatus::NoAnswer, portName() + ": " + std::string(kNoDeviceMessage));
    }
    Json fields = {{"port", portName()}};
    fields.update(addressFields(answeringAddress_));
    show({{"Port", portName()}, {"Address", addressText(answeringAddress_)}}, fields);
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runStatus() {
    if (options_.silentBroadcast())
        return fail(ExitStatus::NoAnswer, "all-silent: no device answers, nothing to read");
    sweepDone_ = false;
    answer_.reset();
    awaitedCode_ = CMD_GET_LINK_STATUS;  // asked for by the receiver once the sweep is done
    receiver_.startStatusSweep(kAnswerWaitMs);
    if (!waitFor([this] { return sweepDone_; })) {
        // The query whose answer did not come, as the sweep stopped at it.
        const auto index = std::min(static_cast<std::size_t>(std::max(receiver_.sweepIndex, 0)),
                                    kStatusQueryCodes.size() - 1);
        return fail(ExitStatus::NoAnswer,
                    "no answer to " + std::string(commandName(kStatusQueryCodes[index])));
    }
    StatusReport report{receiver_.deviceStatus, receiver_.userTimings, std::nullopt, {}};
    // The receiver has asked for the link status as it finished the sweep.
    startWatchdog(kAnswerWaitMs);
    if (!waitFor([this] { return answer_.has_value(); }) || answer_->size() != kLinkStatusSize)
        return fail(ExitStatus::NoAnswer, "no answer to CMD_GET_LINK_STATUS");
    std::array<std::int8_t, kLinkStatusSize> link{};
    for (std::size_t i = 0; i < link.size(); ++i)
        link[i] = static_cast<std::int8_t>((*answer_)[i]);
    report.linkStatus = link;
    awaitedCode_ = 0;
    show(statusTexts(report), statusJson(report));
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runSet(CommandCode setCode, CommandCode getCode, int value,
                                    const std::function<bool(int)>& matches,
                                    const std::string& caption, std::string_view jsonKey,
                                    const std::function<std::string(int)>& describe) {
    const auto payload = static_cast<std::uint8_t>(value);
    if (!sendSet(setCode, {&payload, 1}))
        return fail(ExitStatus::NoAnswer, "the port takes no more bytes");
    if (options_.silentBroadcast()) {
        // Every device acts and none answers: there is nothing to read back.
        show({{caption, describe(value)}, {"Read back", "no (all-silent)"}},
             {{jsonKey, value}, {"text", describe(value)}, {"readBack", false}});
        return ExitStatus::Done;
    }
    const auto data = query(getCode);
    if (!data || data->size() != 1)
        return fail(ExitStatus::NoAnswer, "no answer to " + std::string(commandName(getCode)));
    const int readBack = static_cast<std::int8_t>((*data)[0]);
    if (!matches(readBack)) {
        return fail(
            ExitStatus::ReadBackDiffers,
            caption + ": set " + describe(value) + ", the generator reports " + describe(readBack));
    }
    show({{caption, describe(readBack)}},
         {{jsonKey, readBack}, {"text", describe(readBack)}, {"readBack", true}});
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runSetting(SettingOption option, int value) {
    SettingOps line(*this);
    const bool silent = options_.silentBroadcast();
    switch (ops::applySetting(
        line, option, value,
        silent ? ops::SetFollowUp::Nothing : ops::SetFollowUp::ReadBackThenAutoLinkStatus)) {
        case ops::SetOutcome::Sent:
            // Every device acts and none answers: there is nothing to read back.
            if (silent) {
                show({{std::string(settingCaptions(option).caption), settingName(option, value)},
                      {"Read back", "no (all-silent)"}},
                     {{statusKey(option), value},
                      {"text", settingName(option, value)},
                      {"readBack", false}});
            }
            return ExitStatus::Done;
        case ops::SetOutcome::LineLost:
            return fail(ExitStatus::NoAnswer, "the port takes no more bytes");
        case ops::SetOutcome::Refused:
        case ops::SetOutcome::Stopped:
            break;
    }
    return line.status;
}

ExitStatus GeneratorSession::runResetDefaults() {
    if (!sendSet(CMD_RESET_DEFAULTS, {}))
        return fail(ExitStatus::NoAnswer, "the port takes no more bytes");
    // The generator restores its settings a while later; an answer now shows it heard the
    // request. The settings themselves are read by a later status.
    if (!options_.silentBroadcast() && !query(CMD_GET_COLOR_SPACE))
        return fail(ExitStatus::NoAnswer, "no answer to CMD_GET_COLOR_SPACE");
    show({{"Reset", std::string(kResetNote)}}, {{"text", kResetNote}});
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runEdidRead(int savedSlot, const std::string& saveDir,
                                         std::optional<EdidForm> form) {
    if (options_.silentBroadcast())
        return fail(ExitStatus::NoAnswer, "all-silent: no device answers, nothing to read");
    // The answer is matched by the receiver's EDID mode, as on the EDID page.
    edidImage_ = blankEdidImage();
    edidDone_ = false;
    EdidOps line(*this);
    if (!ops::readEdid(line, savedSlot)) {
        return fail(ExitStatus::NoAnswer,
                    "no answer to " + std::string(commandName(ops::edidRequestCode(savedSlot))));
    }
    std::vector<LabelledText> saved;
    std::string saveFailure;
    if (!saveDir.empty()) {
        // A bench names a folder per unit; make it, as the operator would before saving. Whatever
        // stands in the way shows up as the save's own failure.
        std::error_code ignored;
        std::filesystem::create_directories(saveDir, ignored);
        const auto files = saveEdidFiles(saveDir, edidImage_);
        if (files) {
            saved = {{"Saved", files.value().textFile.string()},
                     {"Saved", files.value().binaryFile.string()}};
        } else {
            saveFailure = shown(saveDir, saveDir.size()) + ": " + files.error();
        }
    }
    const EdidReport report = EdidDecoder::decodeReceived(edidImage_);
    Json fields = {{"slot", savedSlot},
                   {"bytes", edidImage_},
                   {"status", toTerminalLines(report.status)},
                   {"dump", report.hexDump},
                   {"general", toTerminalLines(report.general)},
                   {"video", toTerminalLines(report.video)},
                   {"audio", toTerminalLines(report.audio)}};
    if (!saved.empty()) {
        fields["textFile"] = saved[0].second;
        fields["binaryFile"] = saved[1].second;
    }
    // JSON holds the raw bytes as "bytes" already, and text only.
    if (form && *form != EdidForm::Binary)
        fields["edid"] = formatEdid(edidImage_, *form);
    if (form && !options_.json) {
        // Only the bytes, so that the output is the file or the text to paste.
        out_ << formatEdid(edidImage_, *form) << std::flush;
    } else {
        if (!options_.json)
            out_ << formatEdidForTerminal(edidImage_) << (saved.empty() ? "" : "\n");
        show(saved, fields);
    }
    // The report is out either way: a file that cannot be written loses nothing that was read.
    if (!saveFailure.empty())
        return fail(ExitStatus::FileNotWritten, saveFailure);
    return ExitStatus::Done;
}

std::optional<TargetAddress> GeneratorSession::readAddress() {
    const auto data = query(CMD_READ_ADDRESS, {}, kEveryDevice);
    if (!data || data->size() != kAddressAnswerSize)
        return std::nullopt;
    return TargetAddress{(*data)[0], (*data)[1]};
}

ExitStatus GeneratorSession::runAddressRead() {
    const auto address = readAddress();
    if (!address)
        return fail(ExitStatus::NoAnswer, "no answer to CMD_READ_ADDRESS");
    show({{"Address", addressText(*address)}}, addressFields(*address));
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runAddressWrite(TargetAddress address) {
    if (!isWritableAddressPair(address.group, address.device))
        return fail(ExitStatus::Refused, std::string(kAddressPairMessage));
    const std::array<std::uint8_t, 2> payload = {address.group, address.device};
    if (!sendSet(CMD_WRITE_ADDRESS, payload, kEveryDevice))
        return fail(ExitStatus::NoAnswer, "the port takes no more bytes");
    const auto readBack = readAddress();
    if (!readBack)
        return fail(ExitStatus::NoAnswer, "no answer to CMD_READ_ADDRESS");
    if (*readBack != address) {
        return fail(ExitStatus::ReadBackDiffers, "Address: set " + addressText(address) +
                                                     ", the generator reports " +
                                                     addressText(*readBack));
    }
    show({{"Address", addressText(*readBack)}}, addressFields(*readBack));
    return ExitStatus::Done;
}

std::optional<UserTiming> GeneratorSession::readUserTiming(int slot) {
    const auto payload = static_cast<std::uint8_t>(slot - 1);
    const auto data = query(CMD_GET_USER_TIMING, {&payload, 1});
    if (!data || data->size() != kUserTimingSize)
        return std::nullopt;
    return UserTiming::fromBytes(
        std::span<const std::uint8_t, kUserTimingSize>(data->data(), kUserTimingSize));
}

std::optional<TimingDetails> GeneratorSession::detailsFor(TimingCode code) {
    if (isUserTiming(code)) {
        const auto record = readUserTiming(userSlotOf(code));
        return record ? std::optional(recordTimingDetails(*record)) : std::nullopt;
    }
    if (code == kAutoTiming) {
        // Asked with the automatic code, as the Timing page asks when it is chosen.
        const auto payload = static_cast<std::uint8_t>(kAutoTiming);
        const auto data = query(CMD_GET_TIMING_DETAILS, {&payload, 1});
        if (!data || data->size() != kUserTimingSize)
            return std::nullopt;
        return recordTimingDetails(UserTiming::fromBytes(
            std::span<const std::uint8_t, kUserTimingSize>(data->data(), kUserTimingSize)));
    }
    return standardTimingDetails(code);
}

ExitStatus GeneratorSession::runDetails(TimingCode code) {
    if (code < 0) {
        const auto current = query(CMD_GET_TIMING);
        if (!current || current->size() != 1)
            return fail(ExitStatus::NoAnswer, "no answer to CMD_GET_TIMING");
        code = static_cast<std::int8_t>((*current)[0]);
    }
    const auto details = detailsFor(code);
    if (!details) {
        return fail(ExitStatus::NoAnswer,
                    "no answer to " +
                        std::string(commandName(isUserTiming(code) ? CMD_GET_USER_TIMING
                                                                   : CMD_GET_TIMING_DETAILS)));
    }
    show(detailsTexts(code, *details), detailsJson(code, *details));
    return ExitStatus::Done;
}

ExitStatus GeneratorSession::runStoreUserTiming(const Command& command) {
    const int slot = command.value;
    // The page locks the 4K timings: their fields cannot be edited nor saved.
    if (is4k(command.fromCode))
        return fail(ExitStatus::Refused,
                    "the 4K timings are locked on the Timing Details page and cannot be stored");
    TimingDetails details;
    if (command.fromCode >= 0) {
        const auto from = detailsFor(command.fromCode);
        if (!from)
            return fail(ExitStatus::NoAnswer,
                        "no answer for the details of " + timingName(command.fromCode));
        details = *from;
    }
    for (const TimingEdit& edit : command.edits) {
        if (edit.field == kScanTypeEdit)
            details.scanType = static_cast<int>(edit.value);
        else if (edit.field == kHSyncEdit)
            details.hSyncPolarity = static_cast<int>(edit.value);
        else if (edit.field == kVSyncEdit)
            details.vSyncPolarity = static_cast<int>(edit.value);
        else if (const auto* whole =
                     std::get_if<int TimingDetails::*>(&kTimingDetailFields[edit.field].member))
            details.*(*whole) = static_cast<int>(edit.value);
        else
            details.*std::get<float TimingDetails::*>(kTimingDetailFields[edit.field].member) =
                static_cast<float>(edit.value);
    }
    // A script has no memory of earlier runs: the slot is parked when the generator outputs it.
    StoreOps line(*this);
    const ops::StoreOutcome outcome =
        ops::storeUserTiming(line, {slot, details, ops::ParkWhen::BeingOutput, -1});
    if (outcome.status == ops::StoreOutcome::Status::LineLost)
        return fail(ExitStatus::NoAnswer, "the port takes no more bytes");
    if (outcome.status != ops::StoreOutcome::Status::Stored)
        return line.status;
    const UserTiming& record = outcome.record;
    const std::string caption = "User " + std::to_string(slot);
    if (!options_.silentBroadcast()) {
        const auto stored = readUserTiming(slot);
        if (!stored)
            return fail(ExitStatus::NoAnswer, "no answer to CMD_GET_USER_TIMING");
        if (*stored != record) {
            return fail(ExitStatus::ReadBackDiffers,
                        caption + ": stored " + formatUserTimingLabel(record) +
                            ", the generator reports " + formatUserTimingLabel(*stored));
        }
    }
    show({{caption, formatUserTimingLabel(record)}},
         {{"slot", slot}, {"label", formatUserTimingLabel(record)}});
    return runSet(
        CMD_SET_TIMING, CMD_GET_TIMING, userTimingCode(slot),
        [code = userTimingCode(slot)](int readBack) { return readBack == code; }, "Timing",
        "timingCode", [](int code) { return timingName(code); });
}

void GeneratorSession::waitMs(int ms) {
    const auto until = events_.now() + std::chrono::milliseconds(ms);
    while (events_.runNext(until)) {
    }
}

bool GeneratorSession::awaitWritten() {
    const auto limit = events_.now() + kWriteLimit;
    while (unwritten_ > 0 && !portLost_) {
        if (!events_.runNext(limit))
            return false;
    }
    return !portLost_;
}

bool GeneratorSession::sendSet(CommandCode code, std::span<const std::uint8_t> payload,
                               std::optional<TargetAddress> to) {
    if (options_.silentBroadcast()) {
        // Nothing answers: the run is only done, and the port closed, once the frame has left.
        sendFrame(to.value_or(options_.address), code, payload);
        return awaitWritten();
    }
    sendAwaited(to.value_or(options_.address), code, payload);
    awaitAnswer(ops::kSetFollowUpWaitMs);
    return !portLost_;
}

std::optional<std::vector<std::uint8_t>> GeneratorSession::query(
    CommandCode code, std::span<const std::uint8_t> payload, std::optional<TargetAddress> to) {
    sendAwaited(to.value_or(options_.address), code, payload);
    return awaitAnswer(kAnswerWaitMs);
}

void GeneratorSession::sendAwaited(TargetAddress to, CommandCode code,
                                   std::span<const std::uint8_t> payload) {
    awaitedCode_ = code;
    answer_.reset();
    sendFrame(to, code, payload);
}

std::optional<std::vector<std::uint8_t>> GeneratorSession::awaitAnswer(int intervalMs) {
    startWatchdog(intervalMs);
    waitFor([this] { return answer_.has_value(); });
    stopWatchdog();
    awaitedCode_ = 0;
    return std::move(answer_);
}

bool GeneratorSession::waitFor(const std::function<bool()>& done) {
    while (!done()) {
        const auto deadline = watchdog_.deadline();
        if (portLost_ || !deadline)
            return false;
        if (events_.runNext(*deadline))
            continue;
        watchdog_.stop();
        if (!receiver_.searchMode)
            receiver_.watchdogExpired();
    }
    return true;
}

void GeneratorSession::onSerialBytes(int, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        // The search matcher checks the probe answer's head; its address bytes are taken here
        // as the matcher accepts them.
        const int before = receiver_.rxPosition;
        const bool searching = receiver_.searchMode;
        receiver_.onByte(byte, options_.address);
        if (searching && receiver_.rxPosition == before + 1) {
            if (receiver_.rxPosition == 5)
                answeringAddress_.group = byte;
            else if (receiver_.rxPosition == 6)
                answeringAddress_.device = byte;
        }
    }
}

void GeneratorSession::onSerialTxEmpty(int) {
    if (unwritten_ > 0)
        --unwritten_;
}

void GeneratorSession::onSerialPortLost(int) {
    portLost_ = true;
}

void GeneratorSession::sendQuery(CommandCode code, std::span<const std::uint8_t> payload) {
    sendFrame(options_.address, code, payload);
}

void GeneratorSession::sendFrame(TargetAddress to, CommandCode code,
                                 std::span<const std::uint8_t> payload) {
    const auto frame = buildFrame(to.group, to.device, code, payload);
    ++unwritten_;
    watchdog_.requestSent();
    channel_->queueWrite(frame->view());
}

void GeneratorSession::startWatchdog(int intervalMs) {
    watchdog_.start(events_.now(), options_.timeoutMs.value_or(intervalMs));
}

void GeneratorSession::stopWatchdog() {
    watchdog_.stop();
}

void GeneratorSession::storeEdidByte(std::size_t index, std::uint8_t value) {
    if (index < edidImage_.size())
        edidImage_[index] = value;
}

void GeneratorSession::edidReceived() {
    edidDone_ = true;
}

void GeneratorSession::sweepFinished() {
    sweepDone_ = true;
}

void GeneratorSession::runHandler(std::size_t codeIndex, std::span<const std::uint8_t> data) {
    if (awaitedCode_ != 0 && kResponseCodes[codeIndex] == awaitedCode_ && !answer_)
        answer_.emplace(data.begin(), data.end());
}

}  // namespace krx::ctl
