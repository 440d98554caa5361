// posdip: the settings window of a receipt printer.
#include "app/FrmTest.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("posdip"));
    QApplication::setDesktopFileName(QStringLiteral("posdip"));

    app::FrmTest window;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    return QApplication::exec();
}
