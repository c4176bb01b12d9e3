#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/recformat/CommaLocale.h"

bool BuildCommaLocale(std::filesystem::path& folder) {
    folder =
        std::filesystem::temp_directory_path() / ("orvex-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command =
        "localedef -i pl_PL -f UTF-8 '" + (folder / "pl_PL.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    return true;
}

void DropCommaLocale(const std::filesystem::path& folder) {
    ::unsetenv("LOCPATH");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
