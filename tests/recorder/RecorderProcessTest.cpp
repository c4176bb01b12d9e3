// orvex-recorder run as a real process against orvex-sim.
#include <sys/mount.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <iostream>
#include <thread>

#include "recording/RecordingFile.h"
#include "tests/recorder/RecorderFixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The requirement is 1 s; the margin is for a loaded machine.
constexpr auto kExitBound = 2000ms;

// Files give no notice of a change: look again every 50 ms, up to the timeout.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool SetFileSizeLimit(pid_t pid, rlim_t bytes) {
    rlimit limit{};
    if (::prlimit(pid, RLIMIT_FSIZE, nullptr, &limit) != 0) {
        return false;
    }
    limit.rlim_cur = bytes;
    return ::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Every line of the text file after the first is a row under the header: no row merged with
// a torn one before it, so each has the header's number of separators or fewer (short header
// rows while the device was silent).
void ExpectWholeRows(const std::string& text) {
    ASSERT_TRUE(text.empty() || text.ends_with("\r\n"));
    std::size_t start = 0;
    std::size_t headerColumns = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        const auto columns = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
        if (StartsWith(line, "Data")) {
            headerColumns = columns;
        } else {
            EXPECT_LE(columns, headerColumns) << line;
            EXPECT_EQ(line.find("Data"), std::string::npos) << "rows merged: " << line;
        }
        start = end + 2;
    }
}

// The time stamp (the row's first two columns) of every row after the header differs from the one
// before.
void ExpectOneRowPerSecond(const std::string& text) {
    std::string previous;
    std::size_t start = text.find("\r\n");
    while (start != std::string::npos && start + 2 < text.size()) {
        start += 2;
        const std::size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        const std::size_t second = line.find('\t', line.find('\t') + 1);
        const std::string stamp = line.substr(0, second);
        EXPECT_NE(stamp, previous) << "two rows in one second";
        previous = stamp;
        start = end;
    }
}

}  // namespace

class RecorderProcessTest : public RecorderFixture {};

TEST_F(RecorderProcessTest, RecordsFromSettingsAndSpeaksTheNotifyLifecycle) {
    StartSim();
    WriteSettings();
    NotifySocket notify(dir / "notify");
    auto recorder = Start({notify.EnvEntry(), "WATCHDOG_USEC=1000000"});

    const auto ready =
        notify.WaitFor([](const std::string& m) { return m.find("READY=1") != m.npos; }, 10s);
    ASSERT_TRUE(ready) << recorder->Output();
    EXPECT_NE(ready->find("STATUS=COM7"), std::string::npos) << *ready;
    EXPECT_TRUE(recorder->WaitForLine("<6>device responding", 10s)) << recorder->Output();

    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m == "WATCHDOG=1"; }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return Rows(textPath) >= 6 && Records(binaryPath) >= 5; }, 15s));

    recorder->Signal(SIGHUP);
    const auto reloading =
        notify.WaitFor([](const std::string& m) { return StartsWith(m, "RELOADING=1"); }, 5s);
    ASSERT_TRUE(reloading);
    EXPECT_NE(reloading->find("MONOTONIC_USEC="), std::string::npos);
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return StartsWith(m, "READY=1"); }, 5s));

    recorder->Signal(SIGTERM);
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m == "STOPPING=1"; }, kExitBound));
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);

    // Every line journald will see carries a priority it understands.
    const std::string output = recorder->Output();
    std::size_t start = 0;
    while (start < output.size()) {
        const std::string line = output.substr(start, output.find('\n', start) - start);
        EXPECT_TRUE(StartsWith(line, "<3>") || StartsWith(line, "<4>") || StartsWith(line, "<6>"))
            << line;
        start += line.size() + 1;
    }
    ExpectWholeRows(ReadFile(textPath));
    const std::string binary = ReadFile(binaryPath);
    EXPECT_EQ(DecodeBinaryRecords(binary).wholeBytes, binary.size());
    // One record per tick: the first readings and the first tick never give two in one second.
    ExpectOneRowPerSecond(ReadFile(textPath));
}

