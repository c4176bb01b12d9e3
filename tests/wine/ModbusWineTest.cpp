// The Modbus master over the Windows serial port, against the simulated concentrator.
#include <gtest/gtest.h>

#include "link/ModbusDriver.h"
#include "tests/wine/WineSim.h"

TEST(WineModbus, ReadsAndWritesRegistersOfTheSimulator) {
    ORVEX_NEED_SIM();
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(winesim::ComNumber(), 19200, 'N'));
    EXPECT_TRUE(master.LinkUp());

    RegisterRequest id{0, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, id), ResultOk);
    EXPECT_EQ(id.value, 23073u);
    RegisterRequest serial{2, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, serial), ResultOk);
    EXPECT_EQ(serial.value, 1234u);

    // The device takes a written value low byte first; the read-back shows it arrived whole.
    RegisterRequest alarm{6, KindWord, 1};
    EXPECT_EQ(master.WriteRegister(1, alarm), ResultOk);
    RegisterRequest readBack{6, KindWord};
    EXPECT_EQ(master.ReadHoldingRegisters(1, readBack), ResultOk);
    EXPECT_EQ(readBack.value, 1u);

    for (int i = 0; i < 50; ++i) {
        RegisterRequest again{0, KindWord};
        ASSERT_EQ(master.ReadInputRegisters(1, again), ResultOk) << i;
        ASSERT_EQ(again.value, 23073u) << i;
    }
}

// Another address gets no answer: a time-out, and the next request to the device still works.
TEST(WineModbus, SilentAddressTimesOutAndTheLinkStaysUsable) {
    ORVEX_NEED_SIM();
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(winesim::ComNumber(), 9600, 'N'));
    RegisterRequest nobody{0, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(9, nobody), ResultTimeout);
    RegisterRequest id{0, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, id), ResultOk);
    EXPECT_EQ(id.value, 23073u);
}

TEST(WineModbus, AbsentPortFailsToOpenWithTheSystemsError) {
    CModbusDriver master;
    EXPECT_FALSE(master.OpenPort(251, 9600, 'N'));
    EXPECT_EQ(master.LastOpenError(), 2);  // ERROR_FILE_NOT_FOUND
    RegisterRequest id{0, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(1, id), ResultTimeout);
}
