// The link trace on Windows: the switch is read once per process, so the case runs in a child
// copy of this program with ORVEX_TRACE=1, whose standard error comes back through a pipe.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>

#include "link/ModbusDriver.h"
#include "tests/link/TraceLine.h"
#include "tests/wine/WineSim.h"

namespace {

std::string RunTracedChild() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return "CreatePipe failed";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=WineLinkTraceChild.DISABLED_OneTransaction"
                           L" --gtest_also_run_disabled_tests";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION child{};
    SetEnvironmentVariableW(L"ORVEX_TRACE", L"1");
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &child);
    SetEnvironmentVariableW(L"ORVEX_TRACE", nullptr);
    CloseHandle(writeEnd);
    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        output.append(buffer, got);
    CloseHandle(readEnd);
    if (started) {
        WaitForSingleObject(child.hProcess, 30000);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    return started ? output : "CreateProcess failed";
}

}  // namespace

TEST(WineLinkTraceChild, DISABLED_OneTransaction) {
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(winesim::ComNumber(), 9600, 'N'));
    RegisterRequest request{0, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, request), ResultOk);
}

TEST(WineLinkTrace, FramesAndPortEventsGoToStandardError) {
    ORVEX_NEED_SIM();
    const std::string traced = RunTracedChild();
    const std::string com = "\\\\.\\COM" + std::to_string(winesim::ComNumber());
    EXPECT_TRUE(HasTraceLine(traced, "opened " + com)) << traced;
    EXPECT_TRUE(HasTraceLine(traced, "TX 01 04 00 00 00 01 31 CA")) << traced;
    EXPECT_TRUE(HasTraceLine(traced, "RX 01 04 02 5A 21 ")) << traced;
}
