#pragma once
#include <string>
#include <string_view>

// One line per event on standard error. On Linux behind the syslog priority that journald reads
// from a service's output ("<3>" error, "<4>" warning, "<6>" information); on Windows, where a
// person reads the console or a redirected file, behind the local time and "error:" or
// "warning:".
enum class LogLevel { Error = 3, Warning = 4, Info = 6 };

void LogLine(LogLevel level, std::string_view message);

// The text of a file error (an errno value, or a system code the file units carry beyond them)
// for a log line.
std::string ErrorText(int error);
// The system's own text for an errno value (or, on Windows, a carried system code).
std::string SystemErrorText(int error);
