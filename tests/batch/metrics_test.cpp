// The metrics text as prometheus_client's parser reads it back: a printer's name with a quote,
// a backslash and a newline comes back as it was.
#include "batch/metrics.h"
#include "support/child_process.h"
#include "support/posix_peers.h"

#include <gtest/gtest.h>

#include <string>

TEST(metrics_test, a_name_with_quote_backslash_and_newline_reads_back_as_it_is) {
    const std::string name = "DRIVER we\"ird\\queue\nname";
    const batch::MetricsSample samples[] = {{name, app::Result{}}};
    testing_support::TempDir dir;
    const std::string prom = dir.file("posdip.prom");
    ASSERT_EQ(batch::replaceFile(prom, batch::metricsText(samples, {})), "");
    const auto read = testing_support::runTool({"/usr/bin/python3", READ_METRICS, prom});
    EXPECT_EQ(read.status, 0) << read.output;
    EXPECT_NE(read.output.find(
                  R"(["posdip_printer_up", {"target": "DRIVER we\"ird\\queue\nname"}, 0.0])"),
              std::string::npos)
        << read.output;
}
