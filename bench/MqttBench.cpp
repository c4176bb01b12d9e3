// Publishing cost and speed against a real mosquitto on loopback, side by side with
// mosquitto_pub sending the same messages:
//   latency    from the end of a cycle (OnCycle) to the subscriber's receipt of the cycle's
//              last message (median, p99);
//   cpu        process CPU per published cycle (the subscriber is a separate mosquitto_sub);
//   backlog    a day of cycles queued while the broker is away, then delivered.
// Usage: orvex_mqtt_bench [latency-cycles=300] [backlog-cycles=86400]
#include <mosquitto.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publish/MqttPayload.h"
#include "publish/MqttPublisher.h"
#include "tests/publish/Broker.h"

namespace fs = std::filesystem;
using namespace std::chrono;
using Clock = steady_clock;

namespace {

PollingCycle Cycle(int n) {
    PollingCycle c;
    c.time = system_clock::now();
    c.responding = true;
    c.info.status = 0;
    c.info.serialNumber = 2101;
    for (int i = 0; i < 8; ++i) {
        InputReading& r = c.readings[i];
        r.model = ModelTQ21;
        r.serialNumber = static_cast<uint16_t>(100 + i);
        r.values[0] = static_cast<int16_t>(n % 30000);
        r.values[1] = 217;
    }
    return c;
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Receipt times of input8 messages, keyed by the humidity value that carries the cycle number.
struct Receiver {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Clock::time_point> received;
    std::size_t count = 0;

    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
        auto* r = static_cast<Receiver*>(self);
        const auto now = Clock::now();
        const std::string payload(static_cast<const char*>(m->payload),
                                  static_cast<std::size_t>(m->payloadlen));
        static const std::string key = "\"humidity\": {\"value\": ";
        const auto at = payload.find(key);
        if (at == std::string::npos) {
            return;
        }
        const int n = static_cast<int>(std::atof(payload.c_str() + at + key.size()) * 10 + 0.5);
        std::lock_guard guard(r->mutex);
        if (n >= 0 && static_cast<std::size_t>(n) < r->received.size()) {
            r->received[n] = now;
            ++r->count;
            r->changed.notify_all();
        }
    }
    bool WaitCount(std::size_t n, int seconds) {
        std::unique_lock guard(mutex);
        return changed.wait_for(guard, std::chrono::seconds(seconds), [&] { return count >= n; });
    }
};

struct Stats {
    double median = 0, p99 = 0;
};

Stats Percentiles(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        return {};
    }
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

mosquitto* Subscribe(int port, Receiver& r, const char* topic) {
    mosquitto* m = mosquitto_new(nullptr, true, &r);
    mosquitto_message_callback_set(m, &Receiver::OnMessage);
    mosquitto_connect(m, "127.0.0.1", port, 30);
    mosquitto_subscribe(m, nullptr, topic, 1);
    mosquitto_loop_start(m);
    std::this_thread::sleep_for(milliseconds(200));  // the SUBACK
    return m;
}

void Unsubscribe(mosquitto* m) {
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);  // the disconnect ends its loop
    mosquitto_destroy(m);
}

MqttPublisher::Options Options(const fs::path& folder, int port) {
    MqttPublisher::Options o;
    o.settings.enabled = true;
    o.settings.host = "127.0.0.1";
    o.settings.port = port;
    o.settingsFolder = folder;
    o.minBackoff = milliseconds(200);
    o.maxBackoff = milliseconds(200);
    return o;
}

// The cycle's eight payloads, as lines for mosquitto_pub -l (one topic: it takes only one).
std::string CycleLines(int n) {
    const PollingCycle c = Cycle(n);
    std::string lines;
    const std::string iso = IsoTime(c.time, LocalUtcOffset(c.time));
    for (int i = 0; i < 8; ++i) {
        lines += InputPayload(DescribeInput(c.readings[i]), iso) + "\n";
    }
    return lines;
}

