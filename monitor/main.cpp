#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

#include "monitor/app_icon.h"
#include "monitor/monitor_dialog.h"
#include "monitor/monitor_fonts.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Rotalyx %s\n", FANBENCH_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--export-icon") == 0 && i + 1 < argc) {
            QGuiApplication app(argc, argv);
            return fanbench::monitor::appIconImage().save(QString::fromLocal8Bit(argv[i + 1])) ? 0
                                                                                               : 1;
        }
    }
    QApplication app(argc, argv);
    // Message boxes carry the executable's name without its extension.
    QApplication::setApplicationName(
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    QApplication::setApplicationVersion(FANBENCH_VERSION);
    fanbench::monitor::installFontSubstitutions();
    QApplication::setWindowIcon(fanbench::monitor::appIcon());

    fanbench::monitor::MonitorDialog dialog;
    dialog.exec();
    return 0;
}
