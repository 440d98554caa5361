// posdip-emulator as a printer: status answers, the state it keeps, its self-test page.
#include "client.h"
#include "emulator_process.h"

#include "printer_state.h"
#include "protocol/frame_decode.h"
#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/resource.h>

using namespace testing_support;

namespace {

const Bytes kAllFourRequests = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02,
                                0x10, 0x04, 0x03, 0x10, 0x04, 0x04};

// A printer on a free loopback port that keeps the frame lines its senders caused.
struct Running : LoopbackEmulator {
    explicit Running(std::vector<std::string> options = {}, std::vector<std::string> runner = {})
        : LoopbackEmulator(std::move(options), std::move(runner)) {}
    // Sends the bytes on a connection of its own and closes it once the frame lines are out.
    void send(const Bytes &bytes, int lines) {
        Fd c = connectTo(address);
        ASSERT_TRUE(sendAll(c.get(), bytes));
        for (int i = 0; i < lines; ++i)
            seen.push_back(emu.frameLine());
    }
    std::vector<std::string> seen;
};

std::string readFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::vector<std::string> kDefaultPage = {
    "SELF-TEST",      "setting 0xFD", "  cutter yes",      "  beeper yes", "  density light",
    "  two-byte yes", "  48 chars",   "  paper-taken yes", "  19200 bps",  "DIP switches enabled"};

// The self-test page that follows "print self-test", without its margin.
std::vector<std::string> selfTestPage(EmulatorProcess &emu) {
    EXPECT_EQ(emu.outputLine(), "print self-test");
    std::vector<std::string> page;
    for (std::size_t i = 0; i < kDefaultPage.size(); ++i)
        page.push_back(emu.outputLine().substr(std::string(emulator::kPageMargin).size()));
    return page;
}

// The reply to each printer ID request in turn, as a client reads it: the byte in hex or the
// text; "-" when none came.
std::vector<std::string> identityOf(int line) {
    using protocol::IdReplyReader;
    std::vector<std::string> replies;
    for (protocol::IdRequest r : protocol::kIdRequests) {
        EXPECT_TRUE(sendAll(line, bytesOf(protocol::idRequestBytes(r))));
        IdReplyReader reader(r);
        for (Bytes b; reader.progress() == IdReplyReader::Progress::Incomplete &&
                      !(b = readCount(line, 1, milliseconds(200))).empty();)
            reader.take(b[0]);
        switch (reader.progress()) {
        case IdReplyReader::Progress::Incomplete:
            replies.push_back("-");
            break;
        case IdReplyReader::Progress::Complete:
            replies.push_back(protocol::repliesWithText(r) ? reader.text()
                                                           : protocol::hexByte(reader.byte()));
            break;
        case IdReplyReader::Progress::Invalid:
            replies.push_back(reader.problem());
            break;
        }
    }
    return replies;
}

} // namespace

