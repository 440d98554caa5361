// "[ 12/1000] 3 failed" on the terminal while a batch runs, rewritten in place.
#pragma once

#include <cstddef>
#include <ostream>

namespace cli {

// Whether a progress line may be drawn (with "\r\033[K") on a terminal whose TERM is `term`
// (null when unset): not on a dumb one.
bool takesEscapes(bool terminal, const char *term);

class ProgressLine {
  public:
    // Shows nothing unless enabled (stderr is a terminal) and more than one target runs.
    ProgressLine(std::ostream &err, bool enabled, std::size_t total)
        : m_err(err), m_enabled(enabled && total > 1), m_total(total) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void show(std::size_t done, std::size_t failed);
    // Takes the line away so that other output starts on a clean line.
    void clear();

  private:
    std::ostream &m_err;
    bool m_enabled;
    std::size_t m_total;
    bool m_shown = false;
};

} // namespace cli
