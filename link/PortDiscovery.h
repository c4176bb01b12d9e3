#pragma once
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Lists the COM ports present on the machine: the platform's device search finds the serial
// ports with their descriptions (Windows: the device manager's "Ports" class; Linux: a walk
// of <sys>/class/tty), a probe of the port names finds the rest. Nothing is opened.
namespace portdiscovery {

// Where the Linux search looks; the Windows search asks the system and ignores them.
struct DiscoveryRoots {
    std::filesystem::path sysRoot;      // normally /sys
    std::filesystem::path devRoot;      // normally /dev
    std::filesystem::path portsFolder;  // the ports/ folder beside orvex.ini; may be empty
};

// /sys, /dev and comport::PortsFolder().
DiscoveryRoots DefaultRoots();

struct PortSlot {
    bool present = false;
    std::string description;
};
using PortTable = std::array<PortSlot, 256>;  // index = COM number - 1

// The device search. False when it cannot run at all (then every number is probed).
bool FindPorts(PortTable& table, const DiscoveryRoots& roots);
// Marks every COM number the platform knows as present (Windows: the default configuration
// of "COMn" answers; Linux: the mapped path is a character device); with probeAll false only
// the numbers the search did not find.
void ProbePorts(PortTable& table, bool probeAll, const DiscoveryRoots& roots);

// The port list text: one "COM%u:%s\n" (or "COM%u\n" without description) line per present
// port, ascending. False only when the text cannot be allocated (text is then empty).
bool ListPorts(int& count, std::string& text, const DiscoveryRoots& roots = DefaultRoots());
// The text of ListPorts for a filled table; count is the number of lines.
std::string PortListText(const PortTable& table, int& count);

// n for a device's port name "COMn" with 0 < n < size and nothing after the digits, else 0.
int PortNumberFromName(std::string_view name, int size);
// "Communications Port (COM1)" -> "Communications Port"; the tail must end the text.
std::string CutComTail(std::string_view description);
// One line of the port list text as the port dialog shows it: "COM3:USB" -> "COM3 (USB)"
// (only the first colon separates); a line without a colon stays as it is.
std::string EntryForLine(std::string_view line);
// Every non-empty, line-feed-terminated line of text through EntryForLine, in order.
std::vector<std::string> EntriesFromText(std::string_view text);

}  // namespace portdiscovery
