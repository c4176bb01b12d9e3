#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePortTree.h"
#include "link/PortDiagnosis.h"
#include "link/PortDiscovery.h"

namespace fs = std::filesystem;
using portdiscovery::EntriesFromText;
using portdiscovery::ListPorts;

namespace {

// A real pseudo-terminal: what a ports/comN link of the simulator points at.
class Pty {
public:
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            char name[128] = {};
            if (::ptsname_r(master, name, sizeof name) == 0)
                path = name;
        }
    }
    ~Pty() {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    std::string path;
};

const std::string kUsbDevice = "devices/pci0000:00/0000:00:14.0/usb1/1-1";
const std::string kUsbDevice2 = "devices/pci0000:00/0000:00:14.0/usb1/1-2";
const std::string kUsbDevice3 = "devices/pci0000:00/0000:00:14.0/usb1/1-3";

// A machine with an FTDI adapter, a second adapter whose product names its COM port, a
// CDC device whose product holds a colon, one on-board UART among 31 empty ttyS slots,
// consoles and a virtual tty under a port name, a /dev node sysfs does not know, and
// ports/ links: com7 to a pseudo-terminal, com200 through a by-id name, com9 dangling.
void BuildMachine(FakePortTree& tree, const std::string& ptyPath) {
    tree.Write(kUsbDevice + "/idVendor", "0403\n");
    tree.Write(kUsbDevice + "/product", "FT232R USB UART\n");
    tree.Write(kUsbDevice + "/manufacturer", "FTDI\n");
    tree.SetDriver(kUsbDevice + "/1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
    tree.AddTty("ttyUSB0", kUsbDevice + "/1-1:1.0/ttyUSB0");
    tree.AddDevNode("ttyUSB0");

    tree.Write(kUsbDevice2 + "/idVendor", "067b\n");
    tree.Write(kUsbDevice2 + "/product", "USB Serial Port (COM3)\n");
    tree.Write(kUsbDevice2 + "/manufacturer", "Acme\nLabs\n");
    tree.AddTty("ttyUSB1", kUsbDevice2 + "/1-2:1.0/ttyUSB1");
    tree.AddDevNode("ttyUSB1");

    tree.Write(kUsbDevice3 + "/idVendor", "2e8a\n");
    tree.Write(kUsbDevice3 + "/product", "Port: A\n");
    tree.SetDriver(kUsbDevice3 + "/1-3:1.0", "usb", "cdc_acm");
    tree.AddTty("ttyACM0", kUsbDevice3 + "/1-3:1.0");
    tree.AddDevNode("ttyACM0");

    // Newer kernels put a serial-base controller and port between the UART and its tty.
    const std::string uartPort = "devices/pnp0/00:04/00:04:0/00:04:0.0";
    tree.SetDriver("devices/pnp0/00:04", "pnp", "serial");
    tree.SetDriver("devices/pnp0/00:04/00:04:0", "serial-base", "ctrl");
    tree.SetDriver(uartPort, "serial-base", "port");
    tree.SetSubsystem("devices/pnp0/00:04/00:04:0", "serial-base");
    tree.SetSubsystem(uartPort, "serial-base");
    tree.AddTty("ttyS0", uartPort);
    tree.Write(uartPort + "/tty/ttyS0/type", "4\n");
    tree.AddDevNode("ttyS0");
    tree.SetDriver("devices/platform/serial8250", "platform", "serial8250");
    for (int k = 1; k < 32; ++k) {
        const std::string name = "ttyS" + std::to_string(k);
        tree.AddTty(name, "devices/platform/serial8250");
        tree.Write("devices/platform/serial8250/tty/" + name + "/type", "0\n");
        tree.AddDevNode(name);
    }

    for (const char* name : {"console", "tty0", "ptmx", "ttyAMA0"}) {
        tree.AddTty(name, "devices/virtual/tty");
        tree.AddDevNode(name);
    }
    tree.AddDevNode("ttyAMA1");

    tree.AddDevNode("serial/by-id/usb-FTDI_FT232R-if00-port0");
    fs::remove(tree.Roots().devRoot / "serial/by-id/usb-FTDI_FT232R-if00-port0");
    fs::create_symlink("../../ttyUSB0",
                       tree.Roots().devRoot / "serial/by-id/usb-FTDI_FT232R-if00-port0");
    tree.LinkPort(7, ptyPath);
    tree.LinkPort(200, tree.Roots().devRoot / "serial/by-id/usb-FTDI_FT232R-if00-port0");
    tree.LinkPort(9, tree.Roots().devRoot / "ttyUSB9");
}

TEST(PortDiscovery, ListsTheMachinesPortsInOrderWithDescriptions) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    FakePortTree tree;
    BuildMachine(tree, pty.path);

    int count = -1;
    std::string text = "stale";
    ASSERT_TRUE(ListPorts(count, text, tree.Roots()));

    const std::string ftdi = "FT232R USB UART (FTDI), " + tree.Dev("ttyUSB0");
    EXPECT_EQ(text, "COM1:serial, " + tree.Dev("ttyS0") + "\n" +  //
                        "COM7:" + pty.path + "\n" +               //
                        "COM33:" + ftdi + "\n" +                  //
                        "COM34:USB Serial Port (Acme Labs), " + tree.Dev("ttyUSB1") + "\n" +
                        "COM65:Port: A, " + tree.Dev("ttyACM0") + "\n" +  //
                        "COM98:" + tree.Dev("ttyAMA1") + "\n" +           //
                        "COM200:" + ftdi + "\n");
    EXPECT_EQ(count, 7);

    const std::vector<std::string> entries = EntriesFromText(text);
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0], "COM1 (serial, " + tree.Dev("ttyS0") + ")");
    EXPECT_EQ(entries[1], "COM7 (" + pty.path + ")");
    EXPECT_EQ(entries[4], "COM65 (Port: A, " + tree.Dev("ttyACM0") + ")");
}