// A station must finish booting whatever is plugged in: ready at once, saying what it waits for.
TEST_F(RecorderProcessTest, IsReadyWithoutTheAdapterAndTakesItUpWhenItComes) {
    if (fs::exists("/dev/ttyS6")) {
        GTEST_SKIP() << "COM7 is this machine's own /dev/ttyS6";
    }
    WriteSettings();
    NotifySocket notify(dir / "notify");
    auto recorder = Start({notify.EnvEntry(), "WATCHDOG_USEC=1000000"});
    const auto ready =
        notify.WaitFor([](const std::string& m) { return m.find("READY=1") != m.npos; }, 5s);
    ASSERT_TRUE(ready) << recorder->Output();
    EXPECT_NE(ready->find("STATUS=COM7 waiting for the port"), std::string::npos) << *ready;
    ASSERT_TRUE(recorder->WaitForLine("<4>port COM7 (/dev/ttyS6) cannot be opened", 5s))
        << recorder->Output();
    // Rows without values go on meanwhile, and the watchdog hears that the loop is alive.
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 3; }, 10s));
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m == "WATCHDOG=1"; }, 5s));
    recorder->Signal(SIGHUP);
    ASSERT_TRUE(recorder->WaitForLine("reloading", 5s));
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m == "WATCHDOG=1"; }, 5s));
    EXPECT_EQ(recorder->CountLines("<4>port COM7"), 1u) << "the retries are logged once";
    EXPECT_EQ(Records(binaryPath), 0u);

    // The link that comes later is what is opened, and the log names it.
    StartSim();
    const std::string opened = "<6>port COM7 (" + (dir / "ports" / "com7").string() + ") opened";
    EXPECT_TRUE(recorder->WaitForLine(opened, 10s)) << recorder->Output();
    EXPECT_TRUE(recorder->WaitForLine("<6>device responding", 10s));
    EXPECT_TRUE(WaitUntil([&] { return Records(binaryPath) >= 1; }, 5s));
}

TEST_F(RecorderProcessTest, RefusesWhatItCannotRecordWithAMessageAndAnExitStatus) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"no settings file", [] {}, 78, "does not exist"},
        {"no port", [this] { WriteSettings({}, 0); }, 78, "no serial port"},
        {"recording off",
         [this] {
             WriteSettings();
             WriteFile(dir / "orvex.ini", "[GENERAL]\r\nPORT_NR=7\r\n[LOG]\r\nFILE_LOG=0\r\n");
         },
         78, "no recording file"},
        {"a folder that is not there",
         [this] {
             textPath = dir / "brak" / "pomiary.csv";
             WriteSettings();
         },
         1, "cannot open the text file"},
        {"a read-only folder under a service",
         [this] {
             textPath = dir / "ro" / "pomiary.csv";
             WriteSettings();
         },
         78, "ReadWritePaths="},
    };
    // A read-only file system, as a service's sandbox shows a folder it may not write.
    fs::create_directory(dir / "ro");
    const bool readOnly = ::geteuid() == 0 && ::mount("tmpfs", (dir / "ro").c_str(), "tmpfs",
                                                      MS_RDONLY, "size=64k") == 0;
    struct Unmount {
        fs::path at;
        bool mounted;
        ~Unmount() {
            if (mounted) {
                ::umount2(at.c_str(), MNT_DETACH);
            }
        }
    } unmount{dir / "ro", readOnly};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.status == 78 && std::string(c.message) == "ReadWritePaths=" && !readOnly) {
            continue;  // mounting needs root
        }
        c.prepare();
        auto recorder = Start({"STATE_DIRECTORY=" + (dir / "state").string()});
        EXPECT_EQ(recorder->WaitForExit(5s), c.status);
        EXPECT_TRUE(recorder->WaitForLine(c.message, 1s)) << recorder->Output();
        EXPECT_TRUE(recorder->WaitForLine("<3>", 0ms));
    }

    // A second recorder on the same files is refused: rows of two writers never interleave.
    textPath = dir / "pomiary.csv";
    StartSim();
    WriteSettings();
    auto first = Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2; }, 10s)) << first->Output();
    auto second = Start();
    EXPECT_EQ(second->WaitForExit(5s), 1);
    EXPECT_TRUE(second->WaitForLine("in use by another recording program", 1s)) << second->Output();

    // Nor do the window's and the recorder's: the window records through the same file unit.
    CRecordingFile window(RecordingFileKind::Text);
    EXPECT_EQ(window.Open(textPath.string()).error, EWOULDBLOCK);
    first->Signal(SIGTERM);
    ASSERT_EQ(first->WaitForExit(kExitBound), 0);
    ASSERT_EQ(window.Open(textPath.string()).error, 0);
    auto third = Start();
    EXPECT_EQ(third->WaitForExit(5s), 1);
    EXPECT_TRUE(third->WaitForLine("in use by another recording program", 1s)) << third->Output();
}

