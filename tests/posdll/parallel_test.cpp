// The parallel transport against files and FIFOs mapped as LPTn.
#include "document.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <future>
#include <grp.h>
#include <iterator>
#include <optional>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace testing_support;

namespace {

bool contains(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

Bytes fileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

void createFile(const std::string &path, mode_t mode = 0644) {
    Fd(::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode));
    ::chmod(path.c_str(), mode);
}

// LPT2 stands for a file in a folder of its own; files are allowed as ports.
struct MappedFile {
    TempDir dir;
    std::string path = dir.file("printer");
    ScopedEnv env{"POSDLL_PORT_LPT2", path};
    ScopedEnv allowFiles{"POSDLL_ALLOW_FILES", "1"};
};

} // namespace

TEST(parallel_test, exact_bytes_arrive_in_a_file_and_each_document_is_kept) {
    MappedFile f;
    createFile(f.path);
    const Bytes frame = frameBytes();
    const Bytes selfTest = {0x1F, 0x1B, 0x1F, 0x93, 0x10, 0x11, 0x12, 0x15, 0x16, 0x17, 0x10, 0x00};
    EXPECT_TRUE(sendDocument("LPT2", POS_PORT_PARALLEL, frame).ok(11)) << POS_LastError();
    EXPECT_TRUE(sendDocument("LPT2", POS_PORT_PARALLEL, selfTest).ok(12)) << POS_LastError();
    Bytes both = frame;
    both.insert(both.end(), selfTest.begin(), selfTest.end());
    EXPECT_EQ(fileBytes(f.path), both);
}

TEST(parallel_test, exact_bytes_arrive_through_a_fifo) {
    MappedFile f;
    ASSERT_EQ(::mkfifo(f.path.c_str(), 0600), 0);
    Fd reader(::open(f.path.c_str(), O_RDONLY | O_NONBLOCK));
    const DocResult r = sendDocument("LPT2", POS_PORT_PARALLEL, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(readCount(reader.get(), 11), frameBytes());
}

TEST(parallel_test, fifo_without_reader_says_so) {
    MappedFile f;
    ASSERT_EQ(::mkfifo(f.path.c_str(), 0600), 0);
    EXPECT_EQ(POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL), -1);
    EXPECT_EQ(POS_LastError(), "parallel port LPT2 (" + f.path +
                                   "): No such device or address (no program is reading from "
                                   "this FIFO)");
}

TEST(parallel_test, reader_going_away_fails_the_write_without_a_signal) {
    // With the default action, a SIGPIPE would end this test program.
    struct sigaction dfl {
    }, old{};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &dfl, &old);
    MappedFile f;
    ASSERT_EQ(::mkfifo(f.path.c_str(), 0600), 0);
    Fd reader(::open(f.path.c_str(), O_RDONLY | O_NONBLOCK));
    const int h = POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL);
    ASSERT_GT(h, 0) << POS_LastError();
    reader.reset();
    EXPECT_EQ(POS_WriteFile(h, frameBytes().data(), 11), -1);
    EXPECT_EQ(POS_LastError(),
              "parallel port LPT2 (" + f.path + "): Broken pipe after 0 of 11 bytes");
    sigset_t pending;
    ::sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "no SIGPIPE is left waiting either";
    EXPECT_EQ(POS_Close(), 0);
    ::sigaction(SIGPIPE, &old, nullptr);
}

TEST(parallel_test, a_printer_that_stops_taking_bytes_fails_within_the_bound) {
    MappedFile f;
    ASSERT_EQ(::mkfifo(f.path.c_str(), 0600), 0);
    Fd reader(::open(f.path.c_str(), O_RDONLY | O_NONBLOCK)); // never reads
    const ShortWriteBound bound;
    const Bytes big(1 << 20, 0xAA);
    const int h = POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL);
    ASSERT_GT(h, 0) << POS_LastError();
    EXPECT_EQ(POS_WriteFile(h, big.data(), static_cast<int>(big.size())), -1);
    const std::string error = POS_LastError();
    EXPECT_TRUE(
        contains(error, "parallel port LPT2 (" + f.path + "): took no bytes for 1 s after "))
        << error;
    EXPECT_TRUE(contains(error, " of 1048576 bytes; is the printer on, with paper, and ready?"))
        << error;
    EXPECT_EQ(POS_Close(), 0);
}

TEST(parallel_test, a_port_held_by_another_program_is_busy) {
    MappedFile f;
    createFile(f.path);
    Fd other(::open(f.path.c_str(), O_WRONLY));
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL), -1);
    EXPECT_EQ(POS_LastError(),
              "parallel port LPT2 (" + f.path + "): busy: another program holds it");
}

