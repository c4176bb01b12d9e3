#include "store/IniEx.h"

namespace fs = std::filesystem;

fs::path CIniEx::ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) {
        return exe.parent_path();
    }
    fs::path current = fs::current_path(ec);
    return ec ? fs::path(".") : current;
}
