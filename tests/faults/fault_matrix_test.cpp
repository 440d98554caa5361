// The fault matrix: each printer fault met through a setting action and the real device library,
// against real peers. For each: the error box and its reason, no descriptor and no open port left
// behind, an answer within a bound, and the same port working again once the fault is gone.
#include "app/actions.h"
#include "app/message.h"
#include "device/PosdllFuncs.h"
#include "posdll/posdll.h"
#include "protocol/frames.h"
#include "support/bounded.h"
#include "support/child_process.h"
#include "support/cups_server.h"
#include "support/posix_peers.h"
#include "support/tcp_listener.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <grp.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>

using namespace testing_support;
using namespace std::chrono_literals;
using app::Action;
using protocol::Frame;

namespace {

constexpr auto kNoHang = 20s; // every wait of the library is bounded far below this

app::ActionInputs inputs(std::string port, std::string ip, std::string printer = "") {
    app::ActionInputs in;
    in.port = {std::move(port), std::move(ip), "19200", std::move(printer)};
    return in;
}

// One fault on one port. strike() runs once the port is open and before the document starts,
// for the faults that come between the open and the write; heal() takes the fault away.
class Fault {
  public:
    virtual ~Fault() = default;
    virtual app::ActionInputs inputs() const = 0;
    virtual void strike() {}
    virtual void heal() {}
    // After heal(): whether these bytes, and no others, reached the printer.
    virtual bool received(const Frame &f) = 0;

    std::vector<std::string> reason; // what the reason shown must say
    std::string setUpProblem;        // why the fault could not be arranged
    bool asNobody = false;           // the action runs without root's rights
};

// The real library, with the fault striking right after a successful open.
class StrikeAfterOpen final : public device::ForwardingPosdll {
  public:
    explicit StrikeAfterOpen(Fault &fault)
        : ForwardingPosdll(device::libraryPosdll()), m_fault(fault) {}
    int POS_Open(const std::string &name, int baud, int dataBits, int stopBits, int parity,
                 int portType) override {
        const int handle = m_lib.POS_Open(name, baud, dataBits, stopBits, parity, portType);
        if (handle != -1)
            m_fault.strike();
        return handle;
    }

  private:
    Fault &m_fault;
};

// A network printer at a loopback port; once healed it takes one connection and reads it.
class NetworkFault : public Fault {
  public:
    app::ActionInputs inputs() const override { return ::inputs("ETHERNET", address()); }
    void heal() override {
        const int fd = listeningFd();
        m_read = std::async(std::launch::async, [fd] {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) != 1)
                return Bytes{};
            Fd c(::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC));
            return readUntilEof(c.get());
        });
    }
    bool received(const Frame &f) override { return m_read.valid() && m_read.get() == bytesOf(f); }

  protected:
    virtual int listeningFd() const = 0;
    virtual std::string address() const = 0;
    std::string label() const { return "network printer " + address(); }

  private:
    std::future<Bytes> m_read;
};

class ConnectionRefused final : public NetworkFault {
  public:
    ConnectionRefused() { reason = {label() + ": connection refused"}; }
    void heal() override {
        ::listen(m_port.fd.get(), 8);
        NetworkFault::heal();
    }

  private:
    int listeningFd() const override { return m_port.fd.get(); }
    std::string address() const override { return "127.0.0.1:" + std::to_string(m_port.port); }
    ClosedPort m_port;
};

// A printer listening on 127.0.0.1 with the given backlog.
class ListenerFault : public NetworkFault {
  protected:
    explicit ListenerFault(int backlog = 8) : m_listener("127.0.0.1", backlog) {
        if (!m_listener.ok())
            setUpProblem = "no listener on 127.0.0.1";
    }
    int listeningFd() const override { return m_listener.fd(); }
    std::string address() const override { return m_listener.address(); }
    Listener m_listener;
};

