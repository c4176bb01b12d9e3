// orvex-sim: a simulated ORVEX concentrator answering Modbus RTU on a pseudo-terminal.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "OrvexVersion.h"
#include "sim/SimDevice.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"
#include "sim/SimServer.h"

namespace fs = std::filesystem;

namespace {

bool LoadConfig(CSimDevice& device, const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        std::cerr << "orvex-sim: cannot read " << path << '\n';
        return false;
    }
    std::string line, error;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!device.Apply(line, error)) {
            std::cerr << "orvex-sim: " << path << ':' << number << ": " << error << '\n';
            return false;
        }
    }
    return true;
}

// Places link -> target, replacing an older link of that name.
bool PlaceLink(const fs::path& link, const std::string& target) {
    std::error_code ec;
    if (link.has_parent_path())
        fs::create_directories(link.parent_path(), ec);
    if (fs::is_symlink(fs::symlink_status(link, ec)))
        fs::remove(link, ec);
    fs::create_symlink(target, link, ec);
    if (ec)
        std::cerr << "orvex-sim: cannot link " << link << ": " << ec.message() << '\n';
    return !ec;
}

void RemoveLink(const fs::path& link, const std::string& target) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == target) {
        fs::remove(link, ec);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kSimUsage;
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "orvex-sim " << kOrvexVersion << '\n';
        return 0;
    }
    const std::optional<SimCommandLine> options =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "orvex-sim: " << error << '\n' << kSimUsage;
        return 2;
    }

    CSimDevice device;
    device.SetAddress(static_cast<uint8_t>(options->address));
    device.SetFault(options->fault);
    device.SetWriteLowFirst(options->writeLowFirst);
    device.SetSlowDelay(std::chrono::milliseconds(options->slowMs));
    if (options->demo)
        device.LoadDemo();
    if (!options->config.empty() && !LoadConfig(device, options->config))
        return 2;
    if (options->drift)
        device.SetDrift(true);

    CSimPort port;
    const bool opened = options->device.empty()
                            ? port.OpenPty(error)
                            : port.OpenDevice(options->device, options->baud, error);
    if (!opened) {
        std::cerr << "orvex-sim: " << error << '\n';
        return 1;
    }
    if (!options->link.empty() && !PlaceLink(options->link, port.Path()))
        return 1;

    // The server blocks the termination signals and probes the line before the pty is announced.
    CSimServer server(device, port, *options);
    EmitLine("PTY " + port.Path());
    const int code = server.Run();
    if (!options->link.empty())
        RemoveLink(options->link, port.Path());
    return code;
}
