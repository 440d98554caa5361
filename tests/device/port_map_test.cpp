#include "device/port_map.h"

#include "posdll/port_devices.h"

#include <gtest/gtest.h>

#include <algorithm>

using device::mapPort;
using device::PortMapping;
using device::reportPorts;
using device::usualDevices;

using Devices = std::vector<std::string>;

TEST(cli_port_map_test, usual_devices_of_each_name) {
    EXPECT_EQ(usualDevices("COM1"), Devices{"/dev/ttyS0"});
    EXPECT_EQ(usualDevices("COM12"), Devices{"/dev/ttyS11"});
    EXPECT_EQ(usualDevices("LPT2"), (Devices{"/dev/lp1", "/dev/usb/lp1"}));
    for (const char *none : {"COM0", "com1", "LPT", "USB1", "COM1x", "ETHERNET", "COM256"})
        EXPECT_TRUE(usualDevices(none).empty()) << none;
    EXPECT_EQ(posdll::overrideVariable(*posdll::parsePortName("LPT1")), "POSDLL_PORT_LPT1");
}

TEST(cli_port_map_test, lpt_falls_back_to_usb_and_overrides_win) {
    EXPECT_EQ(mapPort("LPT1", {}, {"/dev/usb/lp0"}),
              (PortMapping{"LPT1", "/dev/usb/lp0", true, false}));
    EXPECT_EQ(mapPort("LPT1", {}, {"/dev/lp0", "/dev/usb/lp0"}),
              (PortMapping{"LPT1", "/dev/lp0", true, false}));
    // Neither there: the device the library would open, the USB one.
    EXPECT_EQ(mapPort("LPT1", {}, {}), (PortMapping{"LPT1", "/dev/usb/lp0", false, false}));
    const device::Environment env{{"POSDLL_PORT_COM2", "/dev/ttyUSB0"}, {"POSDLL_PORT_COM3", ""}};
    EXPECT_EQ(mapPort("COM2", env, {"/dev/ttyS1"}),
              (PortMapping{"COM2", "/dev/ttyUSB0", false, true}));
    EXPECT_EQ(mapPort("COM2", env, {"/dev/ttyUSB0"}),
              (PortMapping{"COM2", "/dev/ttyUSB0", true, true}));
    // An empty override is no override.
    EXPECT_EQ(mapPort("COM3", env, {"/dev/ttyS2"}),
              (PortMapping{"COM3", "/dev/ttyS2", true, false}));
}

TEST(cli_port_map_test, report_lists_the_usual_names_the_reached_devices_and_the_rest) {
    const Devices present = {"/dev/ttyS0",   "/dev/ttyS31", "/dev/ttyUSB0",
                             "/dev/ttyACM0", "/dev/ttyS01", "/dev/usb/lp0"};
    const device::Environment env = {{"POSDLL_PORT_COM12", "/dev/ttyUSB0"},
                                     {"POSDLL_PORT_COM0", "/dev/ttyACM0"}, // no such port name
                                     {"POSDLL_PORT_FOO", "/dev/ttyACM0"},
                                     {"POSDLL_PORT_LPT7", "/tmp/printer.out"}};
    const device::PortsReport r = reportPorts(present, env);
    std::vector<std::string> names;
    for (const PortMapping &m : r.ports)
        names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
                                               "COM7", "COM8", "COM9", "COM12", "COM32", "LPT1",
                                               "LPT2", "LPT3", "LPT7"}));
    auto find = [&](const std::string &name) {
        return *std::find_if(r.ports.begin(), r.ports.end(),
                             [&](const PortMapping &m) { return m.name == name; });
    };
    EXPECT_EQ(find("COM1"), (PortMapping{"COM1", "/dev/ttyS0", true, false}));
    EXPECT_EQ(find("COM2"), (PortMapping{"COM2", "/dev/ttyS1", false, false}));
    EXPECT_EQ(find("COM12"), (PortMapping{"COM12", "/dev/ttyUSB0", true, true}));
    EXPECT_EQ(find("COM32"), (PortMapping{"COM32", "/dev/ttyS31", true, false}));
    EXPECT_EQ(find("LPT1"), (PortMapping{"LPT1", "/dev/usb/lp0", true, false}));
    EXPECT_EQ(find("LPT7"), (PortMapping{"LPT7", "/tmp/printer.out", false, true}));
    // ttyS01 is no usual device name: COM2 opens ttyS1.
    EXPECT_EQ(r.unmapped, (Devices{"/dev/ttyACM0", "/dev/ttyS01"}));
}

TEST(cli_port_map_test, natural_order) {
    Devices d = {"/dev/ttyS10",  "/dev/ttyS2",   "/dev/lp0",    "/dev/ttyS1",
                 "/dev/ttyACM0", "/dev/ttyS002", "/dev/usb/lp1"};
    std::sort(d.begin(), d.end(), device::naturalLess);
    EXPECT_EQ(d, (Devices{"/dev/lp0", "/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyS002", "/dev/ttyS2",
                          "/dev/ttyS10", "/dev/usb/lp1"}));
    EXPECT_FALSE(device::naturalLess("/dev/ttyS2", "/dev/ttyS2"));
}
