// posdip: the settings window of a receipt printer.
#include "app/FrmTest.h"
#include "app/display_check.h"

#include <QApplication>

#include <optional>

int main(int argc, char *argv[]) {
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
}
