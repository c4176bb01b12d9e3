#include <atomic>
#include <mutex>
#include <vector>

#include "tests/device/DriverHarness.h"

namespace {

using namespace std::chrono_literals;
using CycleListeners = DriverHarness;

struct Heard {
    std::mutex mutex;
    std::vector<PollingCycle> cycles;

    std::size_t Count() {
        std::lock_guard guard(mutex);
        return cycles.size();
    }
    PollingCycle Last() {
        std::lock_guard guard(mutex);
        return cycles.back();
    }
};

// Whole cycles carry the published readings; a device that stops answering is heard as a
// cycle without an answer; a removed listener hears nothing more.
TEST_F(CycleListeners, HearWholeAndUnansweredCyclesUntilRemoved) {
    StartSim("input 2 type=1 serial=21 valid=0x03 values=12.5,40.0\n");
    StartDriver();
    Heard heard;
    const int id = driver->AddCycleListener([&heard](const PollingCycle& cycle) {
        std::lock_guard guard(heard.mutex);
        heard.cycles.push_back(cycle);
    });

    ASSERT_TRUE(WaitUntil([&] { return heard.Count() > 0 && heard.Last().responding; }));
    const PollingCycle whole = heard.Last();
    EXPECT_EQ(whole.info.deviceId, kOrvexDeviceId);
    EXPECT_EQ(whole.readings[1].serialNumber, 21);
    EXPECT_EQ(whole.readings[1].values[0], 125);
    EXPECT_GT(whole.time.time_since_epoch().count(), 0);

    sim->Command("silence on");
    ASSERT_TRUE(WaitUntil([&] { return !heard.Last().responding; }, 20s));
    sim->Command("silence off");
    ASSERT_TRUE(WaitUntil([&] { return heard.Last().responding; }, 20s));

    driver->RemoveCycleListener(id);
    const std::size_t afterRemove = heard.Count();
    // A later cycle is seen through a second listener, never through the removed one.
    std::atomic<int> later{0};
    const int second = driver->AddCycleListener([&later](const PollingCycle&) { ++later; });
    ASSERT_TRUE(WaitUntil([&] { return later.load() >= 2; }));
    EXPECT_EQ(heard.Count(), afterRemove);
    driver->RemoveCycleListener(second);
}

}  // namespace
