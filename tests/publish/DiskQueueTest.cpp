#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "publish/DiskQueue.h"
#include "publish/QueuedCycle.h"
#include "tests/support/MakeReading.h"

namespace {

namespace fs = std::filesystem;

class DiskQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("orvex-queue-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = dir / "q.bin";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> All(const DiskQueue& q) {
        std::vector<std::string> out;
        for (std::uint64_t s = q.Front(); s < q.Front() + q.Size(); ++s) {
            std::string r;
            EXPECT_TRUE(q.Read(s, r)) << s;
            out.push_back(r);
        }
        return out;
    }

    fs::path dir;
    fs::path file;
};

TEST_F(DiskQueueTest, KeepsOrderAcrossReopenAndPop) {
    {
        DiskQueue q;
        ASSERT_TRUE(q.Open(file, 10));
        EXPECT_TRUE(q.OnDisk());
        for (int i = 0; i < 5; ++i) {
            q.Push("r" + std::to_string(i));
        }
        q.Pop(2);
    }
    DiskQueue q;
    ASSERT_TRUE(q.Open(file, 10));
    EXPECT_EQ(q.Front(), 2u);
    EXPECT_EQ(All(q), (std::vector<std::string>{"r2", "r3", "r4"}));
    q.Pop(3);
    EXPECT_EQ(q.Size(), 0u);
    EXPECT_EQ(fs::file_size(file), 64u);  // emptied: the space is given back
    q.Push("next");
    EXPECT_EQ(q.Front(), 5u);  // sequence numbers run on
}

TEST_F(DiskQueueTest, FullQueueDropsTheOldestAndCountsThemAndTheFileStaysBounded) {
    DiskQueue q;
    ASSERT_TRUE(q.Open(file, 4));
    for (int i = 0; i < 1000; ++i) {
        q.Push(std::string(DiskQueue::kMaxRecord, static_cast<char>('a' + i % 26)));
    }
    EXPECT_EQ(q.Size(), 4u);
    EXPECT_EQ(q.Dropped(), 996u);
    EXPECT_EQ(q.Front(), 996u);
    EXPECT_LE(fs::file_size(file), 64u + 4 * DiskQueue::kSlotSize);
    std::string r;
    ASSERT_TRUE(q.Read(999, r));
    EXPECT_EQ(r[0], static_cast<char>('a' + 999 % 26));
    EXPECT_FALSE(q.Read(995, r));
    EXPECT_FALSE(q.Push(std::string(DiskQueue::kMaxRecord + 1, 'x')));
    DiskQueue again;
    ASSERT_TRUE(again.Open(file, 100));
    EXPECT_EQ(again.Capacity(), 4u);  // a file with records keeps its ring
    EXPECT_EQ(again.Dropped(), 996u);
}

TEST_F(DiskQueueTest, DamageIsNeverTrusted) {
    {
        DiskQueue q;
        ASSERT_TRUE(q.Open(file, 8));
        q.Push("one");
        q.Push("two");
    }
    {
        // Flip a byte of the second record's payload.
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(64 + DiskQueue::kSlotSize + 16);
        f.put('X');
    }
    DiskQueue q;
    ASSERT_TRUE(q.Open(file, 8));
    std::string r;
    EXPECT_TRUE(q.Read(0, r));
    EXPECT_FALSE(q.Read(1, r));
    { std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(200, '\xFF'); }
    DiskQueue fresh;
    ASSERT_TRUE(fresh.Open(file, 8));
    EXPECT_EQ(fresh.Size(), 0u);  // a damaged header starts an empty queue
}

TEST_F(DiskQueueTest, AFolderOrAnUnwritablePlaceFallsBackToMemory) {
    fs::create_directories(dir / "folder");
    DiskQueue q;
    EXPECT_FALSE(q.Open(dir / "folder", 3));
    EXPECT_FALSE(q.OnDisk());
    for (int i = 0; i < 5; ++i) {
        q.Push(std::to_string(i));
    }
    EXPECT_EQ(All(q), (std::vector<std::string>{"2", "3", "4"}));
    EXPECT_EQ(q.Dropped(), 2u);
}

TEST(QueuedCycle, RoundTripsEveryFieldAndRejectsOtherRecords) {
    QueuedCycle c;
    c.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796648701123));
    c.utcOffsetSeconds = -12600;
    c.deviceSerial = 65535;
    c.readings[0] = MakeReading(ModelTQ28, 9, {123, -456, 789, -1234}, {1, 0, 2}, 1);
    c.readings[1].isBinary = 1;
    c.readings[1].binaryState = 1;
    c.readings[7] = MakeReading(ModelTQ22, 22, {}, {0, 2});
    c.readings[7].probeValues[7] = -32768;
    c.readings[7].average = 32767;
    c.readings[7].status = 3;
    const std::string record = EncodeCycle(c);
    EXPECT_LE(record.size(), DiskQueue::kMaxRecord);
    const std::optional<QueuedCycle> back = DecodeCycle(record);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->time, c.time);
    EXPECT_EQ(back->utcOffsetSeconds, c.utcOffsetSeconds);
    EXPECT_EQ(back->deviceSerial, c.deviceSerial);
    EXPECT_EQ(EncodeCycle(*back), record);
    EXPECT_FALSE(DecodeCycle(record.substr(1)));
    std::string other = record;
    other[0] = 2;
    EXPECT_FALSE(DecodeCycle(other));
}

// A file system that fills up: what the disk refuses is held in memory, in order, bounded.
TEST_F(DiskQueueTest, RecordsTheDiskRefusesAreHeldInMemoryUpToTheBound) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    const fs::path small = dir / "small";
    fs::create_directories(small);
    ASSERT_EQ(std::system(("mount -t tmpfs -o size=4k tmpfs " + small.string()).c_str()), 0);
    struct Unmount {
        fs::path path;
        ~Unmount() { [[maybe_unused]] int rc = std::system(("umount " + path.string()).c_str()); }
    } unmount{small};
    DiskQueue q;
    ASSERT_TRUE(q.Open(small / "q.bin", 100'000));
    for (int i = 0; i < 30; ++i) {
        q.Push("r" + std::to_string(i));
    }
    EXPECT_TRUE(q.OnDisk());
    EXPECT_TRUE(q.Failing());
    EXPECT_GT(q.WriteFailures(), 0u);
    EXPECT_EQ(q.Held(), q.WriteFailures());
    EXPECT_EQ(q.Size(), 30u);
    EXPECT_EQ(q.Dropped(), 0u);
    std::vector<std::string> expected;
    for (int i = 0; i < 30; ++i) {
        expected.push_back("r" + std::to_string(i));
    }
    EXPECT_EQ(All(q), expected);
    q.Pop(30);
    EXPECT_EQ(q.Held(), 0u);

    // Beyond the bound the newest is given up and counted.
    const std::uint64_t onDisk = 30 - q.WriteFailures();
    for (std::size_t i = 0; i < DiskQueue::kMaxHeld + onDisk + 7; ++i) {
        q.Push("x");
    }
    EXPECT_EQ(q.Held(), DiskQueue::kMaxHeld);
    EXPECT_GE(q.Dropped(), 7u);
    EXPECT_EQ(q.Size() + q.Dropped(), DiskQueue::kMaxHeld + onDisk + 7);
}

}  // namespace
