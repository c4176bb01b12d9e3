#include "recorder/ServiceNotifier.h"

// Windows has no notify protocol for a console program: a service manager or wrapper watches the
// process itself. Nothing to tell, and no watchdog asked for (WatchdogPeriod stays zero).
CServiceNotifier::CServiceNotifier() = default;

void CServiceNotifier::Send(const std::string&) {}

void CServiceNotifier::Ready(const std::string& status) {
    lastStatus = status;
}

void CServiceNotifier::Reloading() {}

void CServiceNotifier::Stopping() {}

void CServiceNotifier::WatchdogPing() {}

void CServiceNotifier::Status(const std::string& status) {
    lastStatus = status;
}
