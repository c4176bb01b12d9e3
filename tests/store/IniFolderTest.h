#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/FileBytes.h"

// A fresh folder for each test, with path_ the settings file under test in it.
class IniFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("orvex-store-" + std::to_string(seed()));
            if (std::filesystem::create_directory(candidate)) {
                dir_ = candidate;
            }
        }
        ASSERT_FALSE(dir_.empty());
        path_ = dir_ / "orvex.ini";
    }
    void TearDown() override {
        std::error_code ec;
        // A test may leave the folder unwritable; that must not keep it on disk.
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }

    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    std::filesystem::path dir_;
    std::filesystem::path path_;
};
