// One polling cycle of eight mixed sensors against orvex-sim at wire speed, compared with
// the time the frames need on a 9600 bit/s line plus the pause between cycles.
// Usage: orvex_cycle_bench [cycles] [fault mode of orvex-sim, e.g. noise or echo]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "device/OrvexDriver.h"
#include "link/ComPortMap.h"
#include "tests/support/SimProcess.h"

namespace {

constexpr int kCom = 7;
constexpr double kBaud = 9600.0;
constexpr double kBitsPerByte = 10.0;  // start, 8 data, stop
constexpr double kPauseSeconds = 1.0;
const std::string kIdentification = "REQ 4 0 1";

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int CountIdentifications(const std::vector<std::string>& log) {
    int n = 0;
    for (const std::string& line : log) {
        n += line == kIdentification ? 1 : 0;
    }
    return n;
}

constexpr int kRequestBytes = 8;

// Reply bytes of one logged request "REQ <fn> <reg> <qty-or-value>".
int ReplyBytes(const std::string& line) {
    std::istringstream in(line.substr(4));
    int function = 0, reg = 0, third = 0;
    in >> function >> reg >> third;
    return function == 6 ? 8 : 5 + 2 * third;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string fault = argc > 2 ? argv[2] : "";
    std::string pattern = std::filesystem::temp_directory_path() / "orvex-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    comport::SetPortsFolder(folder);
    {
        std::vector<std::string> simArgs{"--demo", "--wire-speed", "--baud", "9600", "--log"};
        if (!fault.empty()) {
            simArgs.insert(simArgs.end(), {"--fault", fault});
        }
        SimProcess sim(SimOptions{"", simArgs});
        sim.LinkAs(folder, kCom);
        COrvexDriver driver;
        // No parity, so that a byte is the 10 bits the limit counts.
        if (!driver.Start(kCom, 9600, 1, 'N')) {
            std::fprintf(stderr, "cannot open the simulated port\n");
            return 1;
        }
        const auto timeout = std::chrono::seconds(30);
        auto reached = [&](int identifications) {
            return sim.WaitForLog(
                [&](const auto& log) { return CountIdentifications(log) >= identifications; },
                timeout);
        };
        // Measure from the start of the second cycle on: the first one pays for opening.
        if (!reached(2)) {
            std::fprintf(stderr, "the device did not answer\n");
            return 1;
        }
        const auto wall0 = std::chrono::steady_clock::now();
        const double cpu0 = ProcessCpuSeconds();
        if (!reached(2 + cycles)) {
            std::fprintf(stderr, "polling stalled\n");
            return 1;
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count() /
            cycles;
        const double cpu = (ProcessCpuSeconds() - cpu0) / cycles;
        driver.Stop();

        // The requests of the second cycle, from its identification to the next one.
        std::vector<std::string> cycle;
        int seen = 0;
        for (const std::string& line : sim.Log()) {
            if (line.rfind("REQ ", 0) != 0) {
                continue;
            }
            seen += line == kIdentification ? 1 : 0;
            if (seen == 2) {
                cycle.push_back(line);
            }
        }
        long replyBytes = 0;
        for (const std::string& line : cycle) {
            replyBytes += ReplyBytes(line);
        }
        const long bytes = replyBytes + kRequestBytes * static_cast<long>(cycle.size());
        const double frames = static_cast<double>(bytes) * kBitsPerByte / kBaud;
        const double limit = frames + kPauseSeconds;
        std::printf("line fault             %s\n", fault.empty() ? "none" : fault.c_str());
        std::printf("cycles measured        %d\n", cycles);
        std::printf("requests per cycle     %zu (%ld bytes on the line)\n", cycle.size(), bytes);
        std::printf("frame time per cycle   %.1f ms\n", frames * 1e3);
        std::printf("physical limit         %.1f ms (frames + %.0f ms pause)\n", limit * 1e3,
                    kPauseSeconds * 1e3);
        std::printf("cycle time             %.1f ms\n", wall * 1e3);
        std::printf("cycle time / limit     %.3f (goal <= 1.05)\n", wall / limit);
        std::printf("CPU per cycle          %.2f ms (whole process: driver, link, log reader)\n",
                    cpu * 1e3);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
