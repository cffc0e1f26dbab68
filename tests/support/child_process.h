// SPDX-License-Identifier: MIT
// Runs a program for tests and benchmarks that need the real process: krx-vtp-sim on a real
// pseudo-terminal, krx-vtp-ctl, ser2net. Header-only so that both can use it without a library of
// their own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/waits.h"

extern char** environ;

namespace krx::testing {

// One run of `binary` with `args`, its standard output on a pipe or, when `stdoutPath` is given,
// in that file; its standard error in the file `stderrPath` when given (which may be the same
// file); its standard input from `stdinPath` when given. The destructor ends a process still
// running with SIGTERM, which lets the simulator remove its link, and reaps it.
class ChildProcess {
  public:
    ChildProcess(const std::string& binary, const std::vector<std::string>& args,
                 const std::string& stderrPath = {}, const std::string& stdinPath = {},
                 const std::string& stdoutPath = {}) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        // Appended to, so that output and error in one file each land whole.
        const auto toFile = [&actions](int fd, const std::string& path) {
            if (!path.empty())
                posix_spawn_file_actions_addopen(&actions, fd, path.c_str(),
                                                 O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        };
        toFile(STDOUT_FILENO, stdoutPath);
        toFile(STDERR_FILENO, stderrPath);
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

    ~ChildProcess() {
        if (pid_ > 0) {
            terminate();
            if (!waitExit()) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
        }
        ::close(stdout_);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The first line the simulator prints, the pty it listens on, which it prints once the line is
    // ready. Nothing when it ended (bad arguments) or stayed silent.
    std::optional<std::string> firstLine() {
        std::string line;
        char c = 0;
        while (waitReadable(stdout_) && ::read(stdout_, &c, 1) == 1) {
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
        for (ssize_t count = 0;
             waitReadable(stdout_) && (count = ::read(stdout_, chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<std::size_t>(count));
        return text;
    }

    void terminate(int signal = SIGTERM) const {
        if (pid_ > 0)
            ::kill(pid_, signal);
    }

    // The exit code once the process has ended by itself or after terminate() (128 + the signal
    // when a signal ended it); nothing if it still runs after `timeout`.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = kSafetyTimeout) {
        const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (pidFd >= 0) {
            const bool ended = waitReadable(pidFd, timeout);
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
