// The printers' readings as metrics in the Prometheus text format, written for the node
// exporter's textfile collector: one file, replaced whole so a reader never sees half of it.
#pragma once

#include "app/result.h"

#include <span>
#include <string>

namespace batch {

struct MetricsSample {
    std::string target; // the printer as its targets line names it
    app::Result result;
};

struct MetricsRun {
    double finishedAt = 0; // seconds since the epoch
    double seconds = 0;    // how long the run took
    bool identity = false; // an info series for each printer that gave its ID
};

// Each name's HELP and TYPE, then its samples; label values escaped; ends with a newline.
std::string metricsText(std::span<const MetricsSample> samples, const MetricsRun &run);

// Writes PATH.tmp.PID in PATH's folder, syncs it and renames it over PATH, so PATH is either
// the old file or the new one. "" when done, else why not, naming the file; the old file is
// then left as it was.
std::string replaceFile(const std::string &path, const std::string &text);

} // namespace batch
