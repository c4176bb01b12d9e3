#pragma once
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

// Switches the C locale to one whose decimal separator is a comma, as a Polish desktop session
// does for the program. Compiles the locale with localedef when none is installed.
class CommaLocale {
public:
    CommaLocale() {
        if (Try())
            return;
        folder_ =
            std::filesystem::temp_directory_path() / ("orvex-locale-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        const std::string command = "localedef -i pl_PL -f UTF-8 '" +
                                    (folder_ / "pl_PL.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            ::setenv("LOCPATH", folder_.c_str(), 1);
            Try();
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        if (!folder_.empty()) {
            ::unsetenv("LOCPATH");
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }

private:
    bool Try() {
        for (const char* name : {"pl_PL.UTF-8", "pl_PL.utf8", "de_DE.UTF-8", "de_DE.utf8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr &&
                *std::localeconv()->decimal_point == ',') {
                active_ = true;
                return true;
            }
        }
        return false;
    }

    std::filesystem::path folder_;
    bool active_ = false;
};
