// Round-trip time of one Modbus read, and the idle cost of the open port, through the Windows
// serial port under wine, against the simulator: run as  run-with-sim.sh <native build>
// cmake/wine-run.sh orvex_wine_roundtrip.exe [n]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "link/ModbusDriver.h"
#include "tests/wine/WineSim.h"

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (winesim::ComNumber() == 0 || count <= 0) {
        std::fprintf(stderr, "run me through run-with-sim.sh\n");
        return 2;
    }
    CModbusDriver master;
    if (!master.OpenPort(winesim::ComNumber(), 19200, 'N')) {
        std::fprintf(stderr, "cannot open COM%d: error %d\n", winesim::ComNumber(),
                     master.LastOpenError());
        return 1;
    }
    std::vector<double> micros;
    int failures = 0;
    const auto cpuStart = winesim::ProcessCpuTime();
    for (int i = 0; i < count + 20; ++i) {
        RegisterRequest request{0, KindWord};
        const auto start = std::chrono::steady_clock::now();
        const int result = master.ReadInputRegisters(1, request);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (i < 20)
            continue;  // warm-up
        if (result != ResultOk)
            ++failures;
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    const auto cpu = winesim::ProcessCpuTime() - cpuStart;
    std::sort(micros.begin(), micros.end());
    auto at = [&](double p) { return micros[static_cast<size_t>(p * (micros.size() - 1))]; };
    std::printf(
        "%d round trips, %d failed: median %.0f us, p99 %.0f us, max %.0f us; "
        "CPU %.0f us per round trip\n",
        count, failures, at(0.5), at(0.99), micros.back(),
        static_cast<double>(cpu.count()) / count);
    // What the open port costs while nothing arrives (its event wait stays pending).
    const auto idleStart = winesim::ProcessCpuTime();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("CPU time of the open idle port over 5 s: %.1f ms\n",
                static_cast<double>((winesim::ProcessCpuTime() - idleStart).count()) / 1000.0);
    return failures == 0 ? 0 : 1;
}
