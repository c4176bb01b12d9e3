#include "link/ComPortMap.h"

#include <array>
#include <charconv>
#include <mutex>

namespace comport {
namespace {

struct Family {
    std::string_view prefix;
    int first;
};
constexpr std::array<Family, 4> kFamilies{{
    {"ttyS", 1},
    {"ttyUSB", 33},
    {"ttyACM", 65},
    {"ttyAMA", 97},
}};
constexpr int kFamilySize = 32;

std::mutex folderMutex;
std::filesystem::path folder;

}  // namespace

int NumberForDeviceName(std::string_view name) {
    for (const Family& f : kFamilies) {
        if (!name.starts_with(f.prefix))
            continue;
        std::string_view digits = name.substr(f.prefix.size());
        if (digits.empty() || (digits.size() > 1 && digits[0] == '0'))
            return 0;
        int k = -1;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        if (ec != std::errc() || end != digits.data() + digits.size())
            return 0;
        return k >= 0 && k < kFamilySize ? f.first + k : 0;
    }
    return 0;
}

std::string DeviceNameForNumber(int portNumber) {
    for (const Family& f : kFamilies) {
        if (portNumber >= f.first && portNumber < f.first + kFamilySize) {
            return std::string(f.prefix) + std::to_string(portNumber - f.first);
        }
    }
    return {};
}

void SetPortsFolder(const std::filesystem::path& newFolder) {
    std::lock_guard guard(folderMutex);
    folder = newFolder;
}

std::filesystem::path PortsFolder() {
    std::lock_guard guard(folderMutex);
    return folder;
}

}  // namespace comport
