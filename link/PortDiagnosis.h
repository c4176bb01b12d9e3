#pragma once
#include <filesystem>
#include <string>

#include "link/ComPortMap.h"

// Why COM portNumber cannot be opened, in Polish, for the informative text under
// "Nie można otworzyć portu COM%d". openError is the platform's error code of the failed open
// when known (CSerialPort::LastOpenError: errno, or GetLastError on Windows); with 0 the
// device is examined without opening it. The folders matter on Linux only.
std::string DescribeOpenFailure(int portNumber, int openError = 0,
                                const std::filesystem::path& portsFolder = comport::PortsFolder(),
                                const std::filesystem::path& devRoot = "/dev");

// The system's own text (English on Linux, the system language on Windows) for such an
// error code, for logs.
std::string OpenErrorText(int openError);
