#include "modem/VTSerialPort.h"
#include "tests/modem/ModemTestSupport.h"

#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <atomic>
#include <mutex>

namespace {

using modemtest::TPtyLine;

// The real terminal device, counting how often settings reach it.
class TCountingDevice : public platform::IVTSerialDevice {
public:
  explicit TCountingDevice(std::atomic<int>& aApplied)
      : fInner(platform::createPosixSerialDevice()), fApplied(aApplied) {}
  platform::TSerialResult open(const std::string& aPath) override { return fInner->open(aPath); }
  platform::TSerialResult close() override { return fInner->close(); }
  bool isOpen() const override { return fInner->isOpen(); }
  int handle() const override { return fInner->handle(); }
  platform::TSerialResult applySettings(const platform::TSerialLineSettings& aSettings) override {
    ++fApplied;
    return fInner->applySettings(aSettings);
  }
  platform::TSerialResult queuedInput() override { return fInner->queuedInput(); }
  platform::TSerialResult waitForInput(int aTimeoutMs) override {
    return fInner->waitForInput(aTimeoutMs);
  }
  void interruptWait() override { fInner->interruptWait(); }
  platform::TSerialResult read(char* aBuffer, std::size_t aSize) override {
    return fInner->read(aBuffer, aSize);
  }
  platform::TSerialResult write(const char* aData, std::size_t aSize, int aTimeoutMs) override {
    return fInner->write(aData, aSize, aTimeoutMs);
  }
  platform::TSerialResult flushInput() override { return fInner->flushInput(); }
  platform::TSerialResult flushOutput() override { return fInner->flushOutput(); }

private:
  std::unique_ptr<platform::IVTSerialDevice> fInner;
  std::atomic<int>& fApplied;
};

class SerialPortTest : public ::testing::Test {
protected:
  SerialPortTest() : fLine(fDir.file("COM3")) {
    fPort.setSerialDeviceDir(fDir.path());
    fPort.SetCommPort(3);
    fPort.setNoSynchronize(true);
    fPort.OnReceive = [this](TVTSerialPort*, const std::string& aData) {
      std::lock_guard lock(fCSReceived);
      fReceived += aData;
    };
  }

  std::string received() {
    std::lock_guard lock(fCSReceived);
    return fReceived;
  }

  termios2 deviceSettings() {
    termios2 tio{};
    EXPECT_EQ(::ioctl(fLine.deviceFd(), TCGETS2, &tio), 0);
    return tio;
  }

  testsupport::TTempDir fDir;
  TPtyLine fLine;
  TVTSerialPort fPort;
  std::mutex fCSReceived;
  std::string fReceived;
};

TEST(BaudRateTest, NamesMatchWithoutRegardToCase) {
  TBaudRate rate = br110;
  EXPECT_TRUE(tryBaudRateFromName("br9600", rate));
  EXPECT_EQ(rate, br9600);
  EXPECT_TRUE(tryBaudRateFromName("BR115200", rate));
  EXPECT_EQ(rate, br115200);
  EXPECT_FALSE(tryBaudRateFromName("9600", rate));
  EXPECT_FALSE(tryBaudRateFromName("br9601", rate));
  EXPECT_EQ(rate, br115200);
  EXPECT_EQ(baudRateName(br256000), "br256000");
  EXPECT_EQ(baudRateValue(br14400), 14400u);
}

TEST_F(SerialPortTest, MissingPortStaysClosedWithThreadPaused) {
  fPort.SetCommPort(7);
  EXPECT_FALSE(fPort.OpenPort());
  EXPECT_FALSE(fPort.getActive());
  EXPECT_TRUE(fPort.isReceiveThreadPaused());
  EXPECT_EQ(fPort.LastErr(), ENOENT);
  EXPECT_EQ(fPort.ComHandle(), -1);
}

TEST_F(SerialPortTest, SettingsAreStoredWhileClosedAndAppliedAtOpen) {
  fPort.SetBaudRate(br115200);
  EXPECT_EQ(fPort.LastErr(), TVTSerialPort::IC_ERRORPORTNOTOPEN);
  EXPECT_EQ(fPort.getBaudRate(), br115200);

  ASSERT_TRUE(fPort.OpenPort());
  EXPECT_EQ(fPort.LastErr(), 0);
  termios2 tio = deviceSettings();
  EXPECT_EQ(tio.c_ospeed, 115200u);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & PARENB, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u); // raw line: no echo, no line editing
  EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_EQ(tio.c_cc[VSTART], 17);
  EXPECT_EQ(tio.c_cc[VSTOP], 19);

  // A change on the open port goes to the device at once, also a speed without B constant.
  fPort.SetBaudRate(br14400);
  fPort.SetStopBits(sbTwo); // (a pseudo-terminal keeps no parity, so stop bits stand in)
  tio = deviceSettings();
  EXPECT_EQ(tio.c_ospeed, 14400u);
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
}

TEST(SerialPortSettingsTest, EqualValueDoesNotTouchTheDevice) {
  testsupport::TTempDir dir;
  TPtyLine line(dir.file("COM1"));
  std::atomic<int> applied{0};
  TVTSerialPort port(std::make_unique<TCountingDevice>(applied));
  port.setSerialDeviceDir(dir.path());
  ASSERT_TRUE(port.OpenPort());
  EXPECT_EQ(applied, 1);
  port.SetBaudRate(br9600);
  port.SetDataBits(db8);
  port.SetCommPort(1);
  EXPECT_EQ(applied, 1);
  port.SetStopBits(sbTwo);
  EXPECT_EQ(applied, 2);
}

