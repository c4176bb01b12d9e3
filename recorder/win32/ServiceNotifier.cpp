#include "recorder/ServiceNotifier.h"

#include "recorder/win32/ServiceStatus.h"

// A console recorder has no manager to tell; a service tells the service manager its state. The
// manager has no watchdog and no status text: those points report nothing (WatchdogPeriod stays
// zero), and a reload keeps the state RUNNING.
CServiceNotifier::CServiceNotifier() = default;

void CServiceNotifier::Send(const std::string&) {}

void CServiceNotifier::Ready(const std::string& status) {
    lastStatus = status;
    servicestatus::Running();
}

void CServiceNotifier::Reloading() {}

void CServiceNotifier::Stopping() {
    servicestatus::StopPending();
}

void CServiceNotifier::WatchdogPing() {}

void CServiceNotifier::Status(const std::string& status) {
    lastStatus = status;
}
