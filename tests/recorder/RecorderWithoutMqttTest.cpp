// orvex-recorder built without MQTT: [MQTT] ENABLED=1 is told once and recording goes on, and
// publishing alone is no task it can run.
#include <csignal>

#include "tests/recorder/RecorderFixture.h"

namespace {

using namespace std::chrono_literals;

class RecorderWithoutMqttTest : public RecorderFixture {};

TEST_F(RecorderWithoutMqttTest, RecordsAndSaysOnceThatItCannotPublish) {
    StartSim();
    WriteSettings("[MQTT]\r\nENABLED=1\r\nHOST=127.0.0.1\r\n");
    auto recorder = Start();
    ASSERT_TRUE(recorder->WaitForLine("<6>ready", 20s)) << recorder->Output();
    // A reload with the section unchanged says nothing more.
    recorder->Signal(SIGHUP);
    ASSERT_TRUE(recorder->WaitForLine("reopened the binary file", 10s)) << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(10s), 0);
    EXPECT_EQ(recorder->CountLines("<4>[MQTT] ENABLED=1 is ignored: this orvex-recorder is built "
                                   "without MQTT publishing; recording goes on"),
              1u)
        << recorder->Output();
    EXPECT_GE(Records(binaryPath), 1u);
}

TEST_F(RecorderWithoutMqttTest, RefusesPublishingAsItsOnlyTask) {
    WriteFile(dir / "orvex.ini", "[GENERAL]\r\nPORT_NR=7\r\n[MQTT]\r\nENABLED=1\r\n");
    auto recorder = Start();
    EXPECT_EQ(recorder->WaitForExit(10s), 78);
    EXPECT_TRUE(recorder->WaitForLine("<3>cannot start: ", 1s));
    EXPECT_TRUE(recorder->WaitForLine("this build cannot publish", 0ms)) << recorder->Output();
}

}  // namespace