TEST_F(SerialPortTest, WritesReachTheLineWithCallbacksOnlyWhenOpen) {
  std::vector<std::string> transmitted;
  fPort.AfterTransmit = [&](TVTSerialPort*, const std::string& aData) {
    transmitted.push_back(aData);
  };
  fPort.SendDataRaw("AT\r\n");
  EXPECT_EQ(fPort.LastErr(), TVTSerialPort::IC_ERRORPORTNOTOPEN);
  EXPECT_TRUE(transmitted.empty());

  ASSERT_TRUE(fPort.OpenPort());
  fPort.SendDataRaw(std::string("AT+CMGS=18\r\n"));
  EXPECT_EQ(fPort.LastErr(), 0);
  EXPECT_EQ(fLine.readUntil("\r\n"), "AT+CMGS=18\r\n");
  const std::string withZero("1A\0tail", 7);
  fPort.SendDataRaw(withZero);
  EXPECT_EQ(fLine.readUntil("tail"), withZero); // all bytes go out
  ASSERT_EQ(transmitted.size(), 2u);
  EXPECT_EQ(transmitted[1], "1A"); // the callbacks see the text up to the zero byte
}

TEST_F(SerialPortTest, ReceivedBytesAreDeliveredWithAndWithoutEventChar) {
  fPort.setSpecialEventChar(13);
  ASSERT_TRUE(fPort.OpenPort());
  fLine.write("\r\nOK\r\n");
  EXPECT_TRUE(testsupport::waitFor([&] { return received() == "\r\nOK\r\n"; }));
  fLine.write("> "); // no carriage return: delivered once the wait for it runs out
  EXPECT_TRUE(testsupport::waitFor([&] { return received() == "\r\nOK\r\n> "; }));
  // ANSI code page: the byte E9 arrives as "é".
  fLine.write("\xe9\r");
  EXPECT_TRUE(testsupport::waitFor([&] { return received() == "\r\nOK\r\n> \xc3\xa9\r"; }));
}

TEST_F(SerialPortTest, CloseFlushesAndPausesTheReceiveThread) {
  ASSERT_TRUE(fPort.OpenPort());
  EXPECT_TRUE(fPort.ThreadIsRunning());
  EXPECT_FALSE(fPort.isReceiveThreadPaused());
  EXPECT_TRUE(fPort.ClosePort());
  EXPECT_TRUE(fPort.isReceiveThreadPaused());
  EXPECT_FALSE(fPort.PortIsOpen());
  EXPECT_TRUE(fPort.ClosePort()); // closing a closed port is fine
  fLine.write("late\r");
  fPort.FlushRX();
  EXPECT_EQ(fPort.LastErr(), TVTSerialPort::IC_ERRORPORTNOTOPEN);
  ASSERT_TRUE(fPort.OpenPort());
  fLine.write("again\r");
  EXPECT_TRUE(
      testsupport::waitFor([&] { return received().find("again\r") != std::string::npos; }));
}

TEST_F(SerialPortTest, LostDeviceIsReopenedByTheReceiveThread) {
  fPort.setDelayAutoConnect(100);
  ASSERT_TRUE(fPort.OpenPort());
  fLine.unplug();
  EXPECT_TRUE(testsupport::waitFor([&] { return !fPort.PortIsOpen(); }));
  fPort.SendDataRaw("AT\r\n");
  EXPECT_EQ(fPort.LastErr(), TVTSerialPort::IC_ERRORPORTNOTOPEN);
  EXPECT_FALSE(fPort.isReceiveThreadPaused()); // lost, not closed: it keeps trying

  fLine.plug();
  EXPECT_TRUE(testsupport::waitFor([&] { return fPort.PortIsOpen(); }));
  fPort.SendDataRaw("AT\r\n");
  EXPECT_EQ(fPort.LastErr(), 0);
  EXPECT_EQ(fLine.readUntil("\r\n"), "AT\r\n");
  fLine.write("OK\r");
  EXPECT_TRUE(testsupport::waitFor([&] { return received() == "OK\r"; }));
}

// A listener that publishes "handleData" receives the text and its length in characters.
class TRecordingListener : public TVTPublishedObject, public IDataListener {
public:
  TRecordingListener() {
    publishMethod("handleData", [this](const char* aText, int aLength) {
      std::lock_guard lock(fCS);
      fText += aText;
      fLength += aLength;
    });
  }
  std::mutex fCS;
  std::string fText;
  int fLength = 0;
};

TEST_F(SerialPortTest, DataListenerReceivesTextAndLength) {
  TRecordingListener listener;
  fPort.setDataListener(&listener);
  ASSERT_TRUE(fPort.OpenPort());
  fLine.write("\xe9t\xe9\r");
  EXPECT_TRUE(testsupport::waitFor([&] {
    std::lock_guard lock(listener.fCS);
    return listener.fLength == 4;
  }));
  fPort.ClosePort();
  fPort.setDataListener(nullptr);
  EXPECT_EQ(listener.fText, "\xc3\xa9t\xc3\xa9\r");
}

} // namespace
