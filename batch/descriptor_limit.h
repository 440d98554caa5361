// Open-file limits for a batch: how many printers may be served at once, and what to do when
// the process runs out of descriptors all the same.
#pragma once

#include "app/result.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace batch {

// Raises the soft limit on open files to the hard limit. Quietly keeps it when that fails.
void raiseDescriptorLimit();

// Descriptors kept free for the serial, parallel and queue lane, the print server's connection,
// name lookups and the runtime (a sanitizer's memory checks open a pipe).
inline constexpr int kDescriptorReserve = 16;

// How many network printers may hold a connection at once, counting those still ending their
// documents: what the open-file limit leaves after the descriptors open now and the reserve.
// At least 1; INT_MAX without a limit.
int printersWithinDescriptorLimit();

// Lets a printer that found no free descriptor wait until another one is done and has closed
// its own, instead of failing.
class DescriptorWait {
  public:
    // Runs `serve` (which returns an app::Result) and repeats it while it ran out of descriptors
    // and some other printer is in flight that will free one.
    template <class Serve> app::Result run(Serve serve) {
        begin();
        for (;;) {
            const std::size_t endedBefore = ended();
            app::Result result = serve();
            if (result.kind != device::FailKind::NoDescriptors || !waitForAnEnd(endedBefore)) {
                end();
                return result;
            }
        }
    }

    // How many times a printer found no free descriptor: never, while the batch keeps within
    // printersWithinDescriptorLimit() and nothing else takes descriptors.
    std::size_t shortages();

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
    std::size_t m_shortages = 0;
};

} // namespace batch
