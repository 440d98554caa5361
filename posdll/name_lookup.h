// Name lookups that can be given up: each runs on a thread of its own, and a bounded number of
// them may be outstanding at once, the ones given up included until the resolver returns.
#pragma once

#include "posdll/fd.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <netdb.h>
#include <string>

namespace posdll {

using AddrList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// getaddrinfo's signature; what it finds is freed with freeaddrinfo.
using Resolver = std::function<int(const char *host, const char *service, const addrinfo *hints,
                                   addrinfo **found)>;

enum class LookupOutcome {
    Found,
    Failed,   // the resolver said no: see reason
    NoAnswer, // the deadline passed first; the lookup goes on unseen and frees what it finds
    Busy,     // no lookup could start before the deadline: too many are outstanding
};

struct LookupResult {
    LookupOutcome outcome = LookupOutcome::Failed;
    AddrList found{nullptr, ::freeaddrinfo};
    std::string reason; // Failed: the resolver's reason; Busy: how many are outstanding
    int err = 0;        // Failed: the system's error, when the resolver gave one (EAI_SYSTEM)
};

// The text of a getaddrinfo status; err is the errno the resolver left, read for EAI_SYSTEM.
std::string lookupErrorText(int status, int err);

class NameLookups {
  public:
    NameLookups(Resolver resolver, std::size_t maxOutstanding);

    LookupResult lookup(const std::string &host, const std::string &service, const addrinfo &hints,
                        Clock::time_point deadline);

    // Lookups started and not yet returned by the resolver.
    std::size_t outstanding() const;

  private:
    struct Slots;
    Resolver m_resolver;
    std::shared_ptr<Slots> m_slots;
};

} // namespace posdll
