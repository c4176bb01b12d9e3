#pragma once
#include <filesystem>
#include <string>

#include "link/PortDiscovery.h"

// A throw-away /sys, /dev and ports/ tree in a temporary folder. Device nodes are symbolic
// links to /dev/null, which discovery sees as character devices without being root.
class FakePortTree {
public:
    FakePortTree();
    ~FakePortTree();
    FakePortTree(const FakePortTree&) = delete;
    FakePortTree& operator=(const FakePortTree&) = delete;

    const portdiscovery::DiscoveryRoots& Roots() const { return roots; }
    std::string Dev(const std::string& name) const { return (roots.devRoot / name).string(); }

    // A file with content, its folders created.
    void Write(const std::filesystem::path& relativeToSys, const std::string& content);
    // sys/class/tty/<name> -> sys/<deviceDir>/tty/<name>, with its device link to
    // sys/<deviceDir> unless deviceDir is under devices/virtual.
    void AddTty(const std::string& name, const std::string& deviceDir);
    // sys/<deviceDir>/driver -> sys/bus/<bus>/drivers/<driver>.
    void SetDriver(const std::string& deviceDir, const std::string& bus, const std::string& driver);
    // sys/<deviceDir>/subsystem -> sys/bus/<bus>.
    void SetSubsystem(const std::string& deviceDir, const std::string& bus);
    void AddDevNode(const std::string& name);
    void LinkPort(int comNumber, const std::filesystem::path& target);

private:
    portdiscovery::DiscoveryRoots roots;
    std::filesystem::path base;
};