TEST(parallel_test, missing_device_names_the_paths_tried) {
    ScopedEnv unset("POSDLL_PORT_LPT200", std::nullopt);
    EXPECT_EQ(POS_Open("LPT200", 0, 0, 0, 0, POS_PORT_PARALLEL), -1);
    EXPECT_STREQ(POS_LastError(),
                 "parallel port LPT200 (/dev/usb/lp199): No such file or directory; nor is there "
                 "/dev/lp199 (set POSDLL_PORT_LPT200 to use another device for this port)");
}

TEST(parallel_test, a_capture_file_not_there_is_created_only_where_files_are_allowed) {
    TempDir dir;
    const std::string fresh = dir.file("frames.bin");
    const struct {
        std::string path;
        const char *allow; // POSDLL_ALLOW_FILES
        bool created;
    } rows[] = {
        {fresh, nullptr, false},
        {dir.file("none/frames.bin"), "1", false}, // no such folder
        {"/proc/posdip-frames.bin", "1", false},   // never on the kernel's file systems
        {fresh, "1", true},
    };
    for (const auto &row : rows) {
        ScopedEnv env("POSDLL_PORT_LPT2", row.path);
        ScopedEnv allow("POSDLL_ALLOW_FILES",
                        row.allow ? std::optional<std::string>(row.allow) : std::nullopt);
        const DocResult r = sendDocument("LPT2", POS_PORT_PARALLEL, frameBytes());
        EXPECT_EQ(r.ok(11), row.created) << row.path << ": " << r.error;
        struct stat st {};
        EXPECT_EQ(::stat(row.path.c_str(), &st) == 0, row.created) << row.path;
        if (!row.created) {
            EXPECT_EQ(r.error, "parallel port LPT2 (" + row.path + "): No such file or directory");
            EXPECT_EQ(r.err, ENOENT) << row.path;
        } else
            EXPECT_EQ(st.st_mode & 0777, 0644 & ~currentUmask());
    }
    EXPECT_EQ(fileBytes(fresh), frameBytes());
}

TEST(parallel_test, permission_denied_names_the_group_to_join_or_the_usual_one) {
    const group *lp = ::getgrnam("lp");
    if (!lp)
        GTEST_SKIP() << "no group lp here";
    MappedFile f;
    createFile(f.path, 0660);
    ASSERT_EQ(::chown(f.path.c_str(), 0, lp->gr_gid), 0);
    auto openError = [] {
        POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL);
        return std::string(POS_LastError());
    };
    EXPECT_EQ(asNobody(openError),
              "parallel port LPT2 (" + f.path +
                  "): Permission denied — add your user to the group 'lp', then log in again");

    ASSERT_EQ(::chown(f.path.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(f.path.c_str(), 0600), 0);
    EXPECT_EQ(
        asNobody(openError),
        "parallel port LPT2 (" + f.path +
            "): Permission denied — the device (group 'root', mode 0600) cannot be written by "
            "its group; such devices are usually writable by the group 'lp'");
}

TEST(parallel_test, opening_again_releases_the_port_opened_before) {
    MappedFile f;
    createFile(f.path);
    ASSERT_GT(POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL), 0) << POS_LastError();
    const int h = POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL); // not busy with itself
    ASSERT_GT(h, 0) << POS_LastError();
    EXPECT_EQ(POS_WriteFile(h - 1, frameBytes().data(), 11), -1) << "the old handle is gone";
    EXPECT_TRUE(contains(POS_LastError(), "is not the open port")) << POS_LastError();
    EXPECT_EQ(POS_WriteFile(h, frameBytes().data(), 11), 11);
    EXPECT_EQ(POS_Close(), 0);
    EXPECT_EQ(fileBytes(f.path), frameBytes());
}

TEST(parallel_test, each_thread_has_its_own_open_port) {
    TempDir dir;
    const std::string a = dir.file("a");
    const std::string b = dir.file("b");
    createFile(a);
    createFile(b);
    ScopedEnv envA("POSDLL_PORT_LPT5", a);
    ScopedEnv envB("POSDLL_PORT_LPT6", b);
    ScopedEnv allowFiles("POSDLL_ALLOW_FILES", "1");
    std::promise<void> aOpen, bOpen;
    std::shared_future<void> aReady = aOpen.get_future().share();
    std::shared_future<void> bReady = bOpen.get_future().share();
    // Both ports are open at once; each thread writes, ends and closes only its own.
    auto run = [](const char *port, unsigned char mark, std::promise<void> &opened,
                  std::shared_future<void> other) {
        const int h = POS_Open(port, 0, 0, 0, 0, POS_PORT_PARALLEL);
        opened.set_value();
        other.wait();
        const unsigned char bytes[3] = {mark, mark, mark};
        const bool ok = h > 0 && POS_StartDoc() == 0 && POS_WriteFile(h, bytes, 3) == 3 &&
                        POS_EndDoc() == 0 && POS_Close() == 0;
        return ok ? std::string() : std::string(port) + ": " + POS_LastError();
    };
    auto ta = std::async(std::launch::async, run, "LPT5", 0xA5, std::ref(aOpen), bReady);
    auto tb = std::async(std::launch::async, run, "LPT6", 0xB6, std::ref(bOpen), aReady);
    EXPECT_EQ(ta.get(), "");
    EXPECT_EQ(tb.get(), "");
    EXPECT_EQ(fileBytes(a), Bytes(3, 0xA5));
    EXPECT_EQ(fileBytes(b), Bytes(3, 0xB6));
    // This thread opened nothing, and the others' failures are not its last error.
    EXPECT_EQ(POS_StartDoc(), -1);
    EXPECT_STREQ(POS_LastError(), "start document: no port is open");
}

