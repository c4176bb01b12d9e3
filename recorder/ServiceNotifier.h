#pragma once
#include <chrono>
#include <string>

// The service manager's notify lifecycle: systemd's on Linux (a no-op without one: NOTIFY_SOCKET
// unset); on Windows the service's state for the service manager (nothing in a console).
class CServiceNotifier {
public:
    CServiceNotifier();

    // Half the watchdog time the manager asked for, zero when it asked for none.
    std::chrono::microseconds WatchdogPeriod() const { return watchdogPeriod; }

    void Ready(const std::string& status);
    void Reloading();
    void Stopping();
    void WatchdogPing();
    // Sends STATUS= only when the text changed.
    void Status(const std::string& status);

private:
    void Send(const std::string& state);

    std::chrono::microseconds watchdogPeriod{0};
    std::string lastStatus;
};
