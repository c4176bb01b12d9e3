#pragma once
#include <windows.h>

// What the service control handler asks of the recorder's loop: the same stop as Ctrl-C and the
// same reload as --reload PID. Safe from any thread once PrepareProcess has run.
void RequestServiceStop(DWORD control);  // SERVICE_CONTROL_STOP, _SHUTDOWN or _PRESHUTDOWN
void RequestServiceReload();
