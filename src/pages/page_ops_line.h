// SPDX-License-Identifier: MIT
// A page as the front end of an operation of src/ops: frames through the main window's senders
// (which show "Com port is not on yet." themselves, and the operation goes on as if sent), every
// wait a window-thread sleep, a refusal a message box owned by the page.
#pragma once

#include <QString>
#include <QWidget>

#include "framework/latin1.h"
#include "framework/window_services.h"
#include "pages/page_host.h"

namespace krx {

template <class Line>
class PageOpsLine : public Line {
  public:
    PageOpsLine(PageHost& host, QWidget* owner) : host_(host), owner_(owner) {}

    bool send(CommandCode code, std::span<const std::uint8_t> payload) override {
        host_.sendCommandWithData(code, static_cast<int>(payload.size()), payload.data());
        return true;
    }
    bool settle(int ms) override {
        host_.services().sleepMs(ms);
        return true;
    }
    void waitMs(int ms) override { host_.services().sleepMs(ms); }
    void refuse(std::string_view message) override {
        host_.services().showMessage(owner_, latin1(message));
    }

  protected:
    ~PageOpsLine() = default;

    PageHost& host_;
    QWidget* owner_;
};

}  // namespace krx
