#pragma once
#include <sys/resource.h>

#include <chrono>

// Processor time this process has used (user and system): what a test that must not busy-wait
// measures, as wall time is at the mercy of other programs on a shared machine.
inline std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto micros = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}
