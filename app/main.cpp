// posdip: the settings window of a receipt printer.
#include "app/FrmTest.h"
#include "app/display_check.h"
#include "posdll/program_start.h"

#include <QApplication>

#include <fontconfig/fontconfig.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// Reading the font configuration is the longest step before the first caption can be measured;
// on a thread of its own it runs while the display is connected, and the toolkit finds it done.
// Without a thread to spare the toolkit reads it itself.
std::thread readFontConfigurationAhead() {
    try {
        return std::thread(FcInit);
    } catch (const std::system_error &) {
        return {};
    }
}

} // namespace

int main(int argc, char *argv[]) try {
    posdll::openMissingStandardDescriptors();
    std::thread fonts = readFontConfigurationAhead();
    std::optional<QApplication> application;
    {
        const app::NoDisplayReport noDisplay;
        application.emplace(argc, argv);
    }
    if (fonts.joinable())
        fonts.join();
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
