#pragma once
#include <string>

// Open refused a path that names something other than a regular file (a pipe, a device, a
// socket). Kernel error numbers stay below 4096, so this value never means anything else.
inline constexpr int kErrorNotRegularFile = 4096;

// A short Polish reason (UTF-8) for a failed file operation (recording or settings), for the
// message boxes and the status line; error is an errno value or kErrorNotRegularFile.
std::string DescribeFileError(int error);
