#include "posdll/name_lookup.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace posdll {

// Shared with the lookup threads, which may outlive the caller and the NameLookups object.
struct NameLookups::Slots {
    explicit Slots(std::size_t max) : max(max) {}
    const std::size_t max;
    std::mutex mutex;
    std::condition_variable freed;
    std::size_t taken = 0;
};

namespace {

struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int status = 0;
    int err = 0; // errno on the lookup's own thread, for EAI_SYSTEM
    addrinfo *found = nullptr;
};

} // namespace

std::string lookupErrorText(int status, int err) {
    return status == EAI_SYSTEM ? errnoText(err) : ::gai_strerror(status);
}

NameLookups::NameLookups(Resolver resolver, std::size_t maxOutstanding)
    : m_resolver(std::move(resolver)), m_slots(std::make_shared<Slots>(maxOutstanding)) {}

std::size_t NameLookups::outstanding() const {
    std::lock_guard lock(m_slots->mutex);
    return m_slots->taken;
}

LookupResult NameLookups::lookup(const std::string &host, const std::string &service,
                                 const addrinfo &hints, Clock::time_point deadline) {
    LookupResult r;
    {
        std::unique_lock lock(m_slots->mutex);
        if (!m_slots->freed.wait_until(lock, deadline,
                                       [&] { return m_slots->taken < m_slots->max; })) {
            r.outcome = LookupOutcome::Busy;
            r.reason = std::to_string(m_slots->taken) +
                       " earlier lookups are still waiting for the name server";
            return r;
        }
        ++m_slots->taken;
    }
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, slots = m_slots, resolver = m_resolver, host, service, hints] {
            addrinfo *found = nullptr;
            const int status = resolver(host.c_str(), service.c_str(), &hints, &found);
            const int err = errno;
            {
                std::lock_guard lock(pending->mutex);
                if (pending->abandoned) {
                    if (status == 0)
                        ::freeaddrinfo(found);
                } else {
                    pending->status = status;
                    pending->err = err;
                    pending->found = found;
                    pending->finished = true;
                    pending->done.notify_all();
                }
            }
            std::lock_guard lock(slots->mutex);
            --slots->taken;
            slots->freed.notify_one();
        }).detach();
    } catch (const std::system_error &e) {
        std::lock_guard lock(m_slots->mutex);
        --m_slots->taken;
        m_slots->freed.notify_one();
        r.reason = std::string("no thread for the lookup: ") + e.what();
        return r;
    }
    std::unique_lock lock(pending->mutex);
    if (!pending->done.wait_until(lock, deadline, [&] { return pending->finished; })) {
        pending->abandoned = true;
        r.outcome = LookupOutcome::NoAnswer;
        return r;
    }
    if (pending->status != 0) {
        r.reason = lookupErrorText(pending->status, pending->err);
        r.err = pending->status == EAI_SYSTEM ? pending->err : 0;
        return r;
    }
    r.outcome = LookupOutcome::Found;
    r.found.reset(pending->found);
    return r;
}

} // namespace posdll