TEST_F(RecorderProcessTest, PollsTheAddressGivenOnTheCommandLine) {
    StartSim({"--demo", "--address", "5"});
    WriteSettings();
    {
        auto recorder = Start();  // address 1, as the window starts
        EXPECT_TRUE(recorder->WaitForLine("<4>device not responding", 10s)) << recorder->Output();
    }
    auto recorder = Start({}, std::vector<std::string>{"--address", "5"});
    EXPECT_TRUE(recorder->WaitForLine("<6>device responding", 10s)) << recorder->Output();
    EXPECT_EQ(RecorderProcess(std::vector<std::string>{"--address", "248"}).WaitForExit(5s), 2);
}

TEST_F(RecorderProcessTest, KilledWithSigkillLeavesWholeRecordsAndATornEndIsRepaired) {
    StartSim();
    WriteSettings();
    {
        auto recorder = Start();
        ASSERT_TRUE(
            WaitUntil([&] { return Rows(textPath) >= 4 && Records(binaryPath) >= 3; }, 15s));
        recorder->Signal(SIGKILL);
        EXPECT_EQ(recorder->WaitForExit(kExitBound), 128 + SIGKILL);
    }
    ExpectWholeRows(ReadFile(textPath));
    std::string binary = ReadFile(binaryPath);
    EXPECT_EQ(DecodeBinaryRecords(binary).wholeBytes, binary.size());

    // A crash in the middle of a write of some other program: half a row, half a record.
    const std::size_t records = Records(binaryPath);
    const std::size_t rows = Rows(textPath);
    {
        std::ofstream(textPath, std::ios::binary | std::ios::app) << "2026.01.01 00:00:00\t4";
        std::ofstream(binaryPath, std::ios::binary | std::ios::app)
            << binary.substr(0, DecodeBinaryRecords(binary).wholeBytes / records / 2);
    }
    auto recorder = Start();
    ASSERT_TRUE(WaitUntil(
        [&] { return Records(binaryPath) >= records + 2 && Rows(textPath) >= rows + 3; }, 15s))
        << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
    binary = ReadFile(binaryPath);
    EXPECT_EQ(DecodeBinaryRecords(binary).wholeBytes, binary.size());
    const std::string text = ReadFile(textPath);
    EXPECT_NE(text.find("\t4\r\nData"), std::string::npos) << "the torn row was not ended";
}

TEST_F(RecorderProcessTest, AFullDiskHoldsRecordsInMemoryUntilTheyCanBeWritten) {
    StartSim();
    WriteSettings();
    NotifySocket notify(dir / "notify");
    auto recorder = Start({notify.EnvEntry()});
    ASSERT_TRUE(notify.WaitFor([](const std::string& m) { return StartsWith(m, "READY=1"); }, 10s));

    ASSERT_TRUE(SetFileSizeLimit(recorder->Pid(), 1));
    ASSERT_TRUE(recorder->WaitForLine("<3>cannot write to", 5s)) << recorder->Output();
    const std::size_t rows = Rows(textPath);
    const std::size_t records = Records(binaryPath);
    // Three ticks held for each file.
    ASSERT_TRUE(notify.WaitFor(
        [](const std::string& m) { return m.find(" 6 records held") != m.npos; }, 10s))
        << recorder->Output();
    EXPECT_EQ(Rows(textPath), rows);

    ASSERT_TRUE(SetFileSizeLimit(recorder->Pid(), RLIM_INFINITY));
    ASSERT_TRUE(WaitUntil([&] { return recorder->CountLines("<6>writing to") >= 2; }, 5s))
        << recorder->Output();
    EXPECT_GE(Rows(textPath), rows + 3);
    EXPECT_GE(Records(binaryPath), records + 3);
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
    ExpectWholeRows(ReadFile(textPath));
}

TEST_F(RecorderProcessTest, RecordsStillHeldAtTheStopAreRescuedToTheStateFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a small file system";
    }
    // A full file system of its own, so that the rescue folder elsewhere still takes files.
    const fs::path disk = dir / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{disk};
    textPath = disk / "pomiary.csv";
    binaryPath = disk / "pomiary.qdx";
    StartSim();
    WriteSettings();
    const fs::path state = dir / "state";
    auto recorder = Start({"STATE_DIRECTORY=" + state.string()});
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2; }, 10s)) << recorder->Output();
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    // The files' last pages still take rows: up to about sixteen.
    ASSERT_TRUE(WaitUntil([&] { return recorder->CountLines("<3>cannot write to") >= 2; }, 40s))
        << recorder->Output();
    const std::size_t rows = Rows(textPath);
    std::this_thread::sleep_for(2s);  // more ticks held: the point of the test is time passing

    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
    ASSERT_TRUE(recorder->WaitForLine("written to " + (state / "niezapisane").string(), 1s))
        << recorder->Output();
    std::size_t rescuedRows = 0;
    for (const auto& entry : fs::directory_iterator(state / "niezapisane")) {
        if (entry.path().string().find("pomiary") != std::string::npos &&
            entry.path().extension() == ".csv") {
            const std::string text = ReadFile(entry.path());
            EXPECT_TRUE(StartsWith(text, "Data")) << "the rescued rows come under their header";
            rescuedRows += Rows(entry.path()) - 1;
        }
    }
    EXPECT_GE(rescuedRows, 2u);
    EXPECT_EQ(Rows(textPath), rows);
}

