#pragma once
#include <string>

// A Windows error code (GetLastError) as the errno value that names the same reason, so that
// the program's file-error texts serve both platforms; a code with no such counterpart comes back
// as kErrorSystemBase + code.
int FileErrorFromWin32(unsigned long code);
// The same for the calling thread's last error.
int LastFileError();
