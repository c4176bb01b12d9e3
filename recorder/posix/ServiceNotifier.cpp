#include "recorder/ServiceNotifier.h"

#include <systemd/sd-daemon.h>
#include <time.h>

CServiceNotifier::CServiceNotifier() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdogPeriod = std::chrono::microseconds(usec / 2);
    }
}

void CServiceNotifier::Send(const std::string& state) {
    sd_notify(0, state.c_str());
}

void CServiceNotifier::Ready(const std::string& status) {
    lastStatus = status;
    Send("READY=1\nSTATUS=" + status);
}

void CServiceNotifier::Reloading() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long usec = now.tv_sec * 1000000LL + now.tv_nsec / 1000;
    Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec));
}

void CServiceNotifier::Stopping() {
    Send("STOPPING=1");
}

void CServiceNotifier::WatchdogPing() {
    Send("WATCHDOG=1");
}

void CServiceNotifier::Status(const std::string& status) {
    if (status != lastStatus) {
        lastStatus = status;
        Send("STATUS=" + status);
    }
}
