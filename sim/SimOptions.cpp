#include "sim/SimOptions.h"

#include <charconv>

const char* const kSimUsage =
    "usage: orvex-sim [--config FILE] [--demo] [--address N] [--device PATH] [--link DIR/comN]\n"
    "                 [--baud N] [--wire-speed] [--drift] [--log] [--fault MODE] [--slow-ms N]\n"
    "                 [--write-high-first] [--exit-on-eof]\n"
    "       orvex-sim --help | --version\n"
    "fault MODE: silence, slow, badcrc, wrongaddr, exception, truncated, noise, echo\n";

namespace {

bool ParseInt(const std::string& text, int min, int max, int& out) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

std::optional<SimCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                               std::string& error) {
    SimCommandLine options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& original = args[i];
        std::string name = original;
        std::optional<std::string> inlineValue;
        if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto flag = [&](bool& out) {
            out = true;
            return !inlineValue;
        };
        std::string text;
        bool ok = false;
        if (name == "--config") {
            ok = value(options.config);
        } else if (name == "--device") {
            ok = value(options.device);
        } else if (name == "--link") {
            ok = value(options.link) && !options.link.empty();
        } else if (name == "--address") {
            ok = value(text) && ParseInt(text, 1, 255, options.address);
        } else if (name == "--baud") {
            ok = value(text) && ParseInt(text, 300, 1000000, options.baud);
        } else if (name == "--slow-ms") {
            ok = value(text) && ParseInt(text, 0, 600000, options.slowMs);
        } else if (name == "--fault") {
            std::optional<FaultMode> mode;
            if (value(text))
                mode = ParseFaultMode(text);
            ok = mode.has_value();
            if (ok)
                options.fault = *mode;
        } else if (name == "--demo") {
            ok = flag(options.demo);
        } else if (name == "--wire-speed") {
            ok = flag(options.wireSpeed);
        } else if (name == "--drift") {
            ok = flag(options.drift);
        } else if (name == "--log") {
            ok = flag(options.log);
        } else if (name == "--write-high-first") {
            ok = !inlineValue;
            options.writeLowFirst = false;
        } else if (name == "--write-low-first") {
            // The default now; still accepted so that older scripts run.
            ok = flag(options.writeLowFirst);
        } else if (name == "--exit-on-eof") {
            ok = flag(options.exitOnEof);
        }
        if (!ok) {
            error = "bad option: " + original;
            return std::nullopt;
        }
    }
    return options;
}
