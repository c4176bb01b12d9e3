#pragma once
#include <filesystem>
#include <string>

#include "link/ComPortMap.h"

// Why COM portNumber cannot be opened, in Polish, for the informative text under
// "Nie można otworzyć portu COM%d". openError is the errno of the failed open when known
// (CSerialPort::LastOpenError); with 0 the device is examined without opening it.
std::string DescribeOpenFailure(int portNumber, int openError = 0,
                                const std::filesystem::path& portsFolder = comport::PortsFolder(),
                                const std::filesystem::path& devRoot = "/dev");
