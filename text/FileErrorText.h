#pragma once
#include <string>

#include "os/FileErrorCodes.h"

// Open refused a path that names something other than a regular file (a pipe, a device, a
// socket). Kernel error numbers stay below 4096, so this value never means anything else.
inline constexpr int kErrorNotRegularFile = 4096;
// The folder exists but takes no new files (a virtual file system such as /proc).
inline constexpr int kErrorCannotCreateFile = 4097;
// The text and the binary recording were given one and the same file.
inline constexpr int kErrorSharedRecordingFile = 4098;
// Windows: another program holds the file open without sharing it (ERROR_SHARING_VIOLATION,
// carried as a system error).
inline constexpr int kErrorSharingViolation = kErrorSystemBase + 32;

// A short Polish reason (UTF-8) for a failed file operation (recording or settings), for the
// message boxes and the status line; error is an errno value, one of the kError values above or
// one of os/FileErrorCodes.h.
std::string DescribeFileError(int error);

// The same for a file being read (a recording opened for viewing): the file itself is what is
// missing or refused, whatever a writer would have been told about its folder.
std::string DescribeReadError(int error);
