// SPDX-License-Identifier: MIT
#include "app/console_app.h"

#include <filesystem>

#include "address/sg_ini_location.h"
#include "app/console_dlg.h"
#include "app/port_return_watch.h"
#include "app/serial_log.h"
#include "files/atomic_save.h"
#include "files/settings_dirs.h"
#include "framework/qt_window_services.h"
#include "link/port_channel.h"
#include "link/port_map.h"

namespace krx {

CConsoleApp::CConsoleApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Wayland desktops match the window to its menu entry and icon by this name.
    setDesktopFileName(QStringLiteral(KRX_APP_ID));
}

bool CConsoleApp::initInstance() {
    QtWindowServices services;

    // Ports and the address book are looked up beside the executable first (COMn -> ports/COMn,
    // a device or a URL file), then in the user's settings folder, where an installed program
    // keeps them.
    const std::filesystem::path executableDir(applicationDirPath().toStdString());
    const SettingsEnvironment environment = SettingsEnvironment::fromProcess();
    const PortsDirectories portsDirs =
        portsDirectories(executableDir, userSettingsDirectory(environment));
    CPortChannel channel(services, portsDirs);
    // A lost port is waited for where its ports entry or device would come back.
    CPortReturnWatch returnWatch(portsDirs);
    // Failures after a port has opened are not shown to the operator; they go to the log only.
    channel.setErrorReporter(
        [](const std::string& text) { qCDebug(serialLog, "%s", text.c_str()); });

    {
        CConsoleDlg window(services, channel, locateSgIni(executableDir, environment, probePath));
        window.connection().setReturnWatch(&returnWatch);
        services.runModal(window);
    }  // the window stops the channel before the channel itself goes away
    return false;
}

}  // namespace krx
