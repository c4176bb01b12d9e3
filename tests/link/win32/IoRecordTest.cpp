// An overlapped operation is either completed before its record is used again, or its record is
// abandoned with everything the kernel may still write: here a pipe read stands in for the serial
// driver's operations.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "link/win32/IoRecord.h"

namespace {

constexpr DWORD kLongWaitMs = 30000;

class IoRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        const std::wstring name = L"\\\\.\\pipe\\orvex-iorecord-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++serial);
        server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
        client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(client, INVALID_HANDLE_VALUE);
        record = NewIoRecord();
        ASSERT_TRUE(record);
    }
    void TearDown() override {
        if (client != INVALID_HANDLE_VALUE)
            CloseHandle(client);
        if (server != INVALID_HANDLE_VALUE)
            CloseHandle(server);
    }

    // Starts a read into the record that waits for the client's bytes.
    void StartRead() {
        ASSERT_FALSE(ReadFile(server, record->data, 16, nullptr, record->Arm()));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }

    void Send(const char* bytes) {
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(client, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr));
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;
    std::unique_ptr<IoRecord> record;
};

TEST_F(IoRecordTest, CompletedOrCancelledOperationKeepsItsRecordForTheNext) {
    StartRead();
    Send("abc");
    DWORD transferred = 0;
    DWORD error = 1;
    ASSERT_TRUE(CompleteOrAbandon(server, record, kLongWaitMs, transferred, error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(transferred, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record->data), 3), "abc");

    // Nothing comes: the read is cancelled, and its completion is waited for.
    StartRead();
    ASSERT_TRUE(CompleteOrAbandon(server, record, 50, transferred, error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(transferred, 0u);
    ASSERT_TRUE(record);

    // The same record serves again.
    StartRead();
    Send("de");
    ASSERT_TRUE(CompleteOrAbandon(server, record, kLongWaitMs, transferred, error));
    EXPECT_EQ(transferred, 2u);
}

// A driver that does not complete an operation even after its cancel (here the cancel is aimed
// at another handle, so the read stays pending): the record is given up, not freed or reused, and
// the late completion still lands in it.
TEST_F(IoRecordTest, OperationNeverCompletedAfterItsCancelIsAbandonedWithItsMemory) {
    StartRead();
    IoRecord* const pending = record.get();
    DWORD transferred = 1;
    DWORD error = 0;
    EXPECT_FALSE(CompleteOrAbandon(client, record, 50, transferred, error));
    EXPECT_FALSE(record);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(transferred, 0u);

    Send("late");
    ASSERT_EQ(WaitForSingleObject(pending->event, kLongWaitMs), WAIT_OBJECT_0);
    DWORD got = 0;
    ASSERT_TRUE(GetOverlappedResult(server, &pending->io, &got, FALSE));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(pending->data), got), "late");
}

}  // namespace
