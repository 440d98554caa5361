#include "posdll/port_devices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace posdll;

namespace {

using Paths = std::vector<std::string>;

auto existing(Paths present) {
    return [present](const std::string &p) {
        return std::find(present.begin(), present.end(), p) != present.end();
    };
}

} // namespace

TEST(port_devices_test, names_numbers_and_the_variable_that_overrides_them) {
    const auto com = parsePortName("COM12");
    ASSERT_TRUE(com);
    EXPECT_EQ(com->family, PortFamily::Serial);
    EXPECT_EQ(portNameText(*com), "COM12");
    EXPECT_EQ(overrideVariable(*com), "POSDLL_PORT_COM12");
    EXPECT_EQ(usualDevicePaths(*com), Paths{"/dev/ttyS11"});
    EXPECT_EQ(usualDevicePaths(*parsePortName("LPT1")), (Paths{"/dev/lp0", "/dev/usb/lp0"}));
    for (const char *bad : {"COM0", "LPT", "lpt1", "COM256", "ETHERNET", "LPT1 "})
        EXPECT_FALSE(parsePortName(bad)) << bad;
}

TEST(port_devices_test, the_first_usual_device_there_else_the_usb_one_else_the_override) {
    const PortName lpt1{PortFamily::Parallel, 1};
    EXPECT_EQ(portDevice(lpt1, "", existing({"/dev/lp0", "/dev/usb/lp0"})).path, "/dev/lp0");
    EXPECT_EQ(portDevice(lpt1, "", existing({"/dev/usb/lp0"})).path, "/dev/usb/lp0");
    EXPECT_EQ(portDevice(lpt1, "", existing({"/dev/lp1"})).path, "/dev/usb/lp0")
        << "neither there: the one a USB printer appears as when switched on";
    const PortName com3{PortFamily::Serial, 3};
    EXPECT_EQ(portDevice(com3, "", existing({})).path, "/dev/ttyS2");
    const PortDevice over = portDevice(com3, "/dev/ttyUSB0", existing({"/dev/ttyS2"}));
    EXPECT_EQ(over.path, "/dev/ttyUSB0");
    EXPECT_TRUE(over.overridden);
    EXPECT_FALSE(portDevice(com3, "", existing({"/dev/ttyS2"})).overridden)
        << "an empty override is none";
}

TEST(port_devices_test, only_devices_are_ports_and_files_only_when_allowed) {
    auto refusal = [](PortFamily family, mode_t mode, bool allowed = false, bool kernel = false,
                      std::string to = "") {
        return portFileRefusal(family, PortFile{mode, std::move(to), kernel, allowed})
            .value_or("accepted");
    };
    constexpr auto S = PortFamily::Serial;
    constexpr auto P = PortFamily::Parallel;
    EXPECT_EQ(refusal(S, S_IFCHR), "accepted");
    EXPECT_EQ(refusal(P, S_IFIFO), "accepted");
    EXPECT_EQ(refusal(P, S_IFREG, true), "accepted");

    EXPECT_EQ(refusal(P, S_IFREG),
              "not a device: it is a regular file (set POSDLL_ALLOW_FILES=1 to append frames "
              "to files)");
    EXPECT_EQ(refusal(P, S_IFREG, true, false, "/tmp/copy-of-passwd"),
              "accepted"); // a link to a file, allowed
    EXPECT_EQ(refusal(P, S_IFREG, false, false, "/tmp/copy-of-passwd"),
              "not a device: it leads to /tmp/copy-of-passwd, a regular file (set "
              "POSDLL_ALLOW_FILES=1 to append frames to files)");
    EXPECT_EQ(refusal(P, S_IFREG, true, true),
              "not a device: it is a regular file of the kernel's (/proc, /sys), never written "
              "as a printer")
        << "allowing files does not open the kernel's settings";
    EXPECT_EQ(refusal(P, S_IFDIR), "not a device: it is a folder");
    EXPECT_EQ(refusal(P, S_IFBLK), "not a device: it is a block device (a disk)");
    EXPECT_EQ(refusal(P, S_IFSOCK), "not a device: it is a socket");

    // A serial port is a terminal: never a file or a FIFO, allowed or not.
    EXPECT_EQ(refusal(S, S_IFREG, true),
              "not a device: it is a regular file; a serial port is a terminal device");
    EXPECT_EQ(refusal(S, S_IFIFO, true),
              "not a device: it is a FIFO; a serial port is a terminal device");
}

TEST(port_devices_test, a_parallel_port_is_a_printer_drivers_device_never_memory_or_storage) {
    const std::string other = " of no printer driver (set POSDLL_ALLOW_FILES=1 to write to it)";
    const std::string memory = " of memory or storage, never written as a printer";
    struct Row {
        unsigned major, minor;
        bool allowed;
        std::string verdict;
    } rows[] = {
        {6, 0, false, "accepted"},   // /dev/lp0
        {180, 1, false, "accepted"}, // /dev/usb/lp1
        {1, 3, false, "not a printer: it is a character device (1, 3)" + other},
        {1, 3, true, "accepted"},  // /dev/null, to try a batch
        {4, 64, true, "accepted"}, // a serial line, when allowed
        {1, 4, true, "not a printer: it is a character device (1, 4)" + memory},   // /dev/port
        {1, 1, true, "not a printer: it is a character device (1, 1)" + memory},   // /dev/mem
        {90, 0, true, "not a printer: it is a character device (90, 0)" + memory}, // /dev/mtd0
        {31, 0, true, "not a printer: it is a character device (31, 0)" + memory},
    };
    for (const Row &r : rows) {
        PortFile file{S_IFCHR, "", false, r.allowed, r.major, r.minor};
        EXPECT_EQ(portFileRefusal(PortFamily::Parallel, file).value_or("accepted"), r.verdict)
            << r.major << ", " << r.minor;
    }
    // Whatever file system is mounted there, /proc and /sys are the kernel's.
    for (const char *kernel : {"/proc", "/proc/sys/kernel/hostname", "/sys/fs/cgroup/frames.bin"})
        EXPECT_TRUE(onKernelPath(kernel)) << kernel;
    for (const char *other : {"/", "/process", "/system/frames.bin", "/tmp/sys/frames.bin"})
        EXPECT_FALSE(onKernelPath(other)) << other;
}