TEST(parallel_test, what_is_no_device_is_refused_before_anything_is_written) {
    TempDir dir;
    const std::string copy = dir.file("passwd");
    const std::string text = "root:x:0:0:root:/root:/bin/bash\n";
    std::ofstream(copy) << text;
    const std::string link = dir.file("lp");
    ASSERT_EQ(::symlink(copy.c_str(), link.c_str()), 0);
    const std::string folder = dir.file("folder");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string files = " (set POSDLL_ALLOW_FILES=1 to append frames to files)";
    struct Row {
        std::string path;
        const char *allow; // POSDLL_ALLOW_FILES
        std::string why;
    } rows[] = {
        {copy, nullptr, "not a device: it is a regular file" + files},
        {copy, "yes", "not a device: it is a regular file" + files},
        {link, nullptr, "not a device: it leads to " + copy + ", a regular file" + files},
        {folder, "1", "not a device: it is a folder"},
        // Written, this would rename the writing thread; allowing files does not allow it.
        {"/proc/thread-self/comm", "1",
         "not a device: it leads to /proc/" + std::to_string(::getpid()) + "/task/" +
             std::to_string(::gettid()) +
             "/comm, a regular file of the kernel's (/proc, /sys), never written as a printer"},
    };
    for (const Row &r : rows) {
        ScopedEnv env("POSDLL_PORT_LPT2", r.path);
        ScopedEnv allow("POSDLL_ALLOW_FILES",
                        r.allow ? std::optional<std::string>(r.allow) : std::nullopt);
        EXPECT_EQ(POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL), -1) << r.path;
        EXPECT_EQ(POS_LastError(), "parallel port LPT2 (" + r.path + "): " + r.why);
    }
    EXPECT_EQ(fileBytes(copy), Bytes(text.begin(), text.end()));
}

TEST(parallel_test, dev_null_takes_a_batch_when_allowed_and_a_link_to_a_fifo_leads_to_it) {
    {
        ScopedEnv env("POSDLL_PORT_LPT2", "/dev/null");
        EXPECT_EQ(POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL), -1);
        EXPECT_TRUE(contains(POS_LastError(), "a character device (1, 3) of no printer driver"))
            << POS_LastError();
        ScopedEnv allow("POSDLL_ALLOW_FILES", "1");
        const DocResult r = sendDocument("LPT2", POS_PORT_PARALLEL, frameBytes());
        EXPECT_TRUE(r.ok(11)) << r.error;
    }
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = dir.file("lp");
    ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);
    Fd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
    ScopedEnv env("POSDLL_PORT_LPT2", link);
    const DocResult r = sendDocument("LPT2", POS_PORT_PARALLEL, frameBytes());
    EXPECT_TRUE(r.ok(11)) << r.error;
    EXPECT_EQ(readCount(reader.get(), 11), frameBytes());
}

// A file system mounted over /sys (here a tmpfs over /sys/fs/cgroup, in a mount namespace of a
// child's own) is still no place for frames: the resolved path counts, not only the type.
TEST(parallel_test, a_file_under_sys_is_refused_whatever_is_mounted_there) {
    const pid_t probe = ::fork();
    if (probe == 0)
        ::_exit(::unshare(CLONE_NEWNS) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(probe, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        GTEST_SKIP() << "no mount namespace can be made here";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const char *frames = "/sys/fs/cgroup/frames.bin";
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("none", "/sys/fs/cgroup", "tmpfs", 0, nullptr) != 0)
                ::_exit(2);
            createFile(frames);
            ::setenv("POSDLL_PORT_LPT2", frames, 1);
            ::setenv("POSDLL_ALLOW_FILES", "1", 1);
            const bool opened = POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL) > 0;
            std::fprintf(stderr, "%s\n", POS_LastError());
            ::_exit(opened || !fileBytes(frames).empty() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "a regular file of the kernel's \\(/proc, /sys\\)");
}
