#pragma once
// A settings folder with orvex.ini and a simulated concentrator linked as COM7, for running
// orvex-recorder as a real process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "recording/format/BinaryRecordDecoder.h"
#include "tests/recorder/RecorderProcess.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimProcess.h"

class RecorderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvex-recorder-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        textPath = dir / "pomiary.csv";
        binaryPath = dir / "pomiary.qdx";
    }
    void TearDown() override {
        sim.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void StartSim(const std::vector<std::string>& args = {"--demo", "--log"}) {
        sim = std::make_unique<SimProcess>(SimOptions{"", args});
        sim->LinkAs(dir / "ports", 7);
    }

    // orvex.ini recording both files every second from COM7; extra lines go to [LOG].
    void WriteSettings(const std::string& extraLog = {}, int port = 7) {
        WriteFile(dir / "orvex.ini",
                  "[GENERAL]\r\nPORT_NR=" + std::to_string(port) +
                      "\r\nPORT_SPEED=9600\r\n[LOG]\r\nFILE_NAME=" + textPath.string() +
                      "\r\nFILE_NAME_BIN=" + binaryPath.string() +
                      "\r\nFILE_LOG=1\r\nFILE_LOG_BIN=1\r\nFILE_INTERVAL=1\r\n" + extraLog);
    }

    std::unique_ptr<RecorderProcess> Start(const std::vector<std::string>& env = {},
                                           const std::vector<std::string>& args = {}) {
        std::vector<std::string> all{"--config", dir.string()};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<RecorderProcess>(all, env);
    }

    static std::size_t Rows(const std::filesystem::path& path) {
        const std::string text = ReadFile(path);
        std::size_t rows = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at + 2)) {
            ++rows;
        }
        return rows;
    }
    static std::size_t Records(const std::filesystem::path& path) {
        return DecodeBinaryRecords(ReadFile(path)).records.size();
    }

    std::filesystem::path dir;
    std::filesystem::path textPath;
    std::filesystem::path binaryPath;
    std::unique_ptr<SimProcess> sim;
};
