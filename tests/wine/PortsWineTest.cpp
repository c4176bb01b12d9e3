// Port discovery and diagnosis on wine. Wine's device manager has no "Ports" devices, and its
// default configuration answers for COM1-COM9 whether they exist or not and for no higher
// number, so the simulator's port cannot be found here: these check the form of the answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "link/PortDiagnosis.h"
#include "link/PortDiscovery.h"
#include "tests/wine/WineSim.h"

TEST(WinePorts, ListIsAscendingLinesOfComNumbers) {
    int count = -1;
    std::string text;
    ASSERT_TRUE(portdiscovery::ListPorts(count, text));
    std::printf("port list (%d):\n%s", count, text.c_str());
    std::istringstream lines(text);
    int lineCount = 0;
    int previous = 0;
    for (std::string line; std::getline(lines, line); ++lineCount) {
        const std::string name = line.substr(0, line.find(':'));
        const int number = portdiscovery::PortNumberFromName(name, 257);
        ASSERT_GT(number, previous) << line;
        previous = number;
    }
    EXPECT_EQ(lineCount, count);
    EXPECT_TRUE(text.empty() || text.back() == '\n');
}

TEST(WinePorts, UnknownErrorExaminesThePortWithoutOpeningIt) {
    EXPECT_EQ(DescribeOpenFailure(253, 0), "Urządzenie COM253 nie istnieje (odłączony adapter?).");
}
