// libcups, loaded when a print queue is first used instead of when the program starts. It brings
// some thirty libraries with it (TLS, Kerberos, D-Bus, ...), which cost every start of a program
// that only talks to network, serial or parallel printers several milliseconds and megabytes.
// Each function here stands in for the libcups function of the same name and calls it; when
// libcups cannot be loaded, each fails as libcups does when the server is unreachable, and
// cupsLastErrorString() says why.
#include "posdll/cups_connection.h"
#include "posdll/cups_library.h"
#include "posdll/fd.h"

#include <cups/cups.h>

#include <dlfcn.h>
#include <signal.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace {

constexpr const char *kLibrary = "libcups.so.2";

struct Loaded {
    void *handle = nullptr;
    std::string failure; // why it could not be loaded
};

// libcups sets SIGPIPE to be ignored for the whole process when it first sets itself up. That is
// done here, once, and the program's own disposition put back.
void initialize(void *handle) {
    const auto init =
        reinterpret_cast<decltype(&::httpInitialize)>(::dlsym(handle, "httpInitialize"));
    struct sigaction before {};
    ::sigaction(SIGPIPE, nullptr, &before);
    if (init)
        init();
    ::sigaction(SIGPIPE, &before, nullptr);
}

const Loaded &library() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        loaded.handle = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (loaded.handle) {
            initialize(loaded.handle);
            return;
        }
        const char *why = ::dlerror();
        loaded.failure = posdll::cupsLoadFailure(kLibrary, why ? why : "");
    });
    return loaded;
}

// The library's own function, found in the library and its dependencies only, never this stand-in.
template <class F> F symbol(const char *name) {
    const Loaded &l = library();
    return l.handle ? reinterpret_cast<F>(::dlsym(l.handle, name)) : nullptr;
}

} // namespace

namespace posdll::cups {

const std::string &libraryFailure() {
    return library().failure;
}

} // namespace posdll::cups

// One stand-in: the declaration from the CUPS headers gives it C linkage. libcups writes to its
// sockets without MSG_NOSIGNAL, so a server that went away would raise SIGPIPE: each call holds it
// back and the program's disposition of SIGPIPE never comes into play.
#define POSDLL_CUPS_CALL(ret, name, params, args, fallback)                                        \
    ret name params {                                                                              \
        static const auto real = symbol<decltype(&::name)>(#name);                                 \
        const posdll::SigpipeBlocked sigpipe;                                                      \
        return real ? real args : fallback;                                                        \
    }
#define POSDLL_CUPS_CALL_VOID(name, params, args)                                                  \
    void name params {                                                                             \
        static const auto real = symbol<decltype(&::name)>(#name);                                 \
        const posdll::SigpipeBlocked sigpipe;                                                      \
        if (real)                                                                                  \
            real args;                                                                             \
    }

POSDLL_CUPS_CALL(const char *, cupsServer, (void), (), "localhost")
POSDLL_CUPS_CALL(int, ippPort, (void), (), IPP_PORT)
POSDLL_CUPS_CALL(http_encryption_t, cupsEncryption, (void), (), HTTP_ENCRYPTION_IF_REQUESTED)
POSDLL_CUPS_CALL(ipp_status_t, cupsLastError, (void), (), IPP_STATUS_ERROR_INTERNAL)
POSDLL_CUPS_CALL(const char *, cupsLastErrorString, (void), (), library().failure.c_str())
POSDLL_CUPS_CALL(http_t *, httpConnect2,
                 (const char *host, int port, http_addrlist_t *addrlist, int family,
                  http_encryption_t encryption, int blocking, int msec, int *cancel),
                 (host, port, addrlist, family, encryption, blocking, msec, cancel), nullptr)
POSDLL_CUPS_CALL_VOID(httpClose, (http_t * http), (http))
POSDLL_CUPS_CALL(int, httpError, (http_t * http), (http), 0)
POSDLL_CUPS_CALL_VOID(httpSetTimeout,
                      (http_t * http, double timeout, http_timeout_cb_t cb, void *user_data),
                      (http, timeout, cb, user_data))
POSDLL_CUPS_CALL(ipp_t *, ippNewRequest, (ipp_op_t op), (op), nullptr)
POSDLL_CUPS_CALL_VOID(ippDelete, (ipp_t * ipp), (ipp))
POSDLL_CUPS_CALL(ipp_attribute_t *, ippAddString,
                 (ipp_t * ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name,
                  const char *language, const char *value),
                 (ipp, group, value_tag, name, language, value), nullptr)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippAddStrings,
                 (ipp_t * ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name,
                  int num_values, const char *language, const char *const *values),
                 (ipp, group, value_tag, name, num_values, language, values), nullptr)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippFindAttribute,
                 (ipp_t * ipp, const char *name, ipp_tag_t value_tag), (ipp, name, value_tag),
                 nullptr)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippFindNextAttribute,
                 (ipp_t * ipp, const char *name, ipp_tag_t value_tag), (ipp, name, value_tag),
                 nullptr)
