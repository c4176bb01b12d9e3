#include "os/Environment.h"

#include <cstdlib>

void SetEnvironmentValue(const char* name, const char* value) {
    setenv(name, value, 1);
}
