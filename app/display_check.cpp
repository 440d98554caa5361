#include "app/display_check.h"

#include "posdll/quoted.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace app {

namespace {

QtMessageHandler previousHandler = nullptr;

QByteArray shown(const char *variable) {
    const QByteArray value = qgetenv(variable);
    return value.isEmpty() ? QByteArrayLiteral("not set")
                           : QByteArray::fromStdString(posdll::quoted(value.toStdString()));
}

// The only fatal message while the application starts is the one of a platform that could not
// be opened: no X11 or Wayland display to draw on.
void report(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type != QtFatalMsg) {
        previousHandler(type, context, message);
        return;
    }
    std::fprintf(stderr,
                 "posdip: no display found (DISPLAY %s, WAYLAND_DISPLAY %s): the window needs "
                 "an X11 or Wayland desktop; without one, run it under xvfb-run\n",
                 shown("DISPLAY").constData(), shown("WAYLAND_DISPLAY").constData());
    std::fflush(stderr);
    std::_Exit(1); // nothing of the application was made that needs ending
}

} // namespace

NoDisplayReport::NoDisplayReport() : m_previous(qInstallMessageHandler(report)) {
    previousHandler = m_previous;
}

NoDisplayReport::~NoDisplayReport() {
    qInstallMessageHandler(m_previous);
}

} // namespace app
