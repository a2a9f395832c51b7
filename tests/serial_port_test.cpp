// Port names, probing, the exclusive open and the line settings, on pseudo-terminals.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/handle.h"
#include "platform/serial_port.h"
#include "serial/port.h"
#include "serial/transmit.h"
#include "serial_test_util.h"
#include "sim_fixture.h"

namespace {

using std::chrono::milliseconds;

struct NameCase {
  const char* name;
  const char* path;
};

TEST(PortNames, MapToTheDeviceTable) {
  unsetenv("TR20KX_PORT_DIR");
  const NameCase cases[] = {
      {"COM1", "/dev/ttyS0"},         {"COM32", "/dev/ttyS31"},       {"COM33", "/dev/ttyUSB0"},
      {"COM64", "/dev/ttyUSB31"},     {"COM65", "/dev/ttyACM0"},      {"COM96", "/dev/ttyACM31"},
      {"\\\\.\\COM12", "/dev/ttyS11"}, {"COM0", ""},                   {"COM97", ""},
      {"COM99", ""},                  {"COM012", ""},                 {"COM", ""},
      {"COM1x", ""},                  {"LPT1", ""},                   {"\\\\.\\", ""},
  };
  for (const NameCase& c : cases) EXPECT_EQ(platform::PortDevicePath(c.name), c.path) << c.name;
}

TEST(PortNames, PortDirectoryReplacesTheTable) {
  PortDirectory ports;
  EXPECT_EQ(platform::PortDevicePath("COM0"), ports.Path() + "/COM0");
  EXPECT_EQ(platform::PortDevicePath("\\\\.\\COM97"), ports.Path() + "/COM97");
}

TEST(Probe, ListsFreePortsInNumericOrder) {
  PortDirectory ports;
  ports.Add(12);
  ports.Add(3);
  ports.Add(0);
  char list[PORT_PROBE_COUNT][PORT_NAME_SIZE];
  ASSERT_EQ(ProbePorts(list, PORT_PROBE_COUNT), 3);
  EXPECT_STREQ(list[0], "COM0");
  EXPECT_STREQ(list[1], "COM3");
  EXPECT_STREQ(list[2], "COM12");

  // The probe leaves no port open: each can be opened again at once.
  HANDLE again = CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

TEST(Probe, EmptyDirectoryListsNothing) {
  PortDirectory ports;
  char list[PORT_PROBE_COUNT][PORT_NAME_SIZE];
  EXPECT_EQ(ProbePorts(list, PORT_PROBE_COUNT), 0);
  EXPECT_EQ(OpenPort(), 0) << "an empty name opens nothing";
  EXPECT_EQ(portOpen.load(), 0);
}

struct OpenCase {
  const char* selected;
  const char* opened;  // portName after OpenPort
};

TEST(OpenPortNames, PortsFromTenOnOpenUnderTheDeviceForm) {
  PortDirectory ports;
  ports.Add(3);
  ports.Add(12);
  const OpenCase cases[] = {{"COM3", "COM3"}, {"COM12", "\\\\.\\COM12"}, {"\\\\.\\COM12", "\\\\.\\COM12"}};
  for (const OpenCase& c : cases) {
    std::snprintf(portName, sizeof portName, "%s", c.selected);
    ASSERT_EQ(OpenPort(), 1) << c.selected;
    EXPECT_STREQ(portName, c.opened);
    EXPECT_EQ(portOpen.load(), 1);
    EXPECT_EQ(portConfig.dwSize, 52u);
    ClosePort();
    EXPECT_EQ(portOpen.load(), 0);
  }
}

// Another holder of the port: a lock on its own open of the device, or the
// terminal's exclusive mode. Neither port is listed, and neither opens.
TEST(Exclusive, PortHeldElsewhereIsNeitherListedNorOpened) {
  PortDirectory ports;
  sim::AdapterSim& locked = ports.Add(4);
  sim::AdapterSim& exclusive = ports.Add(5);
  ports.Add(6);
  const int lockHolder = open(locked.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(lockHolder, 0);
  ASSERT_EQ(flock(lockHolder, LOCK_EX | LOCK_NB), 0);
  const int exclusiveHolder = open(exclusive.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(exclusiveHolder, 0);
  ASSERT_EQ(ioctl(exclusiveHolder, TIOCEXCL), 0);

  char list[PORT_PROBE_COUNT][PORT_NAME_SIZE];
  ASSERT_EQ(ProbePorts(list, PORT_PROBE_COUNT), 1);
  EXPECT_STREQ(list[0], "COM6");
  for (const char* name : {"COM4", "COM5"}) {
    std::snprintf(portName, sizeof portName, "%s", name);
    EXPECT_EQ(OpenPort(), 0) << name;
    EXPECT_EQ(portOpen.load(), 0);
  }

  // While we hold a port, a second open of it fails too.
  std::snprintf(portName, sizeof portName, "COM6");
  ASSERT_EQ(OpenPort(), 1);
  EXPECT_EQ(CreateFileA("COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  ClosePort();
  ioctl(exclusiveHolder, TIOCNXCL);
  close(exclusiveHolder);
  close(lockHolder);
}

class LineSettings : public testing::Test {
 protected:
  void SetUp() override {
    adapter_ = &ports_.Add(7);
    std::snprintf(portName, sizeof portName, "COM7");
  }
  termios ReadBack() {
    termios t{};
    const int fd = open(adapter_->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    return t;
  }
  PortDirectory ports_;
  sim::AdapterSim* adapter_ = nullptr;
};

TEST_F(LineSettings, PortTakesTheAdaptersSettings) {
  // Settings that the program does not decide, made beforehand, must survive.
  {
    const int fd = open(adapter_->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_cflag |= HUPCL;
    t.c_cc[VEOF] = 0x05;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    close(fd);
  }
  ASSERT_EQ(OpenPort(), 1);
  const WORD xonLim = portConfig.dcb.XonLim;
  const WORD xoffLim = portConfig.dcb.XoffLim;
  ASSERT_EQ(ApplyLineSettings(), 1);

  const termios t = ReadBack();
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_EQ(cfgetispeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_iflag & (IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_NE(t.c_cflag & HUPCL, 0u);
  EXPECT_EQ(t.c_cc[VEOF], 0x05);

  // Read back through the port as well: the members without a termios
  // counterpart keep the values the port had.
  COMMCONFIG now{};
  DWORD size = sizeof now;
  ASSERT_TRUE(GetCommConfig(portHandle.load(), &now, &size));
  EXPECT_EQ(now.dcb.BaudRate, 115200u);
  EXPECT_EQ(now.dcb.fOutX, 1u);
  EXPECT_EQ(now.dcb.fInX, 1u);
  EXPECT_EQ(now.dcb.fNull, 1u);
  EXPECT_EQ(now.dcb.XonLim, xonLim);
  EXPECT_EQ(now.dcb.XoffLim, xoffLim);
  EXPECT_EQ(ReapplyLineSettings(), 1);
  ClosePort();
}

TEST_F(LineSettings, RefusedAndUnsupportedSettingsFail) {
  ASSERT_EQ(OpenPort(), 1);
  platform::testing::RefuseLineSettings(true);
  EXPECT_EQ(ApplyLineSettings(), 0);
  EXPECT_EQ(portOpen.load(), 1) << "the caller closes the port, not ApplyLineSettings";
  platform::testing::RefuseLineSettings(false);

  DCB dcb = portConfig.dcb;
  dcb.BaudRate = 12345;
  EXPECT_FALSE(SetCommState(portHandle.load(), &dcb));
  dcb = portConfig.dcb;
  dcb.ByteSize = 9;
  EXPECT_FALSE(SetCommState(portHandle.load(), &dcb));
  ClosePort();
  EXPECT_FALSE(SetCommState(portHandle.load(), &dcb)) << "a closed handle takes nothing";
}

TEST_F(LineSettings, SendBlocksWhileXoffIsHeld) {
  ASSERT_EQ(OpenPort(), 1);
  ASSERT_EQ(ApplyLineSettings(), 1);
  ASSERT_TRUE(HoldWithXoff(*adapter_)) << "XON/XOFF are flow control, not data";

  std::atomic<bool> sent{false};
  std::thread sender([&] {
    SendText("AATE\r", 5);
    sent.store(true);
  });
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_FALSE(sent.load()) << "the write went out while XOFF was held";
  EXPECT_EQ(adapter_->Received(), "");
  adapter_->Send(std::string(1, sim::XON));
  sender.join();
  EXPECT_TRUE(adapter_->WaitForReceived("AATE\r", 5000));
  ClosePort();
}

TEST_F(LineSettings, CloseWakesAWriteHeldByXoff) {
  ASSERT_EQ(OpenPort(), 1);
  ASSERT_EQ(ApplyLineSettings(), 1);
  ASSERT_TRUE(HoldWithXoff(*adapter_));

  std::atomic<int> result{-1};
  std::thread sender([&] { result.store(SendText("AATE\r", 5)); });
  std::this_thread::sleep_for(milliseconds(100));
  ClosePort();  // returns only once the write has left the port
  sender.join();
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