TEST(emulator_id_test, printer_id_requests_answer_what_it_was_told) {
    struct Row {
        std::vector<std::string> options;
        std::vector<std::string> replies; // to n = 1, 2, 3, 65, 66, 67, 68, 69
    } rows[] = {
        {{},
         {"0x20", "0x03", "0x01", "1.00", "Emulated Printers", "EMU-80", "EMU0000001", "PC437"}},
        // Read past the automatic status block that comes first.
        {{"--id", "serial=X9,firmware=2.10", "--asb", "--cover", "open"},
         {"0x20", "0x03", "0x01", "2.10", "Emulated Printers", "EMU-80", "X9", "PC437"}},
        {{"--id", "serial=,maker="}, {"0x20", "0x03", "0x01", "1.00", "-", "EMU-80", "-", "PC437"}},
        {{"--no-id"}, {"-", "-", "-", "-", "-", "-", "-", "-"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(::testing::PrintToString(r.options));
        Running printer(r.options);
        ASSERT_FALSE(printer.address.empty());
        Fd c = connectTo(printer.address);
        EXPECT_EQ(identityOf(c.get()), r.replies);
    }
    Running printer;
    printer.send(bytesOf(protocol::writeSettingFrame(0x00)), 1); // no cutter, no two-byte code
    printer.send(bytesOf(protocol::idRequestBytes(protocol::IdRequest::TypeId)), 1);
    EXPECT_EQ(printer.seen.back(), "printer ID request 2 (type id): answered 0x00, none");
    printer.send(bytesOf(protocol::idRequestBytes(protocol::IdRequest::ModelName)), 1);
    EXPECT_EQ(printer.seen.back(), "printer ID request 67 (model name): answered \"EMU-80\"");
}

TEST(emulator_id_test, automatic_status_comes_on_connect) {
    Running printer({"--asb", "--paper", "near-end"});
    ASSERT_FALSE(printer.address.empty());
    Fd c = connectTo(printer.address);
    EXPECT_EQ(readCount(c.get(), 4), (Bytes{0x10, 0x00, 0x03, 0x00}));
    EXPECT_EQ(endingOf(c.get(), milliseconds(200)), Ending::StillOpen) << "once";
}

TEST(emulator_status_test, each_condition_answers_its_four_bytes) {
    struct Row {
        std::vector<std::string> options;
        Bytes answers; // to n = 1, 2, 3, 4
    } rows[] = {
        {{}, {0x12, 0x12, 0x12, 0x12}},
        {{"--paper", "near-end"}, {0x12, 0x12, 0x12, 0x1E}},
        {{"--paper", "out"}, {0x1A, 0x32, 0x12, 0x7E}},
        {{"--cover", "open"}, {0x1A, 0x16, 0x12, 0x12}},
        {{"--cover", "closed", "--offline"}, {0x1A, 0x12, 0x12, 0x12}},
        {{"--cover", "open", "--paper", "near-end"}, {0x1A, 0x16, 0x12, 0x1E}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(::testing::PrintToString(r.options));
        Running printer(r.options);
        ASSERT_FALSE(printer.address.empty());
        Fd c = connectTo(printer.address);
        ASSERT_TRUE(sendAll(c.get(), kAllFourRequests));
        EXPECT_EQ(readCount(c.get(), 4), r.answers);
        EXPECT_EQ(endingOf(c.get(), milliseconds(200)), Ending::StillOpen) << "one byte each";
    }
}

TEST(emulator_status_test, requests_between_and_around_frames_are_answered_in_order) {
    Running printer({"--paper", "near-end"});
    ASSERT_FALSE(printer.address.empty());
    Fd c = connectTo(printer.address);
    const Bytes store = bytesOf(protocol::writeSettingFrame(0x7D));
    Bytes stream = {0x10, 0x04, 0x04};
    stream.insert(stream.end(), store.begin(), store.begin() + 6); // frame split by a request
    ASSERT_TRUE(sendAll(c.get(), stream));
    EXPECT_EQ(readCount(c.get(), 1), Bytes{0x1E});
    EXPECT_EQ(printer.emu.frameLine(),
              "status request 4 (roll paper sensor): answered 0x1E, ready: paper near end");
    Bytes rest(store.begin() + 6, store.end());
    rest.insert(rest.end(), {0x10, 0x04, 0x01});
    ASSERT_TRUE(sendAll(c.get(), rest));
    EXPECT_EQ(readCount(c.get(), 1), Bytes{0x12});
    EXPECT_EQ(printer.emu.frameLine().rfind("store setting 0x7D: ", 0), 0u);
    EXPECT_EQ(printer.emu.frameLine(), "status request 1 (printer): answered 0x12, ready");
}

TEST(emulator_status_test, the_pseudo_terminal_answers_status_too) {
    TempDir dir;
    const std::string link = dir.file("ttyPOS");
    EmulatorProcess emu({"--pty", link, "--paper", "out", "--hex"});
    ASSERT_NE(emu.statusLine().find("linked at " + link), std::string::npos);
    Fd line(::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_GE(line.get(), 0) << link;
    const Bytes requests = {0x10, 0x04, 0x02, 0x10, 0x04, 0x04};
    ASSERT_EQ(::write(line.get(), requests.data(), requests.size()),
              static_cast<ssize_t>(requests.size()));
    EXPECT_EQ(readCount(line.get(), 2), (Bytes{0x32, 0x7E}));
    EXPECT_EQ(emu.frameLine(), "status request 2 (off-line cause): answered 0x32, not ready: "
                               "printing stopped at paper end | 10 04 02");
}

TEST(emulator_state_test, self_test_page_tells_the_stored_setting_and_the_dip_switches) {
    Running printer;
    ASSERT_FALSE(printer.address.empty());
    printer.send(bytesOf(protocol::selfTestFrame()), 0);
    EXPECT_EQ(selfTestPage(printer.emu), kDefaultPage) << "a new printer";

    printer.send(bytesOf(protocol::disableFrame()), 1);
    printer.send(bytesOf(protocol::writeSettingFrame(0x00)), 1);
    printer.send(bytesOf(protocol::selfTestFrame()), 0);
    EXPECT_EQ(
        selfTestPage(printer.emu),
        (std::vector<std::string>{"SELF-TEST", "setting 0x00", "  cutter no", "  beeper yes",
                                  "  density dark", "  two-byte no", "  42 chars",
                                  "  paper-taken no", "  38400 bps", "DIP switches disabled"}));

    // Restoring the default and enabling the switches bring back the first page.
    printer.send(bytesOf(protocol::writeSettingFrame(protocol::kDefaultSetting)), 1);
    printer.send(bytesOf(protocol::enableFrame()), 1);
    printer.send(bytesOf(protocol::selfTestFrame()), 0);
    EXPECT_EQ(selfTestPage(printer.emu), kDefaultPage);
}

TEST(emulator_state_test, an_offline_printer_prints_no_page) {
    Running printer({"--cover", "open"});
    ASSERT_FALSE(printer.address.empty());
    printer.send(bytesOf(protocol::selfTestFrame()), 0);
    printer.send(bytesOf(protocol::enableFrame()), 0);
    EXPECT_EQ(printer.emu.outputLine(), "print self-test: not printed, not ready: off-line");
    EXPECT_EQ(printer.emu.outputLine(), "enable DIP switch") << "no page in between";
}

TEST(emulator_state_test, state_file_keeps_the_printer_across_restarts) {
    TempDir dir;
    const std::string file = dir.file("printer.state");
    {
        Running first({"--state", file});
        ASSERT_FALSE(first.address.empty());
        first.send(bytesOf(protocol::disableFrame()), 1);
        first.send(bytesOf(protocol::writeSettingFrame(0x7D)), 1);
    } // killed without warning: what it kept is on disk already
    EXPECT_NE(readFile(file).find("dip-switches disabled\nsetting 0x7D\n"), std::string::npos)
        << readFile(file);
    std::vector<std::string> left;
    for (const auto &e : std::filesystem::directory_iterator(dir.file("")))
        left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"printer.state"}) << "no temporary file left behind";

    Running second({"--state", file});
    ASSERT_FALSE(second.address.empty());
    second.send(bytesOf(protocol::selfTestFrame()), 0);
    const auto page = selfTestPage(second.emu);
    EXPECT_EQ(page[1], "setting 0x7D");
    EXPECT_EQ(page[8], "  115200 bps");
    EXPECT_EQ(page.back(), "DIP switches disabled");
}

TEST(emulator_state_test, a_linked_state_file_is_written_through_its_link_and_kept_by_one) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("kept"));
    const std::string target = dir.file("kept/printer.state");
    const std::string link = dir.file("printer.state");
    std::ofstream(target) << emulator::formatState({});
    std::filesystem::create_symlink("kept/printer.state", link);
    Running first({"--state", link});
    ASSERT_FALSE(first.address.empty());
    first.send(bytesOf(protocol::writeSettingFrame(0x7D)), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), emulator::formatState({true, 0x7D}));

    // The file was replaced by the save; the lock went along with it.
    for (const std::string &path : {link, target}) {
        EmulatorProcess second({"--listen", "127.0.0.1:0", "--state", path});
        EXPECT_EQ(second.statusLine(),
                  "posdip-emulator: state file " + path + " is in use by another posdip-emulator");
        EXPECT_EQ(second.exitStatus(), 1);
    }
}

