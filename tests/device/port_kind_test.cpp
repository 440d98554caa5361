#include "device/port_catalogue.h"

#include <gtest/gtest.h>

using device::PortKind;
using device::portKindOf;

TEST(port_kind_test, first_three_characters_exactly) {
    EXPECT_EQ(portKindOf("ETHERNET"), PortKind::Ethernet);
    EXPECT_EQ(portKindOf("ETH"), PortKind::Ethernet);
    EXPECT_EQ(portKindOf("COM1"), PortKind::Serial);
    EXPECT_EQ(portKindOf("COM12"), PortKind::Serial);
    EXPECT_EQ(portKindOf("COMx"), PortKind::Serial); // the kind only; the library checks the rest
    EXPECT_EQ(portKindOf("LPT3"), PortKind::Parallel);
    EXPECT_EQ(portKindOf("DRIVER"), PortKind::Driver);
}

TEST(port_kind_test, other_text_matches_nothing) {
    for (const char *name : {"", "E", "ET", "CO", "com1", "Com1", "eth", "USB001", " COM1", "LP"})
        EXPECT_EQ(portKindOf(name), PortKind::Unknown) << '"' << name << '"';
}

TEST(port_kind_test, catalogue_offers_each_kind_in_order) {
    EXPECT_EQ(device::kPortCatalogue.front(), "ETHERNET"); // the port the window opens on
    EXPECT_EQ(device::cataloguePorts(PortKind::Serial).size(), 9u);
    EXPECT_EQ(device::catalogueSpan(PortKind::Serial), "COM1-COM9");
    EXPECT_EQ(device::catalogueSpan(PortKind::Parallel), "LPT1-LPT3");
    EXPECT_EQ(device::catalogueSpan(PortKind::Driver), "DRIVER");
    EXPECT_EQ(device::catalogueSpan(PortKind::Unknown), "");
}