class NeverAccepts final : public ListenerFault {
  public:
    NeverAccepts() : ListenerFault(0) { reason = {label() + ": no answer within 500 ms"}; }
    app::ActionInputs inputs() const override { // the connect bound itself is net_test's
        app::ActionInputs in = NetworkFault::inputs();
        in.connectMillis = 500;
        return in;
    }
    void heal() override {
        m_queued.clear();
        while (m_listener.accept(200ms).get() >= 0) {
        }
        NetworkFault::heal();
    }

  private:
    std::vector<Fd> m_queued = fillAcceptQueue(m_listener);
};

class ClosesAtOnce final : public ListenerFault {
  public:
    ClosesAtOnce() {
        reason = {"write failed: " + label() +
                  ": the printer closed the connection before the first byte (0 of 11 bytes)"};
    }
    void strike() override { m_listener.accept(); }
};

class ResetsTheConnection final : public ListenerFault {
  public:
    ResetsTheConnection() {
        reason = {"write failed: " + label() +
                  ": the printer reset the connection before the first byte (0 of 11 bytes)"};
    }
    void strike() override {
        Fd c = m_listener.accept();
        const linger hard{1, 0}; // close with a reset
        ::setsockopt(c.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
};

// COM7 on a pseudo-terminal whose other side the test holds.
class SerialFault : public Fault {
  public:
    SerialFault() {
        if (m_pty->path.empty())
            setUpProblem = "no pseudo-terminal";
        m_env.emplace("POSDLL_PORT_COM7", m_pty->path);
    }
    app::ActionInputs inputs() const override { return ::inputs("COM7", ""); }
    bool received(const Frame &f) override {
        return readCount(m_pty->master.get(), f.size()) == bytesOf(f) &&
               readCount(m_pty->master.get(), 1, 100ms).empty();
    }

  protected:
    std::string label() const { return "serial port COM7 (" + m_pty->path + ")"; }
    std::optional<Pty> m_pty{std::in_place};
    std::optional<ScopedEnv> m_env;
};

class TerminalGoneBeforeTheWrite final : public SerialFault {
  public:
    TerminalGoneBeforeTheWrite() {
        reason = {"write failed: " + label() + ": Input/output error after 0 of 11 bytes"};
    }
    void strike() override { m_pty->master.reset(); }
    void heal() override { // a new terminal for the same port
        m_env.reset();
        m_pty.emplace();
        m_env.emplace("POSDLL_PORT_COM7", m_pty->path);
    }
};

// Another program holds an exclusive lock on the port's device.
Fd lockedBySomeoneElse(const std::string &path, std::string &problem) {
    Fd other(::open(path.c_str(), O_RDWR | O_NOCTTY));
    if (::flock(other.get(), LOCK_EX | LOCK_NB) != 0)
        problem = "cannot lock " + path;
    return other;
}

class SerialBusy final : public SerialFault {
  public:
    SerialBusy() { reason = {label() + ": busy: another program holds it"}; }
    void heal() override { m_other.reset(); }

  private:
    Fd m_other = lockedBySomeoneElse(m_pty->path, setUpProblem);
};

// LPT2 on a plain file in a folder of its own.
class ParallelFault : public Fault {
  public:
    explicit ParallelFault(mode_t mode = 0644) {
        Fd(::open(m_path.c_str(), O_CREAT | O_WRONLY, mode));
        ::chmod(m_path.c_str(), mode);
    }
    app::ActionInputs inputs() const override { return ::inputs("LPT2", ""); }
    bool received(const Frame &f) override {
        Fd in(::open(m_path.c_str(), O_RDONLY));
        return readUntilEof(in.get()) == bytesOf(f);
    }

  protected:
    std::string label() const { return "parallel port LPT2 (" + m_path + ")"; }
    TempDir m_dir;
    std::string m_path = m_dir.file("printer");
    ScopedEnv m_env{"POSDLL_PORT_LPT2", m_path};
    ScopedEnv m_allowFiles{"POSDLL_ALLOW_FILES", "1"};
};

class ParallelBusy final : public ParallelFault {
  public:
    ParallelBusy() { reason = {label() + ": busy: another program holds it"}; }
    void heal() override { m_other.reset(); }

  private:
    Fd m_other = lockedBySomeoneElse(m_path, setUpProblem);
};

// The device belongs to root and the group lp; the action runs as nobody.
class ParallelDenied final : public ParallelFault {
  public:
    ParallelDenied() : ParallelFault(0660) {
        asNobody = true;
        const group *lp = ::getgrnam("lp");
        if (!lp || ::chown(m_path.c_str(), 0, lp->gr_gid) != 0)
            setUpProblem = "no group lp to give the device to";
        reason = {label() +
                  ": Permission denied — add your user to the group 'lp', then log in again"};
    }
    void heal() override { ::chmod(m_path.c_str(), 0666); }
};

// A queue of the private cupsd, named after the fault, in front of a listener of its own.
class QueueFault : public Fault {
  public:
    QueueFault(CupsServer &cups, std::string queue) : m_cups(cups), m_queue(std::move(queue)) {
        std::string why;
        if (!m_cups.addQueue(m_queue, m_printer.port(), why))
            setUpProblem = "queue " + m_queue + ": " + why;
    }
    app::ActionInputs inputs() const override { return ::inputs("DRIVER", "127.0.0.1", m_queue); }
    bool received(const Frame &f) override {
        return m_printer.waitForSessions(1, kNoHang) &&
               m_printer.sessions() == std::vector<TcpListener::Bytes>{f};
    }

  protected:
    std::string where() const { return "print queue '" + m_queue + "' on " + m_cups.address(); }
    CupsServer &m_cups;
    std::string m_queue;
    TcpListener m_printer;
};

class QueueStoppedAfterTheOpen final : public QueueFault {
  public:
    explicit QueueStoppedAfterTheOpen(CupsServer &cups) : QueueFault(cups, "stopped_midway") {
        reason = {"end of document failed: " + where() + ": job ",
                  " is cancelled: the queue is stopped ('paper jam in the test'); cupsenable '" +
                      m_queue + "' starts it"};
    }
    void strike() override { run({"cupsdisable", "-r", "paper jam in the test", m_queue}); }
    void heal() override { run({"cupsenable", m_queue}); }

  private:
    static void run(const std::vector<std::string> &argv) {
        const ToolRun r = runTool(argv);
        if (!r.ok())
            ADD_FAILURE() << argv[0] << ": " << r.output;
    }
};

class ServerDownAfterTheOpen final : public QueueFault {
  public:
    explicit ServerDownAfterTheOpen(CupsServer &cups) : QueueFault(cups, "server_down") {
        reason = {"start of document failed: " + where()};
    }
    void strike() override { m_cups.stop(); }
    void heal() override { // on the test's main thread: the daemon lives as long as it
        std::string why;
        if (!m_cups.start(why))
            ADD_FAILURE() << "cupsd did not start again: " << why;
    }
};

// The descriptors open now that were not open before, one line each.
std::string leftOpen(const std::map<int, OpenFile> &before) {
    std::string problems;
    for (const auto &[fd, file] : openDescriptors())
        if (const auto was = before.find(fd); was == before.end() || !was->second.sameFile(file))
            problems += "descriptor " + std::to_string(fd) + " (" + file.target + ") left open\n";
    return problems;
}

// Meets the fault with "Store Setting" and says, one line each, what went wrong: "" when the
// user got the error box with the reason and nothing of the port was left behind.
std::string meet(Fault &fault, const char *shown) {
    StrikeAfterOpen lib(fault);
    const auto before = openDescriptors();
    const app::Message out = app::messageFor(
        Action::StoreSetting, app::runAction(Action::StoreSetting, fault.inputs(), lib));
    std::string problems = leftOpen(before);
    if (out.title != "error" || out.icon != app::MessageIcon::Error || out.text != shown)
        problems += "shown: " + out.title + " '" + out.text + "' (" + out.detail +
                    "), not the error '" + shown + "'\n";
    for (const std::string &part : fault.reason)
        if (out.detail.find(part) == std::string::npos)
            problems += "the reason '" + out.detail + "' does not say '" + part + "'\n";
    if (POS_Close() != -1)
        problems += "the device library still had the port open\n";
    return problems;
}

// With the fault gone, the self-test goes through the same port: "" or what was shown instead.
std::string recover(Fault &fault) {
    const app::Message out =
        app::messageFor(Action::PrintSelfTest, app::runAction(Action::PrintSelfTest, fault.inputs(),
                                                              device::libraryPosdll()));
    return out.kind == app::MessageKind::Silent
               ? ""
               : out.title + " '" + out.text + "' (" + out.detail + ")";
}

struct Row {
    const char *name;
    const char *shown; // the error message: open failed, or write failed
    std::function<std::unique_ptr<Fault>(CupsServer *)> make;
};

void runRow(const Row &row, CupsServer *cups) {
    // Owned here, so the fault ends with the test (its peers and environment with it).
    const std::unique_ptr<Fault> owned = row.make(cups);
    Fault *fault = owned.get();
    ASSERT_EQ(fault->setUpProblem, "");
    auto inChild = [fault](auto body) {
        return [fault, body] { return fault->asNobody ? asNobody(body) : body(); };
    };
    const auto met = finishesWithin(
        kNoHang, inChild([fault, shown = row.shown] { return meet(*fault, shown); }));
    ASSERT_TRUE(met) << "the action did not come back within " << kNoHang.count() << " s";
    EXPECT_EQ(*met, "");

    fault->heal();
    const auto before = openDescriptors();
    const auto again = finishesWithin(kNoHang, inChild([fault] { return recover(*fault); }));
    ASSERT_TRUE(again) << "the action after the fault did not come back";
    EXPECT_EQ(*again, "") << "the port does not work again once the fault is gone";
    EXPECT_TRUE(fault->received(protocol::selfTestFrame()))
        << "the self-test did not reach the printer, or something else came with it";
    EXPECT_EQ(leftOpen(before), "") << "after the self-test";
}

template <class F> Row row(const char *name, const char *shown) {
    return {name, shown, [](CupsServer *cups) -> std::unique_ptr<Fault> {
                if constexpr (std::is_constructible_v<F, CupsServer &>)
                    return std::make_unique<F>(*cups);
                else
                    return std::make_unique<F>();
            }};
}

void PrintTo(const Row &row, std::ostream *os) {
    *os << row.name;
}

std::string rowName(const testing::TestParamInfo<Row> &info) {
    return info.param.name;
}

class fault_matrix_test : public testing::TestWithParam<Row> {};

TEST_P(fault_matrix_test, error_with_reason_nothing_left_open_port_works_again) {
    runRow(GetParam(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    ports, fault_matrix_test,
    testing::Values(row<ConnectionRefused>("connection_refused", app::kOpenFailed),
                    row<NeverAccepts>("listener_never_accepts", app::kOpenFailed),
                    row<ClosesAtOnce>("peer_closes_at_once", app::kWriteFailed),
                    row<ResetsTheConnection>("peer_resets", app::kWriteFailed),
                    row<TerminalGoneBeforeTheWrite>("terminal_gone_before_the_write",
                                                    app::kWriteFailed),
                    row<SerialBusy>("serial_port_busy", app::kOpenFailed),
                    row<ParallelBusy>("parallel_port_busy", app::kOpenFailed),
                    row<ParallelDenied>("parallel_port_denied", app::kOpenFailed)),
    rowName);

class queue_fault_matrix_test : public CupsTest, public testing::WithParamInterface<Row> {};

TEST_P(queue_fault_matrix_test, error_with_reason_nothing_left_open_queue_works_again) {
    runRow(GetParam(), &cups());
}

INSTANTIATE_TEST_SUITE_P(
    queues, queue_fault_matrix_test,
    testing::Values(row<QueueStoppedAfterTheOpen>("queue_stopped_after_the_open",
                                                  app::kWriteFailed),
                    row<ServerDownAfterTheOpen>("server_down_after_the_open", app::kWriteFailed)),
    rowName);

} // namespace
