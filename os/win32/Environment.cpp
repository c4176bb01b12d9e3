#include "os/Environment.h"

#include <cstdlib>

void SetEnvironmentValue(const char* name, const char* value) {
    // The C runtime's copy, which getenv reads, and the process's own.
    _putenv_s(name, value);
}