TEST(emulator_state_test, a_state_that_cannot_be_saved_is_said_and_makes_it_offline) {
    TempDir dir;
    const std::string file = dir.file("printer.state");
    std::ofstream(file) << emulator::formatState({});
    EmulatorProcess refused({"--listen", "127.0.0.1:0", "--state", file}, nobodyRunner());
    const std::string folder = std::filesystem::path(file).parent_path();
    EXPECT_EQ(refused.statusLine(), "posdip-emulator: state file " + file +
                                        ": cannot save it in its folder " + folder +
                                        ": Permission denied");
    EXPECT_EQ(refused.exitStatus(), 1);

    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms(0777));
    Running printer({"--state", file, "--asb"}, nobodyRunner());
    ASSERT_FALSE(printer.address.empty());
    Fd c = connectTo(printer.address);
    EXPECT_EQ(readCount(c.get(), 4), (Bytes{0x10, 0x00, 0x00, 0x00})) << "automatic status";
    fs::permissions(folder, fs::perms(0555)); // as when the disk fills
    Bytes stream = bytesOf(protocol::writeSettingFrame(0x7D));
    stream.insert(stream.end(), {0x10, 0x04, 0x01});
    ASSERT_TRUE(sendAll(c.get(), stream));
    EXPECT_EQ(readCount(c.get(), 5), (Bytes{0x18, 0x00, 0x00, 0x00, 0x1A})) << "off-line";
    EXPECT_TRUE(printer.emu.says("state file " + file + ": cannot save it in its folder " + folder +
                                 ": Permission denied; off-line until it is saved"));

    fs::permissions(folder, fs::perms(0777));
    EXPECT_TRUE(printer.emu.says("saved; on-line again"));
    ASSERT_TRUE(sendAll(c.get(), {0x10, 0x04, 0x01}));
    EXPECT_EQ(readCount(c.get(), 5), (Bytes{0x10, 0x00, 0x00, 0x00, 0x12}));
    EXPECT_EQ(readFile(file), emulator::formatState({true, 0x7D}));

    // Past the file size limit a save fails the same way; the signal does not end it.
    Running limited({"--state", dir.file("limited.state")});
    ASSERT_FALSE(limited.address.empty());
    const rlimit none{0, 0};
    ASSERT_EQ(::prlimit(limited.emu.pid(), RLIMIT_FSIZE, &none, nullptr), 0);
    Fd d = connectTo(limited.address);
    stream = bytesOf(protocol::disableFrame());
    stream.insert(stream.end(), {0x10, 0x04, 0x01});
    ASSERT_TRUE(sendAll(d.get(), stream));
    EXPECT_EQ(readCount(d.get(), 1), Bytes{0x1A});
    EXPECT_TRUE(limited.emu.says("File too large; off-line until it is saved"));
}

