// A port on a device file whose wait for delivery the test answers: a USB printer takes a write
// before its transfer ends, and no such device can be made here.
#include "posdll/device_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

using namespace posdll;

namespace {

const char *const kLabel = "parallel port LPT1 (/dev/usb/lp0)";

// The device's answer to every wait, and what the port asked.
struct Device {
    int answer = POLLOUT;
    int waits = 0;
    milliseconds bound{0};
};

std::unique_ptr<DeviceFile> portOn(Device &d) {
    // /dev/null takes every byte at once, as the USB printer driver does.
    return std::make_unique<DeviceFile>(Fd(::open("/dev/null", O_WRONLY | O_CLOEXEC)), kLabel,
                                        [&d](int, Clock::time_point deadline) {
                                            ++d.waits;
                                            d.bound = std::chrono::duration_cast<milliseconds>(
                                                deadline - Clock::now());
                                            return d.answer;
                                        });
}

const unsigned char kFrame[11] = {0x1F, 0x1B, 0x1F, 0xA1, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xFD};

std::string reason(const std::string &what) {
    return std::string(kLabel) + ": " + what;
}

} // namespace

TEST(device_file_test, the_end_waits_once_for_the_printer_to_take_every_byte_written) {
    Device d;
    auto port = portOn(d);
    ASSERT_EQ(port->write(kFrame, 11), 11);
    EXPECT_EQ(d.waits, 0) << "nothing waits between writes";
    ASSERT_EQ(port->write(kFrame, 1), 1);
    EXPECT_TRUE(port->endDoc()) << lastError();
    EXPECT_EQ(d.waits, 1);
    EXPECT_GT(d.bound, milliseconds(4000)) << "within the write bound";
    EXPECT_LE(d.bound, kDeviceWriteWait);
    EXPECT_TRUE(port->close()) << lastError();
    EXPECT_EQ(d.waits, 1) << "what was confirmed is not waited for again";
}

TEST(device_file_test, a_printer_that_never_takes_the_bytes_is_a_failure_not_an_ok) {
    Device d;
    d.answer = 0; // the deadline passed
    auto port = portOn(d);
    ASSERT_EQ(port->write(kFrame, 11), 11);
    ASSERT_EQ(port->write(kFrame, 1), 1);
    EXPECT_FALSE(port->endDoc());
    EXPECT_EQ(lastError(), reason("the printer did not take the last 12 bytes within 5 s; is the "
                                  "printer on, with paper?"));
    EXPECT_TRUE(port->close()) << "the failure was told once, at the end of the document";

    Device err;
    err.answer = POLLERR;
    auto broken = portOn(err);
    ASSERT_EQ(broken->write(kFrame, 11), 11);
    EXPECT_FALSE(broken->endDoc());
    EXPECT_EQ(lastError(),
              reason("the device reported an error with 11 bytes not yet taken by the printer"));
}

TEST(device_file_test, closing_without_ending_the_document_still_waits) {
    Device d;
    d.answer = 0;
    auto port = portOn(d);
    ASSERT_EQ(port->write(kFrame, 11), 11);
    EXPECT_FALSE(port->close());
    EXPECT_EQ(d.waits, 1);
    EXPECT_EQ(lastError(), reason("the printer did not take the last 11 bytes within 5 s; is the "
                                  "printer on, with paper?"));

    Device idle;
    auto unused = portOn(idle);
    EXPECT_TRUE(unused->endDoc());
    EXPECT_TRUE(unused->close());
    EXPECT_EQ(idle.waits, 0) << "a port never written to has nothing to wait for";
}
