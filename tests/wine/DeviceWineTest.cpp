// The concentrator driver's polling over the Windows serial port, against the simulator
// started with its demonstration sensors.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "device/OrvexDriver.h"
#include "tests/wine/WineSim.h"

using namespace std::chrono_literals;

namespace {

struct Heard {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<PollingCycle> cycles;

    void Add(const PollingCycle& cycle) {
        {
            std::lock_guard guard(mutex);
            cycles.push_back(cycle);
        }
        changed.notify_all();
    }
    bool WaitForResponding(size_t count, std::chrono::seconds timeout) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, timeout, [&] {
            size_t responding = 0;
            for (const PollingCycle& c : cycles)
                responding += c.responding ? 1 : 0;
            return responding >= count;
        });
    }
    PollingCycle Last() {
        std::lock_guard guard(mutex);
        return cycles.back();
    }
};

}  // namespace

TEST(WineDriver, CompletesCyclesWithTheDemoSensors) {
    ORVEX_NEED_SIM();
    COrvexDriver driver;
    Heard heard;
    driver.AddCycleListener([&heard](const PollingCycle& cycle) { heard.Add(cycle); });
    ASSERT_TRUE(driver.Start(winesim::ComNumber(), 9600, 1, 'N'));
    ASSERT_TRUE(heard.WaitForResponding(2, 30s));
    EXPECT_TRUE(driver.IsDeviceResponding());
    const PollingCycle cycle = heard.Last();
    EXPECT_EQ(cycle.info.deviceId, kOrvexDeviceId);
    EXPECT_EQ(cycle.info.serialNumber, 4711);  // the demonstration device
    EXPECT_EQ(cycle.readings[0].model, ModelTQ21);
    // Humidity and temperature of input 1 drift slowly around 45.3 % and 21.7 degrees.
    EXPECT_NEAR(cycle.readings[0].values[0], 453, 100);
    EXPECT_NEAR(cycle.readings[0].values[1], 217, 100);
    EXPECT_EQ(cycle.readings[3].model, ModelTQ24);
    EXPECT_NEAR(cycle.readings[3].values[0], 10084, 200);
    driver.Stop();
}

TEST(WineDriver, StartFailsOnAnAbsentPort) {
    COrvexDriver driver;
    EXPECT_FALSE(driver.Start(252, 9600, 1, 'N'));
    EXPECT_EQ(driver.LastOpenError(), 2);  // ERROR_FILE_NOT_FOUND
}
