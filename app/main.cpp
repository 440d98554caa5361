// posdip: the settings window of a receipt printer.
#include "app/FrmTest.h"
#include "app/display_check.h"
#include "posdll/program_start.h"

#include <QApplication>

#include <cstdlib>
#include <new>
#include <optional>

int main(int argc, char *argv[]) try {
    posdll::openMissingStandardDescriptors();
    std::optional<QApplication> application;
    {
        const app::NoDisplayReport noDisplay;
        application.emplace(argc, argv);
    }
    QApplication::setApplicationName(QStringLiteral("posdip"));
    QApplication::setDesktopFileName(QStringLiteral("posdip"));

    app::FrmTest window;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return QApplication::exec();
} catch (const std::bad_alloc &) {
    posdll::reportOutOfMemory("posdip");
    return EXIT_FAILURE;
}
