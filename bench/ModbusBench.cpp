// Transaction time of our Modbus master next to libmodbus's, both against the same simulated
// concentrator on a pty, and the CPU time an idle open port costs.
//   orvex_modbus_bench [transactions per master, default 4000]
#include <modbus.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "link/ComPortMap.h"
#include "link/ModbusDriver.h"
#include "tests/support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCom = 5;
constexpr int kRegister = 0;  // device identification, an input register

struct Figures {
    std::vector<double> micros;
    int failures = 0;
    void Add(Clock::duration d) {
        micros.push_back(std::chrono::duration<double, std::micro>(d).count());
    }
    double Mean() const {
        double sum = 0;
        for (double m : micros)
            sum += m;
        return micros.empty() ? 0 : sum / static_cast<double>(micros.size());
    }
    double Percentile(double p) {
        if (micros.empty())
            return 0;
        std::sort(micros.begin(), micros.end());
        return micros[static_cast<size_t>(p * static_cast<double>(micros.size() - 1))];
    }
};

void RunOurs(int count, Figures& figures) {
    CModbusDriver master;
    if (!master.OpenPort(kCom, 19200, 'N')) {
        std::fprintf(stderr, "our master: cannot open COM%d\n", kCom);
        std::exit(1);
    }
    for (int i = 0; i < count + 20; ++i) {
        RegisterRequest request{kRegister, KindWord};
        auto start = Clock::now();
        int result = master.ReadInputRegisters(1, request);
        auto elapsed = Clock::now() - start;
        if (i < 20)
            continue;  // warm-up
        if (result != ResultOk)
            ++figures.failures;
        figures.Add(elapsed);
    }
}

void RunLibmodbus(const std::string& path, int count, Figures& figures) {
    modbus_t* context = modbus_new_rtu(path.c_str(), 19200, 'N', 8, 1);
    if (context == nullptr || modbus_set_slave(context, 1) != 0 || modbus_connect(context) != 0) {
        std::fprintf(stderr, "libmodbus: cannot open %s\n", path.c_str());
        std::exit(1);
    }
    for (int i = 0; i < count + 20; ++i) {
        uint16_t value = 0;
        auto start = Clock::now();
        int read = modbus_read_input_registers(context, kRegister, 1, &value);
        auto elapsed = Clock::now() - start;
        if (i < 20)
            continue;
        if (read != 1)
            ++figures.failures;
        figures.Add(elapsed);
    }
    modbus_close(context);
    modbus_free(context);
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void Print(const char* name, Figures& figures) {
    std::printf("%-10s %6zu reads  mean %8.1f us  median %8.1f us  p99 %8.1f us  failures %d\n",
                name, figures.micros.size(), figures.Mean(), figures.Percentile(0.5),
                figures.Percentile(0.99), figures.failures);
}

// Alternating rounds of both masters against one simulator, so that the load of a shared
// machine hits both alike.
void Compare(const char* title, const SimOptions& options, int count,
             const std::filesystem::path& ports) {
    SimProcess sim(options);
    sim.LinkAs(ports, kCom);
    std::printf("%s: orvex-sim on %s, 19200 8N1, input register %d, %d reads per master\n", title,
                sim.PtyPath().c_str(), kRegister, count);
    constexpr int kRounds = 10;
    Figures ours, theirs;
    for (int round = 0; round < kRounds; ++round) {
        const int share = count / kRounds + (round < count % kRounds ? 1 : 0);
        RunOurs(share, ours);
        RunLibmodbus(sim.PtyPath(), share, theirs);
    }
    Print("orvex", ours);
    Print("libmodbus", theirs);
    std::printf("ratio orvex/libmodbus: mean %.3f, median %.3f  (goal <= 1.0)\n\n",
                ours.Mean() / theirs.Mean(), ours.Percentile(0.5) / theirs.Percentile(0.5));
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4000;
    const std::filesystem::path ports =
        std::filesystem::temp_directory_path() / ("orvex-bench-" + std::to_string(getpid()));
    comport::SetPortsFolder(ports);

    // Replies at once: the software overhead of each master alone.
    Compare("immediate replies", SimOptions{}, count, ports);
    // Replies byte by byte at the line speed, as a real device sends them.
    Compare("wire speed", SimOptions{"", {"--wire-speed", "--baud", "19200"}},
            std::max(10, count / 20), ports);

    {
        SimProcess sim;
        sim.LinkAs(ports, kCom);
        CModbusDriver idle;
        if (!idle.OpenPort(kCom, 19200, 'N'))
            return 1;
        const double before = ProcessCpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::printf("CPU time of an open idle port over 10 s: %.2f ms  (goal < 10 ms)\n",
                    ProcessCpuMs() - before);
    }
    std::filesystem::remove_all(ports);
    return 0;
}
