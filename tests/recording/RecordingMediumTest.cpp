// A medium that goes away under the recording: a tmpfs bind-mounted at a mount point and lazily
// unmounted, as a desktop does when a stick is pulled. Needs root (mount); skipped otherwise.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "recording/RecordingCore.h"
#include "recording/format/BinaryRecordDecoder.h"
#include "recording/format/FileText.h"
#include "tests/recording/RecordingSnapshots.h"
#include "tests/recording/RecordingTestFiles.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MakeReading.h"

namespace fs = std::filesystem;

namespace {

using K = RecordingEventKind;

std::string Rows(int from, int to) {
    std::string rows;
    for (int second = from; second <= to; ++second)
        rows += Row(second);
    return rows;
}

class RecordingMediumTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(medium);
        fs::create_directories(mountPoint);
        if (mount("tmpfs", medium.c_str(), "tmpfs", 0, "size=256k") != 0)
            GTEST_SKIP() << "needs root to mount a medium: " << std::strerror(errno);
        mounts.push_back(medium);
        fs::create_directories(medium / "dane");
        Attach(medium);
        settings.textOn = settings.binaryOn = true;
        settings.textPath = (mountPoint / "dane" / "x.txt").string();
        settings.binaryPath = (mountPoint / "x.qdx").string();
        core.SetSettings(settings);
        ASSERT_TRUE(core.OpenAtStartup());
    }
    void TearDown() override {
        for (auto it = mounts.rbegin(); it != mounts.rend(); ++it)
            umount2(it->c_str(), MNT_DETACH);
    }

    void Attach(const fs::path& source) {
        ASSERT_EQ(mount(source.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        mounts.push_back(mountPoint);
    }
    void Detach() { ASSERT_EQ(umount2(mountPoint.c_str(), MNT_DETACH), 0); }

    std::size_t Count(K kind, RecordingFileKind file) const {
        std::size_t n = 0;
        for (const RecordingEvent& event : events)
            n += event.kind == kind && event.file == file ? 1 : 0;
        return n;
    }

    TempFolder folder;
    fs::path medium = folder.Path() / "nosnik";
    fs::path mountPoint = folder.Path() / "M";
    std::vector<fs::path> mounts;
    RecordingSettings settings;
    std::vector<RecordingEvent> events;
    CRecordingCore core{[this](const RecordingEvent& event) { events.push_back(event); }};
};

// Away: told once per file, nothing made in the bare mount point, the open files go on taking
// every tick; back as the same file: nothing reopened, the medium's files hold every tick.
TEST_F(RecordingMediumTest, AMediumAwayIsNeverReplacedByFilesOnTheSystemDisk) {
    core.Tick(Snapshot(1));
    Detach();
    for (int second = 2; second <= 4; ++second)
        core.Tick(Snapshot(second));
    EXPECT_TRUE(fs::is_empty(mountPoint));
    EXPECT_EQ(Count(K::MediumAway, RecordingFileKind::Text), 1u);
    EXPECT_EQ(Count(K::MediumAway, RecordingFileKind::Binary), 1u);
    EXPECT_TRUE(core.File(RecordingFileKind::Text)->MediumAway());
    EXPECT_EQ(core.File(RecordingFileKind::Text)->QueuedRecords(), 0u);
    // Reopening for a rotation makes nothing there either.
    EXPECT_TRUE(core.Reopen());
    EXPECT_TRUE(fs::is_empty(mountPoint));
    core.Tick(Snapshot(5));

    Attach(medium);
    core.Tick(Snapshot(6));
    EXPECT_EQ(Count(K::MediumBack, RecordingFileKind::Text), 1u);
    EXPECT_EQ(Count(K::Reopened, RecordingFileKind::Text), 0u);
    EXPECT_FALSE(core.File(RecordingFileKind::Text)->MediumAway());
    const std::string text = ReadFile(medium / "dane" / "x.txt");
    EXPECT_TRUE(text.ends_with(Rows(1, 6))) << text;
    EXPECT_EQ(DecodeBinaryRecords(ReadFile(medium / "x.qdx")).records.size(), 6u);
}

// Away while the medium fails its writes: the rows wait in the queue. Another medium holding a file
// at the path is taken up, the held rows first, the old content kept.
TEST_F(RecordingMediumTest, AFileOnAnotherMediumIsAppendedToHeldRowsFirst) {
    core.Tick(Snapshot(1));
    Detach();
    {
        // The detached medium fails its writes.
        FileSizeLimit limit(fs::file_size(medium / "x.qdx"));
        ASSERT_TRUE(limit.Active());
        for (int second = 2; second <= 3; ++second)
            core.Tick(Snapshot(second));
    }
    EXPECT_EQ(core.File(RecordingFileKind::Text)->QueuedRecords(), 2u);
    EXPECT_EQ(Count(K::SpellStarted, RecordingFileKind::Text), 1u);

    const fs::path other = folder.Path() / "inny";
    fs::create_directories(other);
    ASSERT_EQ(mount("tmpfs", other.c_str(), "tmpfs", 0, "size=256k"), 0);
    mounts.push_back(other);
    fs::create_directories(other / "dane");
    WriteFile(other / "dane" / "x.txt", "stary\r\n");
    Attach(other);
    core.Tick(Snapshot(4));
    EXPECT_EQ(Count(K::MediumBack, RecordingFileKind::Text), 1u);
    EXPECT_EQ(Count(K::Reopened, RecordingFileKind::Text), 1u);
    EXPECT_EQ(Count(K::SpellEnded, RecordingFileKind::Text), 1u);
    const std::string text = ReadFile(other / "dane" / "x.txt");
    EXPECT_TRUE(text.starts_with("stary\r\nData i Godzina\t")) << text;
    EXPECT_TRUE(text.ends_with(Rows(2, 4))) << text;
    // No binary file there: none is created on a medium the recording was not opened on.
    EXPECT_FALSE(fs::exists(other / "x.qdx"));
}

// A folder removed on the file's own file system is not a medium away: creating fails, the
// rows wait, and the file is made anew, header first, once the folder is back.
TEST(RecordingRemovedFolder, RowsWaitUntilTheFolderIsBack) {
    TempFolder folder;
    RecordingSettings settings;
    settings.textOn = true;
    settings.textPath = folder.File("dane/x.txt");
    fs::create_directories(folder.Path() / "dane");
    std::vector<RecordingEvent> events;
    CRecordingCore core([&events](const RecordingEvent& event) { events.push_back(event); });
    core.SetSettings(settings);
    ASSERT_TRUE(core.OpenAtStartup());
    core.Tick(Snapshot(1));
    fs::remove_all(folder.Path() / "dane");
    core.Tick(Snapshot(2));
    EXPECT_EQ(events.back().kind, K::SpellStarted);
    EXPECT_EQ(events.back().error, ENOENT);
    EXPECT_FALSE(core.File(RecordingFileKind::Text)->MediumAway());
    fs::create_directories(folder.Path() / "dane");
    core.Tick(Snapshot(3));
    EXPECT_EQ(
        ReadFile(settings.textPath),
        FileText("Data i Godzina\tTQ21 1234 Wilgotność [%]\tTQ21 1234 Temperatura [°C]\t\r\n") +
            Rows(2, 3));
}

}  // namespace

