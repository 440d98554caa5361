// A parallel port whose driver has no poll (so every poll says "writable") while the printer
// holds BUSY and every write is refused with EAGAIN. No such device can be made here, so this
// program's own write() refuses for the one FIFO the test marks and passes every other call on.
#include "document.h"
#include "support/bounded.h"
#include "support/posix_peers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <dlfcn.h>

using namespace testing_support;

namespace {

std::atomic<ino_t> g_busyInode{0};

using WriteFn = ssize_t (*)(int, const void *, size_t);

} // namespace

extern "C" ssize_t write(int fd, const void *bytes, size_t count) {
    static const auto real = reinterpret_cast<WriteFn>(::dlsym(RTLD_NEXT, "write"));
    struct stat st;
    if (g_busyInode != 0 && ::fstat(fd, &st) == 0 && st.st_ino == g_busyInode) {
        errno = EAGAIN;
        return -1;
    }
    return real(fd, bytes, count);
}

namespace {

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct WriteResult {
    int written = 0;
    std::string error;
    double cpuSeconds = 0;
};

} // namespace

TEST(busy_port_test, a_port_that_says_writable_and_takes_nothing_fails_in_time_without_spinning) {
    TempDir dir;
    const std::string path = dir.file("lp");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    Fd reader(::open(path.c_str(), O_RDONLY | O_NONBLOCK)); // an empty FIFO polls writable
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    ScopedEnv env("POSDLL_PORT_LPT2", path);
    g_busyInode = st.st_ino;

    // The write's bound is 1 s here; this only catches one that has none.
    const auto r = finishesWithin(std::chrono::seconds(60), [] {
        const ShortWriteBound bound;
        const unsigned char frame[11] = {0x1F, 0x1B, 0x1F, 0x93, 0x10, 0x11,
                                         0x12, 0x15, 0x16, 0x17, 0x10};
        WriteResult w;
        const int h = POS_Open("LPT2", 0, 0, 0, 0, POS_PORT_PARALLEL);
        if (h <= 0)
            return WriteResult{0, POS_LastError(), 0};
        const double before = threadCpuSeconds();
        w.written = POS_WriteFile(h, frame, 11);
        w.cpuSeconds = threadCpuSeconds() - before;
        w.error = POS_LastError();
        POS_Close();
        return w;
    });
    ASSERT_TRUE(r.has_value()) << "the write has not ended after 60 s";
    g_busyInode = 0;
    EXPECT_EQ(r->written, -1) << r->error;
    EXPECT_EQ(r->error, "parallel port LPT2 (" + path +
                            "): took no bytes for 1 s after 0 of 11 bytes; is the printer on, "
                            "with paper, and ready?");
    // Spinning takes the whole second of a CPU; waiting between tries takes almost none.
    EXPECT_LT(r->cpuSeconds, 0.3) << "CPU seconds used while the port took nothing";
}
