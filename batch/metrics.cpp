#include "batch/metrics.h"

#include "posdll/fd.h"
#include "posdll/quoted.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

namespace batch {

namespace {

using Labels = std::vector<std::pair<std::string, std::string>>;

// A label value as the text format reads it back.
std::string escapedLabel(const std::string &value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// One metric name: its HELP and TYPE once, then every sample added.
class Family {
  public:
    Family(std::string &out, const char *name, const char *help) : m_out(out), m_name(name) {
        m_out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    }
    void add(const Labels &labels, const std::string &value) {
        m_out += m_name;
        if (!labels.empty()) {
            m_out += '{';
            for (std::size_t i = 0; i < labels.size(); ++i)
                m_out += (i ? "," : "") + labels[i].first + "=\"" + escapedLabel(labels[i].second) +
                         "\"";
            m_out += '}';
        }
        m_out += " " + value + "\n";
    }
    void add(const Labels &labels, bool value) { add(labels, std::string(value ? "1" : "0")); }

  private:
    std::string &m_out;
    const char *m_name;
};

struct Condition {
    const char *name; // as print servers name their printers' states
    bool (*holds)(const protocol::StatusSummary &);
};

constexpr Condition kConditions[] = {
    {"media-low", [](const auto &s) { return s.paper == protocol::PaperLevel::NearEnd; }},
    {"media-empty", [](const auto &s) { return s.paper == protocol::PaperLevel::Out; }},
    {"cover-open", [](const auto &s) { return s.coverOpen; }},
    {"offline", [](const auto &s) { return s.offline; }},
    {"error", [](const auto &s) { return s.error; }},
};

std::string idField(const device::Identity &id, protocol::IdRequest request) {
    return id.text(request).value_or("");
}

std::string failedOn(const std::string &what, const std::string &path, int err) {
    return "cannot " + what + " " + posdll::quoted(path) + ": " + posdll::errnoText(err);
}

} // namespace

std::string metricsText(std::span<const MetricsSample> samples, const MetricsRun &run) {
    std::string out;
    Family up(out, "posdip_printer_up", "Whether the printer answered the status requests.");
    for (const MetricsSample &s : samples)
        up.add({{"target", s.target}}, s.result.status.has_value());
    Family ready(out, "posdip_printer_ready", "Whether the printer is ready to print.");
    for (const MetricsSample &s : samples)
        ready.add({{"target", s.target}}, s.result.status && s.result.status->summary.ready);
    Family condition(out, "posdip_printer_condition",
                     "Whether the printer reports the condition; only printers that answered.");
    for (const MetricsSample &s : samples)
        if (s.result.status)
            for (const Condition &c : kConditions)
                condition.add({{"target", s.target}, {"condition", c.name}},
                              c.holds(s.result.status->summary));
    if (run.identity) {
        Family info(out, "posdip_printer_info",
                    "The printer's maker, model, firmware and serial number, as it gave them.");
        for (const MetricsSample &s : samples)
            if (s.result.identity && s.result.identity->hasId()) {
                using protocol::IdRequest;
                const device::Identity &id = *s.result.identity;
                info.add({{"target", s.target},
                          {"maker", idField(id, IdRequest::Maker)},
                          {"model", idField(id, IdRequest::ModelName)},
                          {"firmware", idField(id, IdRequest::Firmware)},
                          {"serial", idField(id, IdRequest::Serial)}},
                         true);
            }
    }
    Family(out, "posdip_status_last_run_timestamp_seconds",
           "When the last reading of the printers ended, in seconds since the epoch.")
        .add({}, seconds(run.finishedAt));
    Family(out, "posdip_status_duration_seconds", "How long the last reading of the printers took.")
        .add({}, seconds(run.seconds));
    return out;
}

std::string replaceFile(const std::string &path, const std::string &text) {
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    posdll::Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd)
        return failedOn("create", temporary, errno);
    // Nothing half-written is left behind.
    const auto abandon = [&](const char *what, const std::string &file, int err) {
        ::unlink(temporary.c_str());
        return failedOn(what, file, err);
    };
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR)
            return abandon("write", temporary, errno);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (const int err = ::fsync(fd.get()) != 0 ? errno : fd.reset())
        return abandon("write", temporary, err);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return abandon("replace", path, errno);
    return "";
}

} // namespace batch
