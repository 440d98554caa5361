// A print server that misbehaves on cue: a TCP proxy on 127.0.0.1 in front of a real cupsd that
// passes every byte on until told to fail. It can stop passing anything after a number of
// answers while keeping the connections open (a server that hangs), or reset every connection
// when a document starts to arrive (a server that dies). Connections made after the fault either
// pass as before, hang, or are refused, as the test asks.
#pragma once

#include "support/posix_peers.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class CupsFaultProxy {
  public:
    // What becomes of connections made after the fault struck.
    enum class Later { Pass, Hang, Refused };

    explicit CupsFaultProxy(int serverPort); // throws when it cannot listen
    ~CupsFaultProxy();
    CupsFaultProxy(const CupsFaultProxy &) = delete;
    CupsFaultProxy &operator=(const CupsFaultProxy &) = delete;

    std::string address() const; // "127.0.0.1:PORT", for CUPS_SERVER

    // Once `answers` more complete answers have gone back to clients (counting from now; 0:
    // at once), no byte passes in either direction on the connections open at that moment.
    void stallAfter(int answers, Later later);
    // When a Send-Document request arrives, every connection is reset on both sides before any
    // of it reaches the server.
    void resetAtDocument(Later later);

  private:
    struct Link;
    void run();
    void accept();
    // Passes on what one side of a link sent; false when the link is done with.
    bool pass(Link &link, bool fromClient);
    void strike(bool reset);

    std::optional<Listener> m_listener; // gone once new connections are refused
    Fd m_wake;                          // written to stop the thread
    Fd m_woken;                         // what the thread polls for that
    std::string m_address;
    int m_serverPort = 0;
    std::mutex m_mutex; // guards the answer count and the fault settings below
    int m_answers = 0;  // complete answers passed back so far
    int m_stallAt = -1; // answer count at which to stall, -1: never
    bool m_resetAtDocument = false;
    Later m_later = Later::Pass;
    bool m_struck = false;  // the links changed while passing bytes on
    bool m_hangNew = false; // connections from now on are taken and never served
    std::vector<std::unique_ptr<Link>> m_links;
    std::thread m_thread;
};

} // namespace testing_support
