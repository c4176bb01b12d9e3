// orvex-recorder: records the concentrator's readings as the window does, without a screen.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "OrvexVersion.h"
#include "store/SettingsFolder.h"
#include "os/ConsoleTool.h"
#include "os/Environment.h"
#include "os/PathText.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderLoop.h"
#include "recorder/ServiceHost.h"

namespace {

constexpr const char* kUsage =
    "usage: orvex-recorder [--config DIR] [--address N] [--verbose]\n"
    "Records the readings of an ORVEX concentrator to the files set in orvex.ini.\n"
    "  --config DIR  the folder of orvex.ini (default: the window's settings folder)\n"
    "  --address N   the concentrator's Modbus address, 1-247 (default 1)\n"
    "  --verbose     also trace every frame on the serial line\n";

void Usage(std::FILE* to) {
    std::fputs(kUsage, to);
    std::fputs(CRecorderLoop::SignalsHelp(), to);
    std::fputs(ServiceHelp(), to);
}

// A whole decimal number within [low, high], or nothing.
bool ParseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = ToolArguments(argc, argv);
    std::filesystem::path folder;
    int address = 1;
    ServiceOptions service;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valueFollows = i + 1 < args.size();
        if (arg == "--config" && valueFollows) {
            folder = PathFromUtf8(args[++i]);
        } else if (arg == "--address" && valueFollows) {
            long value = 0;
            if (!ParseNumber(args[++i], 1, 247, value)) {
                std::fputs("orvex-recorder: --address takes 1 to 247\n", stderr);
                return 2;
            }
            address = static_cast<int>(value);
            service.passOn.insert(service.passOn.end(), {arg, args[i]});
        } else if (arg == "--reload" && valueFollows) {
            long pid = 0;
            if (!ParseNumber(args[++i], 1, 0x7FFFFFFF, pid)) {
                std::fputs("orvex-recorder: --reload takes a process id\n", stderr);
                return 2;
            }
            const std::string problem =
                CRecorderLoop::RequestReload(static_cast<unsigned long>(pid));
            if (!problem.empty()) {
                std::fprintf(stderr, "orvex-recorder: %s\n", problem.c_str());
                return 1;
            }
            return 0;
        } else if (arg == "--verbose") {
            // The link's trace reads its switch once, at its first use.
            SetEnvironmentValue("ORVEX_TRACE", "1");
            service.passOn.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("orvex-recorder %s\n", kOrvexVersion);
            return 0;
        } else if (std::string problem; !ParseServiceOption(args, i, service, problem)) {
            if (!problem.empty()) {
                std::fprintf(stderr, "orvex-recorder: %s\n", problem.c_str());
                return 2;
            }
            Usage(stderr);
            return 2;
        }
    }
    if (!service.name.empty() && service.action == ServiceOptions::Action::None) {
        std::fputs("orvex-recorder: --name goes with --install or --uninstall\n", stderr);
        return 2;
    }
    if (service.action == ServiceOptions::Action::Install ||
        service.action == ServiceOptions::Action::Uninstall) {
        return RunServiceCommand(service, folder);
    }
    CRecorderLoop::PrepareProcess();
    const auto record = [address](const std::filesystem::path& settingsFolder) {
        CRecorder recorder(settingsFolder.empty() ? ResolveSettingsFolder() : settingsFolder,
                           address);
        return recorder.Run();
    };
    const int status = service.action == ServiceOptions::Action::Run
                           ? RunAsService(service, folder, record)
                           : record(folder);
    CRecorderLoop::ProcessDone();
    return status;
}
