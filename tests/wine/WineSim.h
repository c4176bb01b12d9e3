#pragma once
#include <chrono>
#include <string>
#include <vector>

// What tests/wine/run-with-sim.sh tells a Windows test program about the simulated
// concentrator it started (see that script), and a few Windows facilities the tests measure.
namespace winesim {

// COM number of the simulator's port; 0 when the program was not started by the runner.
int ComNumber();
// A Unix path from the runner's environment as a wine path (Z:\...); empty when unset.
std::wstring WinePath(const char* variable);
// The whole of a file named in the runner's environment (empty when it cannot be read).
std::string ReadFileOf(const char* variable);
// Lines of the simulator's output that start with prefix ("REQ 4 ", "OPEN"...).
std::vector<std::string> SimLines(const std::string& prefix);
// Ends the simulator: closes its input, as a vanished device does to the line.
bool EndSimulator();

// Processor time (user and system) this process has used.
std::chrono::microseconds ProcessCpuTime();
// Threads of this process.
int ThreadCount();

}  // namespace winesim

// Skips a test that needs the runner when it is not there.
#define ORVEX_NEED_SIM()                                                          \
    do {                                                                          \
        if (winesim::ComNumber() == 0)                                            \
            GTEST_SKIP() << "not started by run-with-sim.sh (no ORVEX_TEST_COM)"; \
    } while (0)
