// Open-file limits for a batch: how many printers may be served at once, and what to do when
// the process runs out of descriptors all the same.
#pragma once

#include "app/actions.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace batch {

// Raises the soft limit on open files to the hard limit. Quietly keeps it when that fails.
void raiseDescriptorLimit();

// How many network printers may hold a connection at once, counting those still ending their
// documents: what the open-file limit leaves after the descriptors open now and a reserve for
// the other lane, name lookups and the runtime. At least 1; INT_MAX without a limit.
int printersWithinDescriptorLimit();

// True when the printer failed only because this process had no descriptor left to open it.
bool outOfDescriptors(const app::Outcome &outcome);

// Lets a printer that found no free descriptor wait until another one is done and has closed
// its own, instead of failing.
class DescriptorWait {
  public:
    // Runs `serve` (which returns an Outcome) and repeats it while it ran out of descriptors
    // and some other printer is in flight that will free one.
    template <class Serve> app::Outcome run(Serve serve) {
        begin();
        for (;;) {
            const std::size_t endedBefore = ended();
            app::Outcome outcome = serve();
            if (!outOfDescriptors(outcome) || !waitForAnEnd(endedBefore)) {
                end();
                return outcome;
            }
        }
    }

  private:
    void begin();
    void end();
    std::size_t ended();
    // Waits until some other printer has ended since `endedBefore`; false when none is in
    // flight, so none would.
    bool waitForAnEnd(std::size_t endedBefore);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_inFlight = 0;
    std::size_t m_ended = 0;
};

} // namespace batch
