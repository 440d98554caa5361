// Without a display Qt gives up while the application starts, with an abort and advice to
// reinstall. While this guard lives, that failure becomes a plain message and exit status 1.
#pragma once

#include <QtGlobal>

namespace app {

class NoDisplayReport {
  public:
    NoDisplayReport();
    ~NoDisplayReport();
    NoDisplayReport(const NoDisplayReport &) = delete;
    NoDisplayReport &operator=(const NoDisplayReport &) = delete;

  private:
    QtMessageHandler m_previous;
};

} // namespace app
