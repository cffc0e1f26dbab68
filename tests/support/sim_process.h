// SPDX-License-Identifier: MIT
// Runs the krx-vtp-sim program for tests and benchmarks that need the real process on a real
// pseudo-terminal. Header-only so that both can use it without a library of their own.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace krx::testing {

// Generous: a loaded machine with sanitizers may be slow to start a process. Never reached when
// things work; nothing here measures speed.
inline constexpr int kProcessSafetyTimeoutMs = 20'000;

// True when `fd` became readable (or hung up) within `timeoutMs`.
inline bool waitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}

// One run of `binary` with `args`, its standard output on a pipe and, when `stderrPath` is given,
// its standard error in that file (and its standard input from `stdinPath`). The destructor ends
// a process still running with SIGTERM, which lets the simulator remove its link, and reaps it.
class SimProcess {
  public:
    SimProcess(const std::string& binary, const std::vector<std::string>& args,
               const std::string& stderrPath = {}, const std::string& stdinPath = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (!stderrPath.empty())
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!stdinPath.empty())
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, stdinPath.c_str(), O_RDONLY,
                                             0);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const int spawned =
            posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        stdout_ = out[0];
        if (spawned != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + binary);
        }
    }

    ~SimProcess() {
        if (pid_ > 0) {
            terminate();
            if (!waitExit()) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
        }
        ::close(stdout_);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The first line the simulator prints, the pty it listens on, which it prints once the line is
    // ready. Nothing when it ended (bad arguments) or stayed silent.
    std::optional<std::string> firstLine() {
        std::string line;
        char c = 0;
        while (waitReadable(stdout_, kProcessSafetyTimeoutMs) && ::read(stdout_, &c, 1) == 1) {
            if (c == '\n')
                return line;
            line += c;
        }
        return std::nullopt;
    }

    // Everything it writes to its standard output until it closes it.
    std::string readAll() {
        std::string text;
        char chunk[4096];
        for (ssize_t count = 0; waitReadable(stdout_, kProcessSafetyTimeoutMs) &&
                                (count = ::read(stdout_, chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<std::size_t>(count));
        return text;
    }

    void terminate() const { ::kill(pid_, SIGTERM); }

    // The exit code once the process has ended by itself or after terminate() (128 + the signal
    // when a signal ended it); nothing if it still runs after the safety time-out.
    std::optional<int> waitExit() {
        const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (pidFd >= 0) {
            const bool ended = waitReadable(pidFd, kProcessSafetyTimeoutMs);
            ::close(pidFd);
            if (!ended)
                return std::nullopt;
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_)
            return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

}  // namespace krx::testing
