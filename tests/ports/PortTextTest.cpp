#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/PortDiscovery.h"

// The port list text, the same on every platform whatever found the ports.
TEST(PortDiscovery, ComTailIsCutOnlyAtTheEnd) {
    using portdiscovery::CutComTail;
    EXPECT_EQ(CutComTail("Communications Port (COM1)"), "Communications Port");
    EXPECT_EQ(CutComTail("USB Serial Port (COM256)"), "USB Serial Port");
    EXPECT_EQ(CutComTail("Port (COM3) spare"), "Port (COM3) spare");
    EXPECT_EQ(CutComTail("Port (COMx)"), "Port (COMx)");
    EXPECT_EQ(CutComTail("Port (COM)"), "Port (COM)");
    EXPECT_EQ(CutComTail("Port (COM3"), "Port (COM3");
    EXPECT_EQ(CutComTail(""), "");
}

TEST(PortDiscovery, TextBecomesDialogEntries) {
    using portdiscovery::EntriesFromText;
    EXPECT_EQ(EntriesFromText("COM1:Communications Port\nCOM3:USB Serial Port\n"),
              (std::vector<std::string>{"COM1 (Communications Port)", "COM3 (USB Serial Port)"}));
    EXPECT_EQ(EntriesFromText("COM7\n\nCOM5:Port: A\n"),
              (std::vector<std::string>{"COM7", "COM5 (Port: A)"}));
    EXPECT_EQ(EntriesFromText("COM2\nCOM4:unterminated"), std::vector<std::string>{"COM2"});
    EXPECT_EQ(portdiscovery::EntryForLine("COM9:"), "COM9 ()");
}

TEST(PortDiscovery, TableBecomesTextInPortOrder) {
    portdiscovery::PortTable table;
    table[0] = {true, "Communications Port (COM1)"};
    table[2] = {true, "USB Serial Port (COM3)"};
    table[6] = {true, ""};
    table[255] = {true, "Port: A"};
    table[9] = {false, "ignored"};
    int count = -1;
    EXPECT_EQ(portdiscovery::PortListText(table, count),
              "COM1:Communications Port\nCOM3:USB Serial Port\nCOM7\nCOM256:Port: A\n");
    EXPECT_EQ(count, 4);
    EXPECT_EQ(portdiscovery::PortListText(portdiscovery::PortTable{}, count), "");
    EXPECT_EQ(count, 0);
}

TEST(PortDiscovery, PortNameMustBeComAndANumberBelowTheSize) {
    using portdiscovery::PortNumberFromName;
    EXPECT_EQ(PortNumberFromName("COM1", 256), 1);
    EXPECT_EQ(PortNumberFromName("COM255", 256), 255);
    for (const char* name : {"COM256", "COM0", "COM", "COM3 ", "COM-3", "COM+3", "com3", "LPT1",
                             "COM3x", "COM99999999999", ""}) {
        EXPECT_EQ(PortNumberFromName(name, 256), 0) << name;
    }
}
