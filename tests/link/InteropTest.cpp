// Our master against an independent Modbus RTU slave (libmodbus) over two linked ptys.
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "link/ModbusDriver.h"
#include "tests/link/PtyPeer.h"

using namespace std::chrono_literals;

namespace {

// Copies bytes between the master sides of two ptys, so that their slave paths form a
// null-modem cable.
class PtyBridge {
public:
    PtyBridge(PtyPeer& a, PtyPeer& b) : stop(eventfd(0, EFD_CLOEXEC)) {
        thread = std::thread([this, fa = a.MasterFd(), fb = b.MasterFd()] { Relay(fa, fb); });
    }
    ~PtyBridge() {
        eventfd_write(stop, 1);
        thread.join();
        ::close(stop);
    }

private:
    void Relay(int fa, int fb) {
        pollfd fds[3] = {{fa, POLLIN, 0}, {fb, POLLIN, 0}, {stop, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 3, -1) < 0 && errno != EINTR)
                return;
            if (fds[2].revents != 0)
                return;
            for (int side = 0; side < 2; ++side) {
                if (fds[side].revents == 0)
                    continue;
                uint8_t buffer[512];
                ssize_t n = ::read(fds[side].fd, buffer, sizeof buffer);
                if (n > 0) {
                    Forward(side == 0 ? fb : fa, buffer, n);
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    fds[side].fd = -1;  // that side's slave is closed: stop watching
                }
            }
        }
    }
    static void Forward(int fd, const uint8_t* bytes, ssize_t length) {
        while (length > 0) {
            ssize_t n = ::write(fd, bytes, static_cast<size_t>(length));
            if (n > 0) {
                bytes += n;
                length -= n;
            } else if (n < 0 && errno == EAGAIN) {
                pollfd out{fd, POLLOUT, 0};
                if (poll(&out, 1, 1000) <= 0)
                    return;
            } else if (n < 0 && errno != EINTR) {
                return;
            }
        }
    }

    int stop;
    std::thread thread;
};

// A libmodbus RTU slave serving 100 holding and 100 input registers on its own thread.
class LibmodbusSlave {
public:
    LibmodbusSlave(const std::string& path, int address) {
        context = modbus_new_rtu(path.c_str(), 19200, 'E', 8, 1);
        if (context == nullptr)
            throw std::runtime_error("modbus_new_rtu");
        modbus_set_slave(context, address);
        if (modbus_connect(context) != 0)
            throw std::runtime_error(modbus_strerror(errno));
        modbus_set_indication_timeout(context, 0, 100000);
        registers = modbus_mapping_new(0, 0, 100, 100);
        thread = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave() {
        done = true;
        thread.join();
        modbus_close(context);
        modbus_mapping_free(registers);
        modbus_free(context);
    }
    void SetInput(int reg, uint16_t value) {
        std::lock_guard guard(mutex);
        registers->tab_input_registers[reg] = value;
    }
    void SetHolding(int reg, uint16_t value) {
        std::lock_guard guard(mutex);
        registers->tab_registers[reg] = value;
    }
    uint16_t Holding(int reg) {
        std::lock_guard guard(mutex);
        return registers->tab_registers[reg];
    }

private:
    void Serve() {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!done) {
            int length = modbus_receive(context, query);
            if (length > 0) {
                std::lock_guard guard(mutex);
                modbus_reply(context, query, length, registers);
            }
        }
    }

    modbus_t* context = nullptr;
    modbus_mapping_t* registers = nullptr;
    std::mutex mutex;
    std::atomic<bool> done{false};
    std::thread thread;
};

}  // namespace

TEST(Interop, MasterReadsAndWritesALibmodbusSlave) {
    PtyPeer ours, theirs;
    TempPortsFolder ports;
    ports.Link(4, ours.SlavePath());
    CModbusDriver master;
    ASSERT_TRUE(master.OpenPort(4, 19200, 'E'));
    LibmodbusSlave slave(theirs.SlavePath(), 17);
    PtyBridge bridge(ours, theirs);

    slave.SetInput(5, 0x1234);
    slave.SetHolding(10, 0x5678);  // low word first
    slave.SetHolding(11, 0x9ABC);
    slave.SetHolding(20, 0x0000);  // 21.5f = 0x41AC0000
    slave.SetHolding(21, 0x41AC);

    RegisterRequest word{5, KindWord};
    EXPECT_EQ(master.ReadInputRegisters(17, word), ResultOk);
    EXPECT_EQ(word.value, 0x1234u);
    RegisterRequest dword{10, KindDword};
    EXPECT_EQ(master.ReadHoldingRegisters(17, dword), ResultOk);
    EXPECT_EQ(dword.value, 0x9ABC5678u);
    RegisterRequest real{20, KindFloat};
    EXPECT_EQ(master.ReadHoldingRegisters(17, real), ResultOk);
    EXPECT_EQ(real.floatValue, 21.5);

    // The value travels low byte first, so a standard slave stores it byte-swapped.
    RegisterRequest write{30, KindWord, 0x1234};
    EXPECT_EQ(master.WriteRegister(17, write), ResultOk);
    EXPECT_EQ(slave.Holding(30), 0x3412);

    // Beyond the slave's map: an exception reply, recognised without waiting out the time-out.
    RegisterRequest outside{150, KindWord};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(master.ReadInputRegisters(17, outside), ResultBadReply);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}
