#pragma once

// Sets an environment variable of this process (UTF-8 name and value), as getenv then reads it.
void SetEnvironmentValue(const char* name, const char* value);