POSDLL_CUPS_CALL(int, ippGetCount, (ipp_attribute_t * attr), (attr), 0)
POSDLL_CUPS_CALL(int, ippGetBoolean, (ipp_attribute_t * attr, int element), (attr, element), 0)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippFirstAttribute, (ipp_t * ipp), (ipp), nullptr)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippNextAttribute, (ipp_t * ipp), (ipp), nullptr)
POSDLL_CUPS_CALL(const char *, ippGetName, (ipp_attribute_t * attr), (attr), nullptr)
POSDLL_CUPS_CALL(ipp_tag_t, ippGetGroupTag, (ipp_attribute_t * attr), (attr), IPP_TAG_ZERO)
POSDLL_CUPS_CALL(int, ippGetInteger, (ipp_attribute_t * attr, int element), (attr, element), 0)
POSDLL_CUPS_CALL(const char *, ippGetString,
                 (ipp_attribute_t * attr, int element, const char **language),
                 (attr, element, language), nullptr)
POSDLL_CUPS_CALL(ipp_t *, cupsDoRequest, (http_t * http, ipp_t *request, const char *resource),
                 (http, request, resource), nullptr)
POSDLL_CUPS_CALL(ipp_status_t, ippGetStatusCode, (ipp_t * ipp), (ipp), IPP_STATUS_ERROR_INTERNAL)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippAddInteger,
                 (ipp_t * ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name, int value),
                 (ipp, group, value_tag, name, value), nullptr)
POSDLL_CUPS_CALL(ipp_attribute_t *, ippAddBoolean,
                 (ipp_t * ipp, ipp_tag_t group, const char *name, char value),
                 (ipp, group, name, value), nullptr)
POSDLL_CUPS_CALL(const char *, cupsUser, (void), (), "nobody")
POSDLL_CUPS_CALL(http_status_t, cupsSendRequest,
                 (http_t * http, ipp_t *request, const char *resource, size_t length),
                 (http, request, resource, length), HTTP_STATUS_ERROR)
POSDLL_CUPS_CALL(http_status_t, cupsWriteRequestData,
                 (http_t * http, const char *buffer, size_t length), (http, buffer, length),
                 HTTP_STATUS_ERROR)
POSDLL_CUPS_CALL(ipp_t *, cupsGetResponse, (http_t * http, const char *resource), (http, resource),
                 nullptr)

// A variable argument list cannot be passed on: format the resource here, then hand it to the
// plain form.
http_uri_status_t httpAssembleURIf(http_uri_coding_t encoding, char *uri, int urilen,
                                   const char *scheme, const char *username, const char *host,
                                   int port, const char *resourcef, ...) {
    static const auto real = symbol<decltype(&::httpAssembleURI)>("httpAssembleURI");
    char resource[1024];
    va_list ap;
    va_start(ap, resourcef);
    const int n = std::vsnprintf(resource, sizeof resource, resourcef, ap);
    va_end(ap);
    if (!real || n < 0 || static_cast<std::size_t>(n) >= sizeof resource)
        return HTTP_URI_STATUS_BAD_ARGUMENTS;
    return real(encoding, uri, urilen, scheme, username, host, port, resource);
}