FILE* StartMosquittoPub(int port, const char* topic) {
    const std::string cmd =
        "mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port) + " -q 1 -l -t " + topic;
    return popen(cmd.c_str(), "w");
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int latencyCycles = argc > 1 ? std::atoi(argv[1]) : 300;
    const int backlogCycles = argc > 2 ? std::atoi(argv[2]) : 86400;
    const fs::path dir =
        fs::temp_directory_path() / ("orvex-mqtt-bench-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "settings");
    mosquitto_lib_init();
    Broker broker(dir / "broker", {});
    if (!broker.Start()) {
        std::fprintf(stderr, "mosquitto did not start\n");
        return 1;
    }
    const int port = broker.Port();

    // --- latency: orvex publisher ---
    {
        Receiver r;
        r.received.resize(latencyCycles);
        mosquitto* sub = Subscribe(port, r, "orvex/2101/input8");
        MqttPublisher pub(Options(dir / "settings", port));
        pub.Start();
        std::vector<Clock::time_point> sent(latencyCycles);
        for (int n = 0; n < latencyCycles; ++n) {
            const PollingCycle c = Cycle(n);
            sent[n] = Clock::now();
            pub.OnCycle(c);
            std::this_thread::sleep_for(milliseconds(10));
        }
        r.WaitCount(latencyCycles, 30);
        std::vector<double> ms;
        for (int n = 1; n < latencyCycles; ++n) {  // the first includes the connect
            if (r.received[n] != Clock::time_point{}) {
                ms.push_back(duration<double, std::milli>(r.received[n] - sent[n]).count());
            }
        }
        const Stats s = Percentiles(ms);
        std::printf("latency orvex:         median %.3f ms, p99 %.3f ms (%zu cycles)\n", s.median,
                    s.p99, ms.size());
        pub.Stop();
        Unsubscribe(sub);
    }
    // --- latency: mosquitto_pub -l, the same eight payloads per cycle ---
    {
        Receiver r;
        r.received.resize(latencyCycles);
        mosquitto* sub = Subscribe(port, r, "bench/lines");
        FILE* pub = StartMosquittoPub(port, "bench/lines");
        std::this_thread::sleep_for(milliseconds(300));  // its connect
        std::vector<Clock::time_point> sent(latencyCycles);
        for (int n = 0; n < latencyCycles; ++n) {
            const std::string lines = CycleLines(n);
            sent[n] = Clock::now();
            std::fputs(lines.c_str(), pub);
            std::fflush(pub);
            std::this_thread::sleep_for(milliseconds(10));
        }
        // Eight messages a cycle on one topic: the last of each cycle closes it.
        r.WaitCount(static_cast<std::size_t>(latencyCycles) * 8, 30);
        pclose(pub);
        std::vector<double> ms;
        for (int n = 1; n < latencyCycles; ++n) {
            if (r.received[n] != Clock::time_point{}) {
                ms.push_back(duration<double, std::milli>(r.received[n] - sent[n]).count());
            }
        }
        const Stats s = Percentiles(ms);
        std::printf("latency mosquitto_pub: median %.3f ms, p99 %.3f ms (%zu cycles)\n", s.median,
                    s.p99, ms.size());
        Unsubscribe(sub);
    }

    // --- CPU per live cycle, the subscriber in another process ---
    {
        constexpr int kLive = 2000;
        const std::string subCmd = "mosquitto_sub -h 127.0.0.1 -p " + std::to_string(port) +
                                   " -q 1 -t 'orvex/2101/#' -t bench/live -C " +
                                   std::to_string(kLive * 8) + " > /dev/null";
        FILE* sub = popen(subCmd.c_str(), "r");
        std::this_thread::sleep_for(milliseconds(300));
        MqttPublisher pub(Options(dir / "settings", port));
        pub.Start();
        std::this_thread::sleep_for(milliseconds(300));
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        for (int n = 0; n < kLive; ++n) {
            pub.OnCycle(Cycle(n));
            std::this_thread::sleep_for(milliseconds(2));
        }
        pclose(sub);
        std::printf("cpu orvex:             %.1f us a live cycle (8 messages, QoS 1)\n",
                    (CpuSeconds(RUSAGE_SELF) - cpu0) * 1e6 / kLive);
        pub.Stop();
    }

    // --- CPU per cycle and a day's backlog: orvex ---
    {
        const int quiet = FreePort();
        MqttPublisher::Options o = Options(dir / "backlog", quiet);
        fs::create_directories(o.settingsFolder);
        o.queueCapacity = static_cast<std::uint64_t>(backlogCycles);
        {
            MqttPublisher pub(o);
            pub.Start();
            const double cpu0 = CpuSeconds(RUSAGE_SELF);
            const auto t0 = Clock::now();
            for (int n = 0; n < backlogCycles; ++n) {
                pub.OnCycle(Cycle(n));
                if (n % 1000 == 999) {
                    while (pub.GetStats().queued + 2000 < static_cast<std::uint64_t>(n)) {
                        std::this_thread::sleep_for(milliseconds(1));
                    }
                }
            }
            while (pub.GetStats().queued < static_cast<std::uint64_t>(backlogCycles)) {
                std::this_thread::sleep_for(milliseconds(5));
            }
            std::printf(
                "queueing %d cycles on disk: %.2f s, %.1f us CPU a cycle, file %.1f MB\n",
                backlogCycles, duration<double>(Clock::now() - t0).count(),
                (CpuSeconds(RUSAGE_SELF) - cpu0) * 1e6 / backlogCycles,
                static_cast<double>(fs::file_size(o.settingsFolder / MqttPublisher::kQueueFile)) /
                    1e6);
        }
        Broker::Config bc;
        bc.port = quiet;
        Broker late(dir / "late", bc);
        late.Start();
        const std::string subCmd =
            "mosquitto_sub -h 127.0.0.1 -p " + std::to_string(quiet) + " -q 1 -t 'orvex/#' -C " +
            std::to_string(static_cast<long>(backlogCycles) * 8) + " > /dev/null";
        FILE* sub = popen(subCmd.c_str(), "r");
        std::this_thread::sleep_for(milliseconds(300));
        MqttPublisher pub(o);
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const auto t0 = Clock::now();
        pub.Start();
        pub.OnCycle(Cycle(backlogCycles));  // the first cycle after the restart names the device
        pclose(sub);                        // returns once every message has arrived
        const double wall = duration<double>(Clock::now() - t0).count();
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
        std::printf(
            "backlog orvex:         %d cycles (%ld messages) in %.2f s, %.1f us CPU a "
            "cycle\n",
            backlogCycles, static_cast<long>(backlogCycles) * 8, wall, cpu * 1e6 / backlogCycles);
        pub.Stop();
    }
    // --- the same backlog through mosquitto_pub -l ---
    {
        const std::string file = (dir / "lines.txt").string();
        {
            FILE* f = std::fopen(file.c_str(), "w");
            for (int n = 0; n < backlogCycles; ++n) {
                std::fputs(CycleLines(n).c_str(), f);
            }
            std::fclose(f);
        }
        const std::string count = (dir / "count.txt").string();
        // mosquitto_pub may end before every message is through: count what arrives in 60 s.
        const std::string subCmd = "mosquitto_sub -h 127.0.0.1 -p " + std::to_string(port) +
                                   " -q 1 -t bench/backlog -W 60 -C " +
                                   std::to_string(static_cast<long>(backlogCycles) * 8) +
                                   " | wc -l > " + count;
        FILE* sub = popen(subCmd.c_str(), "r");
        std::this_thread::sleep_for(milliseconds(300));
        const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        const auto t0 = Clock::now();
        const std::string pubCmd = "mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port) +
                                   " -q 1 -l -t bench/backlog < " + file;
        const int rc = std::system(pubCmd.c_str());
        const double cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;  // mosquitto_pub and its sh
        const double wall = duration<double>(Clock::now() - t0).count();
        pclose(sub);
        long arrived = 0;
        if (FILE* f = std::fopen(count.c_str(), "r")) {
            if (std::fscanf(f, "%ld", &arrived) != 1) {
                arrived = 0;
            }
            std::fclose(f);
        }
        std::printf(
            "backlog mosquitto_pub: %d cycles (%ld messages) sent in %.2f s (to its "
            "exit), %.1f us CPU a cycle, exit %d; %ld messages arrived\n",
            backlogCycles, static_cast<long>(backlogCycles) * 8, wall, cpu * 1e6 / backlogCycles,
            rc, arrived);
    }
    std::printf("bytes a cycle: %zu payload bytes in 8 messages\n", CycleLines(1).size() - 8);
    broker.Kill();
    fs::remove_all(dir);
    return 0;
}
