// SPDX-License-Identifier: MIT
#include "app/console_app.h"

#include <filesystem>

#include "app/console_dlg.h"
#include "app/serial_log.h"
#include "framework/qt_window_services.h"
#include "link/posix_serial_channel.h"

namespace krx {

CConsoleApp::CConsoleApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CConsoleApp::initInstance() {
    QtWindowServices services;

    // Ports and the address book are looked up beside the executable (COMn -> ports/COMn).
    const std::filesystem::path executableDir(applicationDirPath().toStdString());
    const std::filesystem::path portsDir = executableDir / "ports";
    CSerialChannel channel(services, portsDir);
    // Failures after a port has opened are not shown to the operator; they go to the log only.
    channel.setErrorReporter(
        [](const std::string& text) { qCDebug(serialLog, "%s", text.c_str()); });

    {
        CConsoleDlg window(services, channel, executableDir);
        services.runModal(window);
    }  // the window stops the channel before the channel itself goes away
    return false;
}

}  // namespace krx
