#include "device/identity_query.h"

#include <array>
#include <chrono>

namespace device {

namespace {

using Clock = std::chrono::steady_clock;
using protocol::IdReplyReader;
using protocol::IdRequest;

// The most bytes one reply may take: the longest text with its header and NUL, and room for
// automatic status blocks and flow control sent in between.
constexpr std::size_t kReplyByteCap = protocol::kIdTextMax + 2 + 32;

std::string requestText(IdRequest request) {
    return "GS I " + std::to_string(static_cast<int>(request)) + " (" +
           protocol::idRequestName(request) + ")";
}

enum class Outcome { Answered, Unanswered, Refused, Broken };

// One request and its reply within its own deadline and byte cap.
Outcome ask(PosdllFuncs &lib, int handle, int waitMillis, IdReplyReader &reader, IdRequest request,
            std::string &problem) {
    // Whatever came before the request answers none of it.
    if (lib.POS_DiscardInput(handle) != 0) {
        problem = "cannot throw away earlier input: " + lib.POS_LastError();
        return Outcome::Broken;
    }
    const auto bytes = protocol::idRequestBytes(request);
    if (lib.POS_WriteFile(handle, bytes.data(), static_cast<int>(bytes.size())) !=
        static_cast<int>(bytes.size())) {
        problem = "sending " + requestText(request) + " failed: " + lib.POS_LastError();
        return Outcome::Broken;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMillis);
    std::size_t taken = 0;
    while (reader.progress() == IdReplyReader::Progress::Incomplete) {
        if (taken >= kReplyByteCap) {
            problem = "the reply to " + requestText(request) + " passed " +
                      std::to_string(kReplyByteCap) + " bytes";
            return Outcome::Refused;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Outcome::Unanswered;
        // One byte at a time up to the cap, so nothing past the reply is taken.
        std::array<std::uint8_t, 1> b{};
        const int got = lib.POS_ReadFile(handle, b.data(), 1, static_cast<int>(left.count()));
        if (got < 0) {
            problem = "no reply to " + requestText(request) + ": " + lib.POS_LastError();
            return Outcome::Broken;
        }
        if (got == 0)
            return Outcome::Unanswered;
        ++taken;
        reader.take(b[0]);
    }
    if (reader.progress() == IdReplyReader::Progress::Invalid) {
        problem = reader.problem();
        return Outcome::Refused;
    }
    return Outcome::Answered;
}

} // namespace

const IdAnswer *Identity::answer(IdRequest request) const {
    for (const IdAnswer &a : answers)
        if (a.request == request)
            return &a;
    return nullptr;
}

std::optional<std::string> Identity::text(IdRequest request) const {
    const IdAnswer *a = answer(request);
    return a ? std::optional(a->text) : std::nullopt;
}

std::optional<std::uint8_t> Identity::byte(IdRequest request) const {
    const IdAnswer *a = answer(request);
    return a ? std::optional(a->byte) : std::nullopt;
}

Identity readIdentity(PosdllFuncs &lib, int handle, int waitMillis) {
    Identity id;
    for (IdRequest request : protocol::kIdRequests) {
        IdReplyReader reader(request);
        std::string problem;
        switch (ask(lib, handle, waitMillis, reader, request, problem)) {
        case Outcome::Answered:
            id.answers.push_back({request, reader.byte(), reader.text()});
            break;
        case Outcome::Unanswered:
            if (request == IdRequest::ModelId) // no ID at all
                return id;
            break;
        case Outcome::Refused:
            id.problem = problem;
            if (request == IdRequest::ModelId)
                return id;
            break;
        case Outcome::Broken:
            id.problem = problem;
            return id;
        }
    }
    return id;
}

} // namespace device
