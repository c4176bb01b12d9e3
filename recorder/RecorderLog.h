#pragma once
#include <string_view>

// One line per event on standard error. On Linux behind the syslog priority that journald reads
// from a service's output ("<3>" error, "<4>" warning, "<6>" information); on Windows, where a
// person reads the console or a redirected file, behind the local time and "error:" or
// "warning:".
enum class LogLevel { Error = 3, Warning = 4, Info = 6 };

void LogLine(LogLevel level, std::string_view message);

// The errno's text for a log line.
std::string_view ErrorText(int error);
