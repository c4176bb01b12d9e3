#include "FakePortTree.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

FakePortTree::FakePortTree() {
    std::string pattern = (fs::temp_directory_path() / "orvex-ports-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    base = pattern;
    roots = {base / "sys", base / "dev", base / "ports"};
    fs::create_directories(roots.sysRoot / "class" / "tty");
    fs::create_directories(roots.devRoot);
    fs::create_directories(roots.portsFolder);
}

FakePortTree::~FakePortTree() {
    std::error_code ec;
    fs::remove_all(base, ec);
}

void FakePortTree::Write(const fs::path& relativeToSys, const std::string& content) {
    const fs::path file = roots.sysRoot / relativeToSys;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void FakePortTree::AddTty(const std::string& name, const std::string& deviceDir) {
    const fs::path classDir = roots.sysRoot / deviceDir / "tty" / name;
    fs::create_directories(classDir);
    if (!deviceDir.starts_with("devices/virtual")) {
        fs::create_directory_symlink(fs::path("../..") / ".." / fs::path(deviceDir).filename(),
                                     classDir / "device");
    }
    fs::create_directory_symlink(fs::path("../..") / deviceDir / "tty" / name,
                                 roots.sysRoot / "class" / "tty" / name);
}

void FakePortTree::SetDriver(const std::string& deviceDir, const std::string& bus,
                             const std::string& driver) {
    const fs::path target = roots.sysRoot / "bus" / bus / "drivers" / driver;
    fs::create_directories(target);
    fs::create_directories(roots.sysRoot / deviceDir);
    fs::create_directory_symlink(target, roots.sysRoot / deviceDir / "driver");
}

void FakePortTree::SetSubsystem(const std::string& deviceDir, const std::string& bus) {
    fs::create_directories(roots.sysRoot / "bus" / bus);
    fs::create_directory_symlink(roots.sysRoot / "bus" / bus,
                                 roots.sysRoot / deviceDir / "subsystem");
}

void FakePortTree::AddDevNode(const std::string& name) {
    fs::create_directories((roots.devRoot / name).parent_path());
    fs::create_symlink("/dev/null", roots.devRoot / name);
}

void FakePortTree::LinkPort(int comNumber, const fs::path& target) {
    fs::create_symlink(target, roots.portsFolder / ("com" + std::to_string(comNumber)));
}
