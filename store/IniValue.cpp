#include "store/IniValue.h"

std::string ProtectSemicolons(std::string_view value) {
    std::string stored(value);
    if (value.find(';') != std::string_view::npos) {
        stored += ';';
    }
    return stored;
}
