#pragma once
#include <clocale>
#include <filesystem>

// Compiles a comma locale into a new folder and points the C library at it; false when that
// cannot be done here. Systems with their locales built in have nothing to compile.
bool BuildCommaLocale(std::filesystem::path& folder);
// Undoes BuildCommaLocale.
void DropCommaLocale(const std::filesystem::path& folder);

// Switches the C locale to one whose decimal separator is a comma, as a Polish desktop session
// does for the program.
class CommaLocale {
public:
    CommaLocale() {
        if (!Try() && BuildCommaLocale(folder_))
            Try();
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        if (!folder_.empty())
            DropCommaLocale(folder_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }

private:
    bool Try() {
        for (const char* name : {"pl_PL.UTF-8", "pl_PL.utf8", "de_DE.UTF-8", "de_DE.utf8",
                                 "Polish_Poland.1250", "Polish"}) {
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
