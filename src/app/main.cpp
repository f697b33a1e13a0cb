// The desktop program: the main flow on the Qt backend.
#include <QApplication>

#include "platform/desktop.h"
#include "shell/program.h"
#include "backends/qt/qt_window_system.h"
#include "windows/main_flow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvolin"));
    QApplication::setDesktopFileName(QStringLiteral("tarvolin"));
    int rc = 0;
    {
        tv::QtWindowSystem ui;
        tv::Program p(ui);
        p.openFolder = [](const std::string& path) { tv::platform::openFolder(path); };
        p.picturesFolder = [] { return tv::platform::picturesFolder(); };
        rc = tv::runTarvolin(p);
    }
    return rc;
}
