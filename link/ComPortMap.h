#pragma once
#include <filesystem>
#include <string>
#include <string_view>

// COM numbers 1-256 are the program's port identity; these map them to devices. On Windows
// COM n is \\.\COMn. On Linux a symbolic link <portsFolder>/comN wins; otherwise a built-in
// rule over device families.
namespace comport {

constexpr int kMaxPort = 256;

// Built-in rule: ttyS<k> -> k+1, ttyUSB<k> -> 33+k, ttyACM<k> -> 65+k, ttyAMA<k> -> 97+k
// (k 0-31). Returns 0 for a name outside the rule.
int NumberForDeviceName(std::string_view name);

// Inverse of NumberForDeviceName: "ttyUSB0" for 33; empty when no family covers n.
std::string DeviceNameForNumber(int portNumber);

// The device path of COM portNumber: on Windows \\.\COMn; on Linux the comN link in
// portsFolder (when the folder is not empty and the link exists), else devRoot/<built-in
// name>. Empty when neither applies or the number is outside 1-256.
std::filesystem::path ResolvePath(int portNumber, const std::filesystem::path& portsFolder,
                                  const std::filesystem::path& devRoot = "/dev");

// The ports folder that CSerialPort::Open uses on Linux (beside orvex.ini); empty by default.
void SetPortsFolder(const std::filesystem::path& folder);
std::filesystem::path PortsFolder();

}  // namespace comport
