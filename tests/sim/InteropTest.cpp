// Independent Modbus masters (mbpoll, libmodbus) against orvex-sim.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/support/SimProcess.h"

#ifdef ORVEX_HAVE_LIBMODBUS
#include <modbus.h>
#endif

namespace {

const char* const kConfig = R"(
device id=23073 serial=4321
input 2 type=4110 serial=2807 valid=0xF values=12.5,45.75,28.25,18.5
)";

bool HaveMbpoll() {
    return std::filesystem::exists("/usr/bin/mbpoll");
}

// Runs mbpoll once (RTU, 9600 8N1, PDU addressing) and returns the values it printed by reference.
// Values to write follow the device.
std::map<int, std::string> Mbpoll(const std::string& pty, const std::string& arguments,
                                  std::string* all = nullptr, const std::string& writeValues = "") {
    const std::string command = "mbpoll -m rtu -b 9600 -P none -a 1 -0 -1 -o 2 " + arguments + " " +
                                pty + " " + writeValues + " 2>&1";
    std::map<int, std::string> values;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return values;
    char buffer[512];
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    pclose(pipe);
    // Lines such as "[140]: \t12.5".
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        int reference = 0;
        char value[64] = {};
        if (std::sscanf(line.c_str(), "[%d]: %63s", &reference, value) == 2)
            values[reference] = value;
    }
    if (all)
        *all = output;
    return values;
}

}  // namespace

TEST(SimInterop, MbpollReadsAndWrites) {
    if (!HaveMbpoll())
        GTEST_SKIP() << "mbpoll is not installed";
    // mbpoll sends a written value high byte first, as standard slaves take it.
    SimProcess sim({.config = kConfig, .args = {"--write-high-first"}});
    std::string output;

    auto identification = Mbpoll(sim.PtyPath(), "-t 3 -r 0 -c 3", &output);
    EXPECT_EQ(identification[0], "23073") << output;
    EXPECT_EQ(identification[2], "4321") << output;

    auto input = Mbpoll(sim.PtyPath(), "-t 3 -r 200 -c 5", &output);
    EXPECT_EQ(input[200], "1") << output;
    EXPECT_EQ(input[202], "2807") << output;
    EXPECT_EQ(input[204], "4110") << output;

    // Floats: low word in the first register (mbpoll's default word order).
    auto floats = Mbpoll(sim.PtyPath(), "-t 3:float -r 240 -c 4", &output);
    EXPECT_EQ(floats[240], "12.5") << output;
    EXPECT_EQ(floats[242], "45.75") << output;
    EXPECT_EQ(floats[246], "18.5") << output;

    EXPECT_EQ(Mbpoll(sim.PtyPath(), "-t 4 -r 7", &output)[7], "0") << output;
    Mbpoll(sim.PtyPath(), "-t 4 -r 7", &output, "1");
    EXPECT_NE(output.find("Written 1 references"), std::string::npos) << output;
    auto alarms = Mbpoll(sim.PtyPath(), "-t 4 -r 6 -c 2", &output);
    EXPECT_EQ(alarms[6], "0") << output;
    EXPECT_EQ(alarms[7], "1") << output;
}

#ifdef ORVEX_HAVE_LIBMODBUS
TEST(SimInterop, LibmodbusReadsAndWrites) {
    // libmodbus sends a written value high byte first, as standard slaves take it.
    SimProcess sim({.config = kConfig, .args = {"--address", "5", "--write-high-first"}});
    modbus_t* ctx = modbus_new_rtu(sim.PtyPath().c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx, 5);
    modbus_set_response_timeout(ctx, 2, 0);
    ASSERT_EQ(modbus_connect(ctx), 0);

    uint16_t registers[4] = {};
    ASSERT_EQ(modbus_read_input_registers(ctx, 0, 3, registers), 3);
    EXPECT_EQ(registers[0], 23073);
    EXPECT_EQ(registers[2], 4321);
    ASSERT_EQ(modbus_read_input_registers(ctx, 244, 2, registers), 2);
    EXPECT_EQ(modbus_get_float(registers), 28.25f);

    ASSERT_EQ(modbus_write_register(ctx, 6, 1), 1);
    ASSERT_EQ(modbus_read_registers(ctx, 6, 2, registers), 2);
    EXPECT_EQ(registers[0], 1);
    EXPECT_EQ(registers[1], 0);

    // Coils are not served: the device answers "illegal function".
    uint8_t coil = 0;
    EXPECT_EQ(modbus_read_bits(ctx, 0, 1, &coil), -1);
    EXPECT_EQ(errno, EMBXILFUN);

    modbus_close(ctx);
    modbus_free(ctx);
}
#endif
