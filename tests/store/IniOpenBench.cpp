// Time and memory to open settings files of the largest size the store reads, in the shapes
// that cost the most: one child process per shape, so that each peak is its own.
//   orvex_ini_open_bench [folder]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "store/IniEx.h"
#include "tests/store/AllocationCounter.h"

namespace fs = std::filesystem;

namespace {

std::string Fill(std::string_view head, std::string_view unit) {
    std::string text(head);
    while (text.size() + unit.size() <= CIniEx::kMaxFileSize) {
        text += unit;
    }
    return text;
}

// What the program does with the store at start and exit: one read and one write of each key
// ("keys ms"; wall time).
void ReadAndWriteEveryKey(CIniEx& ini) {
    const char* inputKeys[] = {"BACKGROUND_INPUT", "TEXT_INPUT",        "FONT_HEIGHT_INPUT",
                               "FONT_NAME_INPUT",  "FONT_ITALIC_INPUT", "FONT_WEIGHT_INPUT"};
    const char* logKeys[] = {"FILE_NAME",         "FILE_NAME_BIN",   "FILE_LOG",
                             "FILE_LOG_BIN",      "FILE_SEP_FORMAT", "FILE_INTERVAL",
                             "FILE_CHECK_COMMENT"};
    const char* generalKeys[] = {"PORT_NR",      "PORT_SPEED",    "PORT_PARITY",
                                 "WINDOW_TOP",   "WINDOW_BOTTOM", "WINDOW_LEFT",
                                 "WINDOW_RIGHT", "TOPMOST",       "SHOW_ADV"};
    for (int pass = 0; pass < 2; ++pass) {
        for (int n = 0; n < 8; ++n) {
            const std::string section = "INPUT" + std::to_string(n);
            for (const char* key : inputKeys) {
                pass == 0 ? (void)ini.GetInt(section, key, 1) : (void)ini.SetInt(section, key, 1);
            }
            const std::string key = "FILE_INPUT" + std::to_string(n);
            pass == 0 ? (void)ini.GetInt("LOG", key, 1) : (void)ini.SetInt("LOG", key, 1);
        }
        for (const char* key : logKeys) {
            pass == 0 ? (void)ini.GetInt("LOG", key, 1) : (void)ini.SetInt("LOG", key, 1);
        }
        for (const char* key : generalKeys) {
            pass == 0 ? (void)ini.GetInt("GENERAL", key, 1) : (void)ini.SetInt("GENERAL", key, 1);
        }
    }
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time of this process (user and system), in ms: wall time is at the mercy of other
// programs on a shared machine.
double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path path = folder / ("orvex-bench-" + std::to_string(::getpid()) + ".ini");
    const std::pair<const char*, std::string> shapes[] = {
        {"empty LF lines", Fill("", "\n")},
        {"empty CR LF lines", Fill("", "\r\n")},
        {"short keys k=v", Fill("", "k=v\r\n")},
        {"empty lines in GENERAL", Fill("[GENERAL]\n", "\n")},
        {"headers []", Fill("", "[]\n")},
    };
    std::printf("%-24s %9s %9s %9s %10s %11s %8s\n", "16 MiB file of", "lines", "open ms",
                "open CPU", "alloc B/B", "max RSS MB", "keys ms");
    for (const auto& [name, text] : shapes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            return 1;
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeFds[0]);
            const std::size_t base = allocation::HeldBytes();
            allocation::ResetPeak();
            CIniEx ini(4);
            const double cpuStart = CpuMs();
            const auto start = std::chrono::steady_clock::now();
            const bool opened = ini.Open(path, false, false, true);
            const auto opened_at = std::chrono::steady_clock::now();
            const double cpuOpen = CpuMs() - cpuStart;
            ReadAndWriteEveryKey(ini);
            const auto done = std::chrono::steady_clock::now();
            char line[128];
            const int n = std::snprintf(
                line, sizeof line, "%d %.1f %.1f %.1f %.1f", opened ? 1 : 0, Ms(opened_at - start),
                cpuOpen, static_cast<double>(allocation::PeakBytes() - base) / CIniEx::kMaxFileSize,
                Ms(done - opened_at));
            (void)!::write(pipeFds[1], line, static_cast<std::size_t>(n));
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        char buffer[128] = {};
        (void)!::read(pipeFds[0], buffer, sizeof buffer - 1);
        ::close(pipeFds[0]);
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        int opened = 0;
        double openMs = 0, cpuMs = 0, perByte = 0, keysMs = 0;
        std::sscanf(buffer, "%d %lf %lf %lf %lf", &opened, &openMs, &cpuMs, &perByte, &keysMs);
        std::size_t lines = 0;
        for (char c : text) {
            lines += c == '\n';
        }
        std::printf("%-24s %9zu %9.0f %9.0f %10.1f %11.0f %8.0f%s\n", name, lines, openMs, cpuMs,
                    perByte, static_cast<double>(usage.ru_maxrss) / 1024.0, keysMs,
                    opened ? "" : "  (not opened)");
    }
    fs::remove(path);
    return 0;
}
