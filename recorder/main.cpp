// orvex-recorder: records the concentrator's readings as the window does, without a screen.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OrvexVersion.h"
#include "app/store/SettingsFolder.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderLog.h"

namespace {

constexpr const char* kUsage =
    "usage: orvex-recorder [--config DIR] [--address N] [--verbose]\n"
    "Records the readings of an ORVEX concentrator to the files set in orvex.ini.\n"
    "  --config DIR  the folder of orvex.ini (default: the window's settings folder)\n"
    "  --address N   the concentrator's Modbus address, 1-247 (default 1)\n"
    "  --verbose     also trace every frame on the serial line\n"
    "Signals: SIGTERM or SIGINT stop it; SIGHUP reopens the files and rereads orvex.ini.\n";

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder;
    int address = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--config" && i + 1 < argc) {
            folder = argv[++i];
        } else if (arg == "--address" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > 247) {
                std::fputs("orvex-recorder: --address takes 1 to 247\n", stderr);
                return 2;
            }
            address = static_cast<int>(value);
        } else if (arg == "--verbose") {
            // The link's trace reads its switch once, at its first use.
            setenv("ORVEX_TRACE", "1", 1);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("orvex-recorder %s\n", kOrvexVersion);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    // A full file system or a file size limit must come back as a failed write, never end the
    // program: the records wait in memory.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // Before any thread starts, so that only the loop's signalfd receives them.
    CRecorder::BlockLoopSignals();
    if (folder.empty()) {
        folder = ResolveSettingsFolder();
    }
    CRecorder recorder(folder, address);
    return recorder.Run();
}
