#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "link/PortDiagnosis.h"

// The errors Windows gives for a COM port that cannot be opened, told in the same words as on
// Linux; an open held by another program is "access denied" there.
TEST(PortDiagnosis, NamesTheReasonFromTheWindowsError) {
    EXPECT_EQ(DescribeOpenFailure(5, ERROR_FILE_NOT_FOUND),
              "Urządzenie COM5 nie istnieje (odłączony adapter?).");
    EXPECT_EQ(DescribeOpenFailure(5, ERROR_ACCESS_DENIED),
              "Port jest używany przez inny program (COM5).");
    EXPECT_EQ(DescribeOpenFailure(5, ERROR_SHARING_VIOLATION),
              DescribeOpenFailure(5, ERROR_ACCESS_DENIED));
    EXPECT_EQ(DescribeOpenFailure(12, ERROR_GEN_FAILURE),
              "Urządzenie COM12 nie odpowiada. Sprawdź, czy jest podłączone i czy nie używa go "
              "inny program.");
    EXPECT_EQ(DescribeOpenFailure(300, 0), "Numer COM300 jest spoza zakresu COM1-COM256.");

    const std::string other = DescribeOpenFailure(5, ERROR_INVALID_DATA);
    const std::string prefix = "Błąd systemu przy otwieraniu COM5: ";
    ASSERT_EQ(other.rfind(prefix, 0), 0u) << other;
    // The system's own text, without its full stop and line break.
    EXPECT_GT(other.size(), prefix.size() + 2) << other;
    EXPECT_EQ(other.find('\n'), std::string::npos) << other;
    EXPECT_NE(other.substr(other.size() - 2), "..") << other;
}

TEST(PortDiagnosis, ErrorTextFallsBackToTheNumber) {
    EXPECT_FALSE(OpenErrorText(ERROR_ACCESS_DENIED).empty());
    EXPECT_NE(OpenErrorText(ERROR_ACCESS_DENIED).back(), '.');
    EXPECT_EQ(OpenErrorText(0x7FFFFFF0), "error 2147483632");
}