TEST_F(RecorderProcessTest, ARemovedFileIsCreatedAgain) {
    StartSim();
    WriteSettings();
    auto recorder = Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2; }, 10s)) << recorder->Output();
    fs::remove(textPath);
    ASSERT_TRUE(recorder->WaitForLine("<4>" + textPath.string() + " was removed or replaced", 5s))
        << recorder->Output();
    EXPECT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2; }, 5s));
    EXPECT_TRUE(StartsWith(ReadFile(textPath), "Data"));  // the new file begins with its header
}

TEST_F(RecorderProcessTest, SighupReopensRotatedFilesAndRereadsTheSettings) {
    StartSim();
    WriteSettings();
    auto recorder = Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2 && Records(binaryPath) >= 1; }, 10s));

    // As logrotate does without copytruncate: rename, then tell the program.
    const fs::path rotated = dir / "pomiary.csv.1";
    fs::rename(textPath, rotated);
    const fs::path oldBinary = binaryPath;
    binaryPath = dir / "nowe.qdx";
    WriteSettings();
    recorder->Signal(SIGHUP);
    ASSERT_TRUE(recorder->WaitForLine("reloading", 5s));
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2 && Records(binaryPath) >= 1; }, 10s))
        << recorder->Output();
    const std::size_t rotatedSize = fs::file_size(rotated);
    const std::size_t oldBinarySize = fs::file_size(oldBinary);
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 3; }, 5s));
    EXPECT_EQ(fs::file_size(rotated), rotatedSize);
    EXPECT_EQ(fs::file_size(oldBinary), oldBinarySize);
    EXPECT_EQ(recorder->CountLines("was removed or replaced"), 0u);

    // A settings file made unusable meanwhile leaves the recording as it was.
    WriteFile(dir / "orvex.ini", "[GENERAL]\r\nPORT_NR=0\r\n");
    recorder->Signal(SIGHUP);
    ASSERT_TRUE(recorder->WaitForLine("orvex.ini not taken", 5s));
    const std::size_t rows = Rows(textPath);
    EXPECT_TRUE(WaitUntil([&] { return Rows(textPath) > rows; }, 5s));
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
}

// A changed separator opens the text file anew, as the window does, so that its new header and
// rows agree; the binary file is only reopened. A value the recorder cannot use is named.
TEST_F(RecorderProcessTest, ASeparatorChangeOnReloadOpensTheTextFileAnew) {
    StartSim();
    WriteSettings();
    auto recorder = Start();
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= 2 && Records(binaryPath) >= 1; }, 10s));
    EXPECT_EQ(recorder->CountLines("recording into the text file"), 1u) << recorder->Output();

    WriteSettings("FILE_SEP_FORMAT=2\r\n");
    recorder->Signal(SIGHUP);
    ASSERT_TRUE(recorder->WaitForLine("reloading", 5s));
    ASSERT_TRUE(
        WaitUntil([&] { return recorder->CountLines("appending to the text file") == 1; }, 5s))
        << recorder->Output();
    EXPECT_EQ(recorder->CountLines("reopened the text file"), 0u) << recorder->Output();
    EXPECT_EQ(recorder->CountLines("reopened the binary file"), 1u) << recorder->Output();
    const std::size_t rows = Rows(textPath);
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) > rows; }, 5s));
    const std::string text = ReadFile(textPath);
    const std::size_t header = text.rfind("\r\nData");
    ASSERT_NE(header, std::string::npos) << text;
    const std::string line = text.substr(header + 2, text.find("\r\n", header + 2) - header - 2);
    EXPECT_NE(line.find(';'), std::string::npos) << line;
    EXPECT_EQ(line.find('\t'), std::string::npos) << line;

    WriteSettings("FILE_SEP_FORMAT=7\r\n");
    recorder->Signal(SIGHUP);
    EXPECT_TRUE(recorder->WaitForLine("<4>orvex.ini: FILE_SEP_FORMAT=7 in [LOG]", 5s))
        << recorder->Output();
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
}

