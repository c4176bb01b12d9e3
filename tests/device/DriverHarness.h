#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/OrvexDriver.h"
#include "link/ComPortMap.h"
#include "tests/support/SimProcess.h"

// A driver talking through the real link to orvex-sim on a pseudo-terminal, reached as COM7.
class DriverHarness : public ::testing::Test {
protected:
    static constexpr int kCom = 7;
    // Beyond one Modbus time-out (5-6 s) plus a cycle.
    static constexpr std::chrono::milliseconds kCycleTimeout{10000};

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvex-dev-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        comport::SetPortsFolder(folder);
    }

    void TearDown() override {
        driver.reset();
        sim.reset();
        comport::SetPortsFolder({});
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    void StartSim(const std::string& config, std::vector<std::string> args = {}) {
        args.push_back("--log");
        sim = std::make_unique<SimProcess>(SimOptions{config, args});
        sim->LinkAs(folder, kCom);
    }

    void StartDriver() {
        driver = std::make_unique<COrvexDriver>();
        ASSERT_TRUE(driver->Start(kCom, 9600, 1, 'E'));
    }

    InputReading Reading(int input) {
        InputReading out;
        driver->GetReading(static_cast<uint8_t>(input), out);
        return out;
    }

    DeviceInfo Info() {
        DeviceInfo out;
        driver->GetDeviceInfo(out);
        return out;
    }

    // Polls a condition every 10 ms up to the timeout.
    static bool WaitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = kCycleTimeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The first publication carries the identification, which is all zero before.
    bool WaitForFirstPublication() {
        return WaitUntil([this] { return Info().deviceId != 0; });
    }

    // The REQ lines of the sim's log, without the "REQ " prefix.
    std::vector<std::string> Requests() {
        std::vector<std::string> out;
        for (const std::string& line : sim->Log()) {
            if (line.rfind("REQ ", 0) == 0) {
                out.push_back(line.substr(4));
            }
        }
        return out;
    }

    static int Count(const std::vector<std::string>& lines, const std::string& wanted) {
        int n = 0;
        for (const std::string& line : lines) {
            n += line == wanted ? 1 : 0;
        }
        return n;
    }

    std::filesystem::path folder;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<COrvexDriver> driver;
};
