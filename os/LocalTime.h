#pragma once
#include <ctime>

// The broken-down local time of a moment, thread-safe on every platform.
std::tm LocalTimeOf(std::time_t when);
