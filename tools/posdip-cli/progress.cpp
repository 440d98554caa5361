#include "progress.h"

#include <string>
#include <string_view>

namespace cli {

bool takesEscapes(bool terminal, const char *term) {
    return terminal && !(term && std::string_view(term) == "dumb");
}

void ProgressLine::show(std::size_t done, std::size_t failed) {
    if (!m_enabled)
        return;
    m_err << "\r\033[K[" << done << "/" << m_total << "]";
    if (failed)
        m_err << " " << failed << " failed";
    m_err.flush();
    m_shown = true;
}

void ProgressLine::clear() {
    if (!m_shown)
        return;
    m_err << "\r\033[K";
    m_err.flush();
    m_shown = false;
}

} // namespace cli
