// posdip: the settings window of a receipt printer.
#include "app/FrmTest.h"
#include "app/display_check.h"
#include "posdll/program_start.h"

#include <QApplication>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace {

// --help and --version, answered before Qt looks for a display, so they work without one.
std::optional<int> answerWithoutWindow(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--version") {
            std::printf("posdip %s\n", POSDIP_VERSION);
            return EXIT_SUCCESS;
        }
        if (word == "--help" || word == "-h") {
            std::fputs("Usage: posdip [QT-OPTIONS]\n\n"
                       "Opens the settings window of a receipt printer: choose the port, then "
                       "enable\nthe DIP switch, store a setting, restore the default or print "
                       "the self-test.\nFrom a command line or for many printers, see "
                       "posdip-cli(1).\n\n"
                       "  -h, --help  this text\n"
                       "  --version   print the version\n",
                       stdout);
            return EXIT_SUCCESS;
        }
    }
    return std::nullopt;
}

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
    if (const std::optional<int> status = answerWithoutWindow(argc, argv))
        return std::fflush(stdout) == 0 ? *status : EXIT_FAILURE;
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
