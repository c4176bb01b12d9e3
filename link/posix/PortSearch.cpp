#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "link/ComPortMap.h"
#include "link/PortDiscovery.h"

// Linux: a walk of /sys/class/tty plays the device manager; the probe looks at the device
// paths the COM numbers map to. Nothing is opened: opening raises the modem lines.
namespace portdiscovery {
namespace fs = std::filesystem;
namespace {

// What sysfs says about one tty name.
enum class TtyKind {
    Missing,  // no sysfs entry: nothing is known
    NotPort,  // a virtual tty (console, pty) or an entry without a device behind it
    Ghost,    // a legacy ttyS slot without a UART (type 0)
    Port,
};

struct TtyInfo {
    TtyKind kind = TtyKind::Missing;
    std::string hardware;  // USB product and maker, else the driver's name; may be empty
};

// A sysfs attribute as one line of printable text. Line breaks must not survive: they
// would split the port list text.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    for (char& c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            c = ' ';
    }
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool IsCharDevice(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool IsUnder(const fs::path& path, const fs::path& folder) {
    auto [folderEnd, pathEnd] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return folderEnd == folder.end();
}

fs::path TtyEntry(const DiscoveryRoots& roots, const std::string& name) {
    return roots.sysRoot / "class" / "tty" / name;
}

std::string UsbDescription(const fs::path& device, const fs::path& devicesRoot) {
    std::error_code ec;
    for (fs::path dir = device; IsUnder(dir, devicesRoot) && dir != devicesRoot;
         dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        std::string product = CutComTail(ReadAttribute(dir / "product"));
        std::string maker = ReadAttribute(dir / "manufacturer");
        if (product.empty())
            return maker;
        return maker.empty() ? product : product + " (" + maker + ")";
    }
    return {};
}

// The driver of the device, looking past the serial-base port and controller layer that
// newer kernels put between a UART's driver and its tty ("port" names nothing useful).
std::string DriverName(const fs::path& device, const fs::path& devicesRoot) {
    std::error_code ec;
    for (fs::path dir = device; IsUnder(dir, devicesRoot) && dir != devicesRoot;
         dir = dir.parent_path()) {
        if (fs::read_symlink(dir / "subsystem", ec).filename() == "serial-base")
            continue;
        fs::path driver = fs::read_symlink(dir / "driver", ec);
        return ec ? std::string() : driver.filename().string();
    }
    return {};
}

TtyInfo ExamineTty(const DiscoveryRoots& roots, const std::string& name) {
    std::error_code ec;
    const fs::path entry = TtyEntry(roots, name);
    if (!fs::exists(entry, ec))
        return {};
    const fs::path sys = fs::weakly_canonical(roots.sysRoot, ec);
    const fs::path real = fs::weakly_canonical(entry, ec);
    if (ec || IsUnder(real, sys / "devices" / "virtual"))
        return {TtyKind::NotPort, {}};
    const fs::path device = fs::canonical(entry / "device", ec);
    if (ec)
        return {TtyKind::NotPort, {}};
    // Only serial cores publish "type"; 0 is a slot without a UART behind it.
    if (fs::exists(entry / "type", ec) && ReadAttribute(entry / "type") == "0") {
        return {TtyKind::Ghost, {}};
    }
    std::string hardware = UsbDescription(device, sys / "devices");
    if (hardware.empty())
        hardware = DriverName(device, sys / "devices");
    return {TtyKind::Port, CutComTail(hardware)};
}

std::string Describe(const std::string& hardware, const fs::path& devicePath) {
    return hardware.empty() ? devicePath.string() : hardware + ", " + devicePath.string();
}

bool HasPortLink(const DiscoveryRoots& roots, int portNumber) {
    if (roots.portsFolder.empty())
        return false;
    std::error_code ec;
    return fs::is_symlink(roots.portsFolder / ("com" + std::to_string(portNumber)), ec);
}

// Follows a ports/comN link step by step to the device it stands for: the first path in
// the /dev root that sysfs knows as a tty (so a /dev/serial/by-id link still gets its
// adapter's description), else the end of the chain. ttyName is set in the first case.
fs::path FollowLink(const fs::path& link, const DiscoveryRoots& roots, std::string& ttyName) {
    const fs::path dev = roots.devRoot.lexically_normal();
    fs::path current = link.lexically_normal();
    std::error_code ec;
    for (int step = 0; step < 40; ++step) {
        if (current.parent_path() == dev && !current.filename().empty() &&
            fs::exists(TtyEntry(roots, current.filename().string()), ec)) {
            ttyName = current.filename().string();
            return current;
        }
        if (!fs::is_symlink(current, ec))
            return current;
        fs::path target = fs::read_symlink(current, ec);
        if (ec)
            return current;
        current =
            (target.is_absolute() ? target : current.parent_path() / target).lexically_normal();
    }
    return current;
}

}  // namespace

DiscoveryRoots DefaultRoots() {
    return {"/sys", "/dev", comport::PortsFolder()};
}

bool FindPorts(PortTable& table, const DiscoveryRoots& roots) {
    std::error_code ec;
    fs::directory_iterator it(roots.sysRoot / "class" / "tty", ec);
    if (ec)
        return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int number = comport::NumberForDeviceName(name);
        // A ports/comN link overrides the built-in name; the probe describes its target.
        if (number == 0 || HasPortLink(roots, number))
            continue;
        TtyInfo info = ExamineTty(roots, name);
        const fs::path devicePath = roots.devRoot / name;
        if (info.kind != TtyKind::Port || !IsCharDevice(devicePath))
            continue;
        table[number - 1] = {true, Describe(info.hardware, devicePath)};
    }
    return true;
}

void ProbePorts(PortTable& table, bool probeAll, const DiscoveryRoots& roots) {
    for (int number = 1; number <= comport::kMaxPort; ++number) {
        PortSlot& slot = table[number - 1];
        if (!probeAll && slot.present)
            continue;
        const fs::path path = comport::ResolvePath(number, roots.portsFolder, roots.devRoot);
        if (path.empty() || !IsCharDevice(path))
            continue;
        std::string ttyName;
        fs::path devicePath = path;
        if (HasPortLink(roots, number)) {
            devicePath = FollowLink(path, roots, ttyName);
        } else {
            ttyName = path.filename().string();
        }
        TtyInfo info = ttyName.empty() ? TtyInfo{} : ExamineTty(roots, ttyName);
        if (info.kind == TtyKind::Ghost)
            continue;
        // A built-in name that sysfs knows as something other than a port is none; a link
        // names its device on purpose (a pseudo-terminal, say) and is taken as it is.
        if (info.kind == TtyKind::NotPort && !HasPortLink(roots, number))
            continue;
        slot = {true, Describe(info.hardware, devicePath)};
    }
}

}  // namespace portdiscovery
