#include "tests/recformat/CommaLocale.h"

// Windows has the Polish locale built in.
bool BuildCommaLocale(std::filesystem::path&) {
    return false;
}

void DropCommaLocale(const std::filesystem::path&) {}
