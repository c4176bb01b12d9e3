#pragma once
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Lists the COM ports present on the machine. A walk of <sys>/class/tty finds the serial
// devices with their descriptions; a probe of the mapped device paths (ports/comN links
// included) finds the rest. Nothing is opened while listing.
namespace portdiscovery {

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

// The sysfs walk. False when <sys>/class/tty cannot be read at all.
bool FindPortsInSysfs(PortTable& table, const DiscoveryRoots& roots);
// Every COM number whose mapped path is a character device; with probeAll false only the
// numbers the walk did not find.
void ProbePorts(PortTable& table, bool probeAll, const DiscoveryRoots& roots);

// The port list text: one "COM%u:%s\n" (or "COM%u\n" without description) line per present
// port, ascending. False only when the text cannot be allocated (text is then empty).
bool ListPorts(int& count, std::string& text, const DiscoveryRoots& roots = DefaultRoots());

// "Communications Port (COM1)" -> "Communications Port"; the tail must end the text.
std::string CutComTail(std::string_view description);
// One line of the port list text as the port dialog shows it: "COM3:USB" -> "COM3 (USB)"
// (only the first colon separates); a line without a colon stays as it is.
std::string EntryForLine(std::string_view line);
// Every non-empty, line-feed-terminated line of text through EntryForLine, in order.
std::vector<std::string> EntriesFromText(std::string_view text);

}  // namespace portdiscovery
