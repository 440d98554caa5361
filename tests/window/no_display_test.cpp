// The program started where there is no display says so plainly and exits with status 1.
#include "support/child_process.h"
#include "support/posix_peers.h"

#include <gtest/gtest.h>

using testing_support::ScopedEnv;

TEST(window_no_display_test, posdip_says_no_display_was_found_and_exits_1) {
    const ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);
    const ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    // Unset, and a display number no X server here answers (its socket is local).
    for (const std::optional<std::string> &display : {std::optional<std::string>(), {":917"}}) {
        const ScopedEnv x("DISPLAY", display);
        const auto run = testing_support::runTool({POSDIP_PATH});
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("posdip: no display found"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("einstall"), std::string::npos) << run.output;
    }
}