TEST(emulator_state_test, state_files_missing_malformed_or_unreadable) {
    TempDir dir;
    {
        Running fresh({"--state", dir.file("none-yet")});
        ASSERT_FALSE(fresh.address.empty()) << "a missing file starts from the defaults";
        EXPECT_EQ(readFile(dir.file("none-yet")), emulator::formatState({})) << "and is written";
        fresh.send(bytesOf(protocol::selfTestFrame()), 0);
        EXPECT_EQ(selfTestPage(fresh.emu), kDefaultPage);
    }
    struct Row {
        const char *text;
        const char *why;
    } rows[] = {
        {"", "is malformed: no dip-switches line"},
        {"dip-switches enabled\n", "is malformed: no setting line"},
        {"dip-switches on\nsetting 0xFD\n", "line 1: dip-switches is enabled or disabled"},
        {"dip-switches enabled\n\nsetting 253\n", "line 3: setting is a byte like 0xFD"},
        {"setting 0xFD\nsetting 0x7D\ndip-switches enabled\n", "line 2: setting given twice"},
        {"dip-switches enabled\nsetting 0xFD\nbaud 9600\n", "line 3: unknown key 'baud'"},
    };
    for (const Row &r : rows) {
        const std::string file = dir.file("bad.state");
        std::ofstream(file) << r.text;
        EmulatorProcess emu({"--listen", "127.0.0.1:0", "--state", file});
        const std::string said = emu.statusLine();
        EXPECT_NE(said.find("state file " + file + " "), std::string::npos) << said;
        EXPECT_NE(said.find(r.why), std::string::npos) << said;
        EXPECT_EQ(emu.exitStatus(), 1) << r.text;
    }
    // Neither waited on nor read without end.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.file("big.state");
    std::ofstream(big) << std::string(65 * 1024, '#'); // one comment, were it not so long
    const std::pair<std::string, const char *> files[] = {
        {fifo, ": not a regular file"},
        {"/dev/zero", ": not a regular file"},
        {dir.file(""), ": not a regular file"},
        {big, " is too large (more than 64 KiB)"}};
    for (const auto &[file, why] : files) {
        EmulatorProcess emu({"--listen", "127.0.0.1:0", "--state", file});
        EXPECT_EQ(emu.statusLine(), "posdip-emulator: state file " + file + why);
        EXPECT_EQ(emu.exitStatus(), 1) << file;
    }
}
