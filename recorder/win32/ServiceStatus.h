#pragma once
#include <windows.h>

#include <string>

// The state this process reports to the service manager, when it runs as a service. Process-wide
// as the control handler is; every function is safe from any thread and does nothing in a
// console process.
namespace servicestatus {

// Once, from ServiceMain: from here on this process is a service; reports START_PENDING.
void Begin(SERVICE_STATUS_HANDLE handle, const std::wstring& serviceName);
bool InService();
// The service's name, for the Event Log lines of a named instance.
std::wstring ServiceName();

void Running();  // ignored once stopping
void StopPending();
// The recorder's exit status: 0 a clean stop, any other a service-specific failure.
void Stopped(int exitStatus);

}  // namespace servicestatus
