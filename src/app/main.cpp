// SPDX-License-Identifier: MIT
// Composition root: the application, the framework services, the serial channel and the main
// window, built and wired top to bottom.
#include <QApplication>
#include <QLoggingCategory>
#include <filesystem>

#include "app/console_dlg.h"
#include "framework/qt_window_services.h"
#include "link/posix_serial_channel.h"

namespace {
Q_LOGGING_CATEGORY(serialLog, "krx.serial")
}

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    krx::QtWindowServices services;

    // Ports are looked up beside the executable (COMn → ports/COMn).
    const std::filesystem::path portsDir =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "ports";
    krx::CSerialChannel channel(services, portsDir);
    // Failures after a port has opened are not shown to the operator; they go to the log only.
    channel.setErrorReporter(
        [](const std::string& text) { qCDebug(serialLog, "%s", text.c_str()); });

    {
        krx::CConsoleDlg window(services, channel);
        services.runModal(window);
    }  // the window stops the channel before the channel itself goes away
    return 0;
}
