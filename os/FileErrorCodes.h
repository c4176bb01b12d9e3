#pragma once

// File error numbers beyond errno's, for reasons some platform's C library has no number for.
// errno values stay below 4096; text/FileErrorText.h holds the program's own from 4096 up.
inline constexpr int kErrorDiskQuota = 4099;    // the user's disk quota is used up
inline constexpr int kErrorInvalidName = 4100;  // the path holds characters names may not have
// An operating system error code with no errno counterpart, carried as this base + the code.
inline constexpr int kErrorSystemBase = 0x10000;

// Whether an error number says the disk quota is used up: EDQUOT where the C library has it.
bool IsDiskQuotaError(int error);
