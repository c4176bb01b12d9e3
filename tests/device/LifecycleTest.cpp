#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/device/DriverHarness.h"

namespace {

using namespace std::chrono_literals;
using Lifecycle = DriverHarness;

// Aborts the test process when a stop never returns, instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) {
        thread = std::thread([this, limit] {
            std::unique_lock guard(mutex);
            if (!wake.wait_for(guard, limit, [this] { return done; })) {
                std::fputs("watchdog: driver did not stop\n", stderr);
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard guard(mutex);
            done = true;
        }
        wake.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread thread;
};

const char* const kOneSensor = "input 1 type=1 serial=11 valid=0x03 values=10.0,1.0\n";

bool HasLine(const std::vector<std::string>& log, const std::string& wanted) {
    for (const std::string& line : log) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

TEST_F(Lifecycle, StopRightAfterStartAndTwiceLeavesNoThread) {
    StartSim(kOneSensor);
    Watchdog watchdog(30s);

    // Never started: Stop only pauses and closes.
    COrvexDriver idle;
    idle.Stop();
    idle.Stop();

    driver = std::make_unique<COrvexDriver>();
    // A stop that may come before the thread has even begun must still end it: a thread
    // left running would make the next Start abort on a still-joinable thread.
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(driver->Start(kCom, 9600, 1, 'E'));
        driver->Stop();
    }
    driver->Stop();
    EXPECT_TRUE(sim->WaitForLog([](const auto& log) { return HasLine(log, "CLOSE"); }, 5s));

    // Still usable afterwards, and what was published survives the stop.
    ASSERT_TRUE(driver->Start(kCom, 9600, 1, 'E'));
    ASSERT_TRUE(WaitForFirstPublication());
    driver->Stop();
    driver->Stop();
    EXPECT_EQ(Info().deviceId, 23073);
    EXPECT_EQ(Reading(0).serialNumber, 11);
    EXPECT_EQ(Reading(0).values[0], 100);
}

TEST_F(Lifecycle, DestroyingARunningDriverEndsItsThreadAndClosesTheLink) {
    StartSim(kOneSensor);
    StartDriver();
    ASSERT_TRUE(WaitForFirstPublication());
    sim->ClearLog();
    {
        Watchdog watchdog(30s);
        driver.reset();
    }
    EXPECT_TRUE(sim->WaitForLog([](const auto& log) { return HasLine(log, "CLOSE"); }, 5s));
}

TEST_F(Lifecycle, StartFailsWhenThePortCannotBeOpened) {
    COrvexDriver unopened;
    // No link in the ports folder and no device family for this number.
    EXPECT_FALSE(unopened.Start(200, 9600, 1, 'E'));
    EXPECT_FALSE(unopened.IsDeviceResponding());
    unopened.Stop();
}

}  // namespace
