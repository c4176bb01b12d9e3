#include "tests/recording/RecordingTestFiles.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-rec-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