// An overlay whose upper layer is another file system (a container's root) gives folders and files
// different device numbers: a rename and a reopen there is a rotation, not a medium gone away.
TEST(RecordingOverlayTest, ARotationOnAnOverlayIsNotTakenForAMediumAway) {
    TempFolder folder;
    const fs::path lower = folder.Path() / "lower", layer = folder.Path() / "layer",
                   merged = folder.Path() / "merged";
    fs::create_directories(lower / "dane");
    fs::create_directories(layer);
    fs::create_directories(merged);
    if (mount("tmpfs", layer.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "needs root to mount: " << std::strerror(errno);
    fs::create_directories(layer / "upper");
    fs::create_directories(layer / "work");
    const std::string options = "lowerdir=" + lower.string() +
                                ",upperdir=" + (layer / "upper").string() +
                                ",workdir=" + (layer / "work").string();
    struct Unmount {
        std::vector<fs::path> at;
        ~Unmount() {
            for (auto it = at.rbegin(); it != at.rend(); ++it)
                umount2(it->c_str(), MNT_DETACH);
        }
    } unmount{{layer}};
    if (mount("overlay", merged.c_str(), "overlay", 0, options.c_str()) != 0)
        GTEST_SKIP() << "no overlay file system: " << std::strerror(errno);
    unmount.at.push_back(merged);

    std::vector<RecordingEvent> events;
    CRecordingCore core{[&](const RecordingEvent& event) { events.push_back(event); }};
    RecordingSettings settings;
    settings.textOn = true;
    settings.textPath = (merged / "dane" / "x.txt").string();
    core.SetSettings(settings);
    ASSERT_TRUE(core.OpenAtStartup());
    core.Tick(Snapshot(1));
    fs::rename(merged / "dane" / "x.txt", merged / "dane" / "x.txt.1");
    EXPECT_TRUE(core.Reopen());
    core.Tick(Snapshot(2));
    for (const RecordingEvent& event : events)
        EXPECT_NE(event.kind, K::MediumAway) << event.path;
    EXPECT_TRUE(ReadFile(merged / "dane" / "x.txt").ends_with(Row(2)));
    EXPECT_TRUE(ReadFile(merged / "dane" / "x.txt.1").ends_with(Row(1)));
}
