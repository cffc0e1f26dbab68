// SPDX-License-Identifier: MIT
// The device search: COM1 to COM99 in turn, a presence probe on each port that opens, until one
// answers. The first probe waits kFirstProbeWaitMs for its answer, every later one
// kLaterProbeWaitMs (link/generator_facts.h).
#pragma once

namespace krx::ops {

class SearchLine {
  public:
    // Opens COMn and monitors it; false leaves no port open.
    virtual bool openPort(int comNumber) = 0;
    virtual void closePort() = 0;
    virtual void waitMs(int ms) = 0;
    // Queues the presence probe (CMD_PING) on the open port, with a fresh frame position for its
    // answer, and arms the answer wait of `answerWaitMs`.
    virtual void sendProbe(int answerWaitMs) = 0;

  protected:
    ~SearchLine() = default;
};

// Driven by the front end's own wait: start(), then probeEnded() each time a probe's wait is
// over, until it says Found or Exhausted. The console returns to its message loop in between, the
// client blocks on its channel.
class PortSearch {
  public:
    // `pauseBeforeLaterProbeMs`: the console sleeps 50 ms after opening each later port before it
    // probes; the client sends nothing before the port is monitored and takes no pause (0).
    PortSearch(SearchLine& line, int pauseBeforeLaterProbeMs)
        : line_(line), pauseMs_(pauseBeforeLaterProbeMs) {}

    // Probes the first port from COM1 that opens; false when none up to COM99 opens.
    bool start();

    enum class Step { Found, Probing, Exhausted };
    // The probe's wait is over. Answered: the port stays open (Found). Otherwise the port is
    // closed and the next one that opens is probed (Probing), or none is left (Exhausted).
    Step probeEnded(bool answered);

    // The port probed last.
    int port() const { return port_; }

  private:
    bool openFrom(int comNumber);

    SearchLine& line_;
    const int pauseMs_;
    int port_ = 0;
};

}  // namespace krx::ops