TEST_F(RecorderProcessTest, AReplugBringsTheReadingsBackAndTheGapIsNotFilledWithOldValues) {
    StartSim();
    WriteSettings();
    auto recorder = Start();
    ASSERT_TRUE(recorder->WaitForLine("<6>device responding", 10s)) << recorder->Output();

    sim.reset();  // the adapter pulled out
    ASSERT_TRUE(recorder->WaitForLine("<4>port COM7", 5s)) << recorder->Output();
    ASSERT_TRUE(recorder->WaitForLine("<4>device not responding", 5s)) << recorder->Output();
    // Rows go on while the device is away, without values.
    const std::size_t rows = Rows(textPath);
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= rows + 2; }, 5s));
    const std::string text = ReadFile(textPath);
    const std::size_t lastRow = text.rfind("\r\n", text.size() - 3) + 2;
    EXPECT_EQ(text.size() - lastRow, std::string("2026.01.01 00:00:00\t\r\n").size())
        << text.substr(lastRow);

    const auto replugged = std::chrono::steady_clock::now();
    StartSim();
    ASSERT_TRUE(recorder->WaitForLine("<6>port COM7", 5s)) << recorder->Output();
    ASSERT_TRUE(WaitUntil([&] { return recorder->CountLines("<6>device responding") >= 2; }, 10s))
        << recorder->Output();
    std::cout << "readings back "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - replugged)
                     .count()
              << " ms after the re-plug\n";
    EXPECT_EQ(recorder->CountLines("<4>device not responding"), 1u);  // logged once
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
}

// The adapter pulled out in the middle of a slow cycle: the unfinished cycle is never recorded,
// and from the next tick on neither file gets a reading.
TEST_F(RecorderProcessTest, AHangUpInMidCycleRecordsNoOldValues) {
    StartSim({"--demo", "--log", "--fault", "slow", "--slow-ms", "150"});
    WriteSettings();
    auto recorder = Start();
    ASSERT_TRUE(recorder->WaitForLine("<6>device responding", 30s)) << recorder->Output();
    // In the middle of a cycle: input 1 has been asked for, the others not yet.
    sim->ClearLog();
    ASSERT_TRUE(sim->WaitForLog(
        [](const std::vector<std::string>& log) {
            return std::find(log.begin(), log.end(), "REQ 4 100 1") != log.end();
        },
        30s));
    sim.reset();
    const std::size_t rows = Rows(textPath);
    const std::size_t records = Records(binaryPath);
    ASSERT_TRUE(WaitUntil([&] { return Rows(textPath) >= rows + 3; }, 10s)) << recorder->Output();
    // The row being written at the unplug may still hold the last whole cycle; none after it.
    const std::string text = ReadFile(textPath);
    std::size_t end = text.size();
    for (int i = 0; i < 2; ++i) {
        const std::size_t start = text.rfind("\r\n", end - 3) + 2;
        EXPECT_EQ(end - start, std::string("2026.01.01 00:00:00\t\r\n").size())
            << text.substr(start, end - start);
        end = start;
    }
    EXPECT_LE(Records(binaryPath), records + 1);
    recorder->Signal(SIGTERM);
    EXPECT_EQ(recorder->WaitForExit(kExitBound), 0);
}

TEST_F(RecorderProcessTest, EndsWithinASecondOfSigtermInEveryFaultMode) {
    for (const char* mode : {"none", "silence", "slow", "badcrc", "wrongaddr", "exception",
                             "truncated", "noise", "echo", "unplugged"}) {
        SCOPED_TRACE(mode);
        StartSim();
        WriteSettings();
        auto recorder = Start();
        ASSERT_TRUE(recorder->WaitForLine("<6>device responding", 10s)) << recorder->Output();
        if (std::string(mode) == "unplugged") {
            sim.reset();
            ASSERT_TRUE(recorder->WaitForLine("<4>port COM7", 5s));
        } else {
            sim->Command(std::string("fault ") + mode);
            // Two requests in the fault: the recorder is inside a faulty exchange or its pause.
            sim->ClearLog();
            ASSERT_TRUE(sim->WaitForLog(
                [](const std::vector<std::string>& log) {
                    return std::count_if(log.begin(), log.end(), [](const std::string& l) {
                               return StartsWith(l, "REQ");
                           }) >= 2;
                },
                10s));
        }
        const auto signalled = std::chrono::steady_clock::now();
        recorder->Signal(SIGTERM);
        EXPECT_EQ(recorder->WaitForExit(kExitBound), 0) << recorder->Output();
        std::cout << mode << ": ended "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - signalled)
                         .count()
                  << " ms after SIGTERM\n";
        sim.reset();
    }
}