TEST(PortDiscovery, SysfsEntryWithoutDeviceNodeIsNotOffered) {
    FakePortTree tree;
    tree.Write(kUsbDevice + "/idVendor", "0403\n");
    tree.AddTty("ttyUSB0", kUsbDevice + "/1-1:1.0/ttyUSB0");
    int count = -1;
    std::string text;
    ASSERT_TRUE(ListPorts(count, text, tree.Roots()));
    EXPECT_EQ(text, "");
    tree.AddDevNode("ttyUSB0");
    ASSERT_TRUE(ListPorts(count, text, tree.Roots()));
    // Neither product nor maker nor driver: the path alone.
    EXPECT_EQ(text, "COM33:" + tree.Dev("ttyUSB0") + "\n");
}

TEST(PortDiscovery, NoPortsGiveAnEmptyList) {
    FakePortTree tree;
    tree.AddTty("tty0", "devices/virtual/tty");
    tree.AddDevNode("tty0");
    int count = -1;
    std::string text = "stale";
    ASSERT_TRUE(ListPorts(count, text, tree.Roots()));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(EntriesFromText(text).empty());
}

TEST(PortDiscovery, WithoutSysfsEveryMappedDeviceNodeIsProbed) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    FakePortTree tree;
    fs::remove_all(tree.Roots().sysRoot);
    tree.AddDevNode("ttyS3");
    tree.AddDevNode("ttyUSB2");
    tree.LinkPort(5, pty.path);
    // A regular file is no terminal.
    std::ofstream(tree.Roots().devRoot / "ttyACM1") << "x";
    int count = -1;
    std::string text;
    ASSERT_TRUE(ListPorts(count, text, tree.Roots()));
    EXPECT_EQ(text, "COM4:" + tree.Dev("ttyS3") + "\n" + "COM5:" + pty.path + "\n" +
                        "COM35:" + tree.Dev("ttyUSB2") + "\n");
    EXPECT_EQ(count, 3);
}

TEST(PortDiagnosis, NamesTheReasonFromTheOpenError) {
    FakePortTree tree;
    const fs::path ports = tree.Roots().portsFolder;
    const fs::path dev = tree.Roots().devRoot;
    const std::string usb = tree.Dev("ttyUSB0");
    EXPECT_EQ(DescribeOpenFailure(33, ENOENT, ports, dev),
              "Urządzenie " + usb + " nie istnieje (odłączony adapter?).");
    EXPECT_EQ(DescribeOpenFailure(33, EACCES, ports, dev),
              "Brak uprawnień do " + usb +
                  " — dodaj użytkownika do grupy dialout: sudo adduser $USER dialout, potem "
                  "zaloguj się ponownie.");
    EXPECT_EQ(DescribeOpenFailure(33, EBUSY, ports, dev),
              "Port jest używany przez inny program (" + usb + ").");
    EXPECT_EQ(DescribeOpenFailure(33, EWOULDBLOCK, ports, dev),
              DescribeOpenFailure(33, EBUSY, ports, dev));
    EXPECT_NE(DescribeOpenFailure(200, 0, ports, dev).find("ports/com200"), std::string::npos);
}

TEST(PortDiagnosis, ExaminesTheDeviceWhenTheErrorIsUnknown) {
    FakePortTree tree;
    const fs::path ports = tree.Roots().portsFolder;
    const fs::path dev = tree.Roots().devRoot;
    tree.LinkPort(9, dev / "ttyUSB9");  // dangling: the adapter is gone
    EXPECT_EQ(DescribeOpenFailure(9, 0, ports, dev),
              "Urządzenie " + (ports / "com9").string() + " nie istnieje (odłączony adapter?).");
    std::ofstream(dev / "ttyS1") << "x";
    EXPECT_EQ(DescribeOpenFailure(2, 0, ports, dev),
              tree.Dev("ttyS1") + " nie jest portem szeregowym.");
    tree.AddDevNode("ttyS2");
    EXPECT_NE(DescribeOpenFailure(3, 0, ports, dev).find("nie używa go inny program"),
              std::string::npos);
}

}  // namespace
