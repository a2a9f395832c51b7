// The receive thread against a simulated adapter: reading, NULs, stopping,
// failures, and the port closed and opened again under the running thread.
#include <gtest/gtest.h>

#include <string>

#include "platform/handle.h"
#include "platform/serial_port.h"
#include "platform/thread.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "serial/transmit.h"
#include "serial_test_util.h"
#include "sim_fixture.h"

namespace {

class ReceiveThread : public testing::Test {
 protected:
  void Open(sim::Options options = {}) {
    adapter_ = &ports_.Add(2, std::move(options));
    std::snprintf(portName, sizeof portName, "COM2");
    ASSERT_EQ(OpenPort(), 1);
    ASSERT_EQ(ApplyLineSettings(), 1);
  }
  void TearDown() override { StopReceiveThread(); }

  PortDirectory ports_;
  sim::AdapterSim* adapter_ = nullptr;
};

TEST_F(ReceiveThread, ReadsMoreThanOnePassWorthInOrder) {
  Open();
  std::string burst;
  for (int i = 0; i < 250; ++i) burst.push_back(static_cast<char>('A' + i % 26));
  adapter_->Send(burst);
  // Let all of it wait at the port before the thread starts.
  COMSTAT status{};
  DWORD errors = 0;
  for (int i = 0; i < 2000 && status.cbInQue < burst.size(); ++i) ClearCommError(portHandle.load(), &errors, &status);
  ASSERT_EQ(status.cbInQue, burst.size());

  ASSERT_EQ(StartReceiveThread(), 1);
  EXPECT_EQ(TakeFromRing(burst.size()), burst);
}

TEST_F(ReceiveThread, ReceivedNulBytesAreDropped) {
  sim::Options options;
  options.nulBytes = true;
  Open(options);
  ASSERT_EQ(StartReceiveThread(), 1);
  SendText("AATE\r", 5);
  char reply[96] = {};
  ASSERT_EQ(WaitForLines(reply, sizeof reply, 4, 1), 1);
  EXPECT_STREQ(reply, "\r\nOK\r\n");
  EXPECT_EQ(std::string(reply, 6), std::string("\r\nOK\r\n", 6));
}

TEST_F(ReceiveThread, SecondStartKeepsTheRunningThread) {
  Open();
  ASSERT_EQ(StartReceiveThread(), 1);
  HANDLE first = receiveThread;
  EXPECT_EQ(StartReceiveThread(), 1);
  EXPECT_EQ(receiveThread, first);
}

TEST_F(ReceiveThread, StopClosesThePortAndKeepsTheRing) {
  Open();
  StopReceiveThread();  // not running: nothing happens
  EXPECT_EQ(portOpen.load(), 1);

  ASSERT_EQ(StartReceiveThread(), 1);
  adapter_->Send("abc");
  ASSERT_TRUE(WaitForUnread(3));
  HANDLE old = portHandle.load();
  StopReceiveThread();
  EXPECT_EQ(receiveRunning.load(), 0);
  EXPECT_EQ(portOpen.load(), 0);
  DWORD errors = 0;
  COMSTAT status{};
  EXPECT_FALSE(ClearCommError(old, &errors, &status)) << "the port handle is closed";
  EXPECT_EQ(TakeFromRing(3), "abc");

  HANDLE again = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the port is free again";
  CloseHandle(again);
}

TEST_F(ReceiveThread, FailedCreationClosesThePort) {
  Open();
  platform::testing::FailThreadCreation(1);
  EXPECT_EQ(StartReceiveThread(), 0);
  EXPECT_EQ(receiveRunning.load(), 0);
  EXPECT_EQ(portOpen.load(), 0);
}

// The port closed and opened again while the thread runs, as after refused
// settings: the thread leaves the old handle alone and takes up the new one.
TEST_F(ReceiveThread, TakesUpThePortOpenedAgain) {
  Open();
  ASSERT_EQ(StartReceiveThread(), 1);
  for (int round = 0; round < 20; ++round) {
    adapter_->Send(std::string(300, '.'));  // keeps the thread busy reading while it is closed
    ClosePort();
    ASSERT_EQ(OpenPort(), 1);
    ASSERT_EQ(ApplyLineSettings(), 1);
    TakeFromRing(RING_SIZE, 5);
    RingReset();
  }
  // Now nothing is in flight: a marker must come through the reopened port.
  TakeFromRing(RING_SIZE, 200);
  adapter_->Send("#ok#");
  std::string seen;
  for (int i = 0; i < 50 && seen.find("#ok#") == std::string::npos; ++i) seen += TakeFromRing(4, 100);
  EXPECT_NE(seen.find("#ok#"), std::string::npos);
  StopReceiveThread();
  EXPECT_EQ(portOpen.load(), 0);
}

}  // namespace
