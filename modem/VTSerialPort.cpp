#include "modem/VTSerialPort.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <exception>

namespace {

struct TBaudRateEntry {
  const char* Name;
  unsigned Value;
};

constexpr std::array<TBaudRateEntry, 15> IC_BAUDRATES{{
    {"br110", 110},
    {"br300", 300},
    {"br600", 600},
    {"br1200", 1200},
    {"br2400", 2400},
    {"br4800", 4800},
    {"br9600", 9600},
    {"br14400", 14400},
    {"br19200", 19200},
    {"br38400", 38400},
    {"br56000", 56000},
    {"br57600", 57600},
    {"br115200", 115200},
    {"br128000", 128000},
    {"br256000", 256000},
}};

// Undelivered input beyond this ends the wait for the event character early, as a full input
// buffer would (80 % of a 4 KiB buffer).
constexpr std::size_t IC_RXBUFFERALERT = 4096 * 8 / 10;

// What the transmit callbacks see: the bytes up to the first zero byte, as ANSI text.
std::string transmittedText(const char* aData, std::size_t aSize) {
  const char* end = std::find(aData, aData + aSize, '\0');
  return cp1252ToUtf8(std::string_view(aData, static_cast<std::size_t>(end - aData)));
}

platform::TSerialParity toDeviceParity(TParityType aParity) {
  switch (aParity) {
  case ptEven:
    return platform::spEven;
  case ptOdd:
    return platform::spOdd;
  case ptMark:
    return platform::spMark;
  case ptSpace:
    return platform::spSpace;
  case ptNone:
    break;
  }
  return platform::spNone;
}

platform::TSerialFlowControl toDeviceFlowControl(TFlowControl aFlowControl) {
  switch (aFlowControl) {
  case fcXON_XOFF:
    return platform::sfXonXoff;
  case fcRTS_CTS:
    return platform::sfRtsCts;
  case fsDSR_DTR:
    return platform::sfDsrDtr;
  case fcNone:
    break;
  }
  return platform::sfNone;
}

} // namespace

std::string baudRateName(TBaudRate aBaudRate) {
  return IC_BAUDRATES.at(static_cast<std::size_t>(aBaudRate)).Name;
}

unsigned baudRateValue(TBaudRate aBaudRate) {
  return IC_BAUDRATES.at(static_cast<std::size_t>(aBaudRate)).Value;
}

bool tryBaudRateFromName(std::string_view aName, TBaudRate& aResult) {
  for (std::size_t i = 0; i < IC_BAUDRATES.size(); ++i) {
    if (equalsIgnoreCase(aName, IC_BAUDRATES[i].Name)) {
      aResult = static_cast<TBaudRate>(i);
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// TVTCPRecThread

TVTCPRecThread::TVTCPRecThread(TVTSerialPort& aOwner) : Owner(aOwner) {
  Owner.fThreadIsRunning = true;
  fThread.start([this](TStoppableThread& aThread) { execute(aThread); });
}

TVTCPRecThread::~TVTCPRecThread() {
  fThread.requestStop();
  Owner.fDevice->interruptWait();
  fThread.join();
}

void TVTCPRecThread::pause() {
  {
    TScopedLock lock(fCSState);
    fPauseAsked = true;
  }
  fThread.wake();
  Owner.fDevice->interruptWait();
  if (!isOwnThread()) {
    TUniqueLock lock(fCSState);
    while (fInCycle) {
      fCondState.wait(lock);
    }
  }
}

void TVTCPRecThread::resume() {
  {
    TScopedLock lock(fCSState);
    fPauseAsked = false;
  }
  fThread.wake();
}

bool TVTCPRecThread::isPaused() const {
  TScopedLock lock(fCSState);
  return fPauseAsked;
}

bool TVTCPRecThread::stopAsked() const {
  TScopedLock lock(fCSState);
  return fPauseAsked || fThread.stopRequested();
}

bool TVTCPRecThread::sleepUnlessStopped(int aMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aMs);
  for (;;) {
    if (stopAsked()) {
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return true;
    }
    (void)fThread.waitFor(left); // cut short by pause, resume and stop: looked at above
  }
}

void TVTCPRecThread::execute(TStoppableThread& aThread) {
  while (!aThread.stopRequested()) {
    bool paused = false;
    {
      TScopedLock lock(fCSState);
      paused = fPauseAsked;
      fInCycle = !paused;
    }
    if (paused) {
      // Paused: wait until resumed or ended (resume() and stopping wake the wait).
      (void)aThread.waitFor(std::chrono::hours(1));
      continue;
    }
    try {
      cycle();
    } catch (const std::exception& e) {
      Logger().error("serialport", std::string("receive cycle: ") + e.what());
    } catch (...) {
      Logger().error("serialport", "receive cycle: unknown error");
    }
    {
      TScopedLock lock(fCSState);
      fInCycle = false;
    }
    fCondState.notifyAll();
  }
  Owner.fThreadIsRunning = false;
}

void TVTCPRecThread::cycle() {
  if (!Owner.PortIsOpen()) {
    fDataWaiting = false;
    if (sleepUnlessStopped(fDelayAutoConnect) && Owner.internalOpenPort()) {
      Owner.notify(Owner.OnReopened);
    }
    return;
  }
  // The pause lets a burst of bytes finish; when the last wait has already read bytes up to
  // the event character (or to a quiet line), they are complete and go out at once.
  if (!fDataWaiting && !sleepUnlessStopped(fDelayRecThread)) {
    return;
  }
  fDataWaiting = false;
  const auto queued = Owner.fDevice->queuedInput();
  if (!queued) {
    Owner.fLastErr = queued.error;
    loseDevice();
    return;
  }
  if (queued.count > 0 && !Owner.readQueued(queued.count, nullptr)) {
    loseDevice();
    return;
  }
  if (Owner.hasUndeliveredData()) {
    Owner.checkForSynchronize();
  }
  fDataWaiting = waitForPortEvent(fDelayRecThreadSecureWait);
}

// What arrived before the device was lost is still delivered (it belongs to the exchange
// that was running), then the device is closed until the reconnection succeeds.
void TVTCPRecThread::loseDevice() {
  if (Owner.hasUndeliveredData()) {
    Owner.checkForSynchronize();
  }
  Owner.internalClosePort();
  Owner.notify(Owner.OnLost);
}

// Waits for the next port event: any byte, or with an event character that character, much
// undelivered input, or a quiet line after some bytes. Bytes read while waiting are kept for
// the next cycle's delivery.
bool TVTCPRecThread::waitForPortEvent(int aMaxWaitMs) {
  using std::chrono::steady_clock;
  const auto deadline = steady_clock::now() + std::chrono::milliseconds(aMaxWaitMs);
  bool readSome = false;
  while (!stopAsked()) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) {
      return readSome;
    }
    if (readSome) {
      left = std::min(left, std::chrono::milliseconds(TVTSerialPort::IC_QUIETGAPMS));
    }
    const auto ready = Owner.fDevice->waitForInput(static_cast<int>(left.count()));
    if (!ready) {
      return readSome;
    }
    if (ready.count == 0) {
      if (readSome) {
        return true; // the line went quiet after some bytes
      }
      continue; // interrupted or nothing yet: the loop looks at the time and the stop state
    }
    if (!Owner.fAlertBySpecialChar) {
      return false;
    }
    const auto queued = Owner.fDevice->queuedInput();
    if (!queued || queued.count == 0) {
      return readSome; // a hang-up: the next cycle's status query notices it
    }
    bool sawEventChar = false;
    if (!Owner.readQueued(queued.count, &sawEventChar)) {
      return readSome; // the next cycle's status query notices the lost device
    }
    readSome = true;
    if (sawEventChar || Owner.undeliveredSize() >= IC_RXBUFFERALERT) {
      return true;
    }
  }
  return readSome;
}

// ---------------------------------------------------------------------------------------
// TVTSerialPort

TVTSerialPort::TVTSerialPort(std::unique_ptr<platform::IVTSerialDevice> aDevice)
    : fDevice(aDevice ? std::move(aDevice) : platform::createPosixSerialDevice()) {
  RecThread = std::make_unique<TVTCPRecThread>(*this);
}

TVTSerialPort::~TVTSerialPort() {
  ClosePort();
  RecThread.reset();
  fDataListener = nullptr;
}

void TVTSerialPort::setActive(bool aValue) {
  if (aValue) {
    OpenPort();
  } else {
    ClosePort();
  }
}

bool TVTSerialPort::OpenPort() {
  ClosePort();
  bool opened = false;
  {
    TScopedLock lock(fCSCommPortIO);
    opened = openDevice();
  }
  if (!opened) {
    RecThread->pause();
    return false;
  }
  RecThread->resume();
  return true;
}

bool TVTSerialPort::OpenPortRetrying() {
  ClosePort();
  bool opened = false;
  {
    TScopedLock lock(fCSCommPortIO);
    opened = openDevice();
  }
  RecThread->resume(); // on a closed port its cycles are the reconnection attempts
  return opened;
}

bool TVTSerialPort::ClosePort() {
  RecThread->pause();
  TScopedLock lock(fCSCommPortIO);
  if (!PortIsOpen()) {
    return true;
  }
  FlushTX();
  FlushRX();
  const auto closed = fDevice->close();
  if (!closed) {
    fLastErr = closed.error;
  }
  return closed.ok;
}

bool TVTSerialPort::openDevice() {
  const auto opened = fDevice->open(devicePath());
  if (!opened) {
    fLastErr = opened.error;
    return false;
  }
  Initialize_DCB();
  ++fOpenGeneration;
  return true;
}

bool TVTSerialPort::internalOpenPort() {
  TScopedLock lock(fCSCommPortIO);
  return !PortIsOpen() && openDevice();
}

void TVTSerialPort::internalClosePort() {
  TScopedLock lock(fCSCommPortIO);
  (void)fDevice->close();
}

void TVTSerialPort::notify(const TNotifyPortEvent& aEvent) {
  if (aEvent) {
    aEvent(this);
  }
}

void TVTSerialPort::FlushTX() {
  TScopedLock lock(fCSCommPortIO);
  if (PortIsOpen()) {
    (void)fDevice->flushOutput();
  }
}

void TVTSerialPort::FlushRX() {
  TScopedLock lock(fCSCommPortIO);
  if (!PortIsOpen()) {
    fLastErr = IC_ERRORPORTNOTOPEN;
    return;
  }
  (void)fDevice->flushInput();
  TScopedLock bufferLock(fCSReadBuffer);
  ReadBuffer.clear();
  ReadBufferRaw.clear();
}

void TVTSerialPort::Initialize_DCB() {
  TScopedLock lock(fCSCommPortIO);
  fLastErr = 0;
  if (!PortIsOpen()) {
    fLastErr = IC_ERRORPORTNOTOPEN;
    return;
  }
  const TSettings s = settings();
  platform::TSerialLineSettings line;
  line.BaudRate = baudRateValue(s.BaudRate);
  line.DataBits = 4 + static_cast<int>(s.DataBits);
  line.Parity = toDeviceParity(s.ParityType);
  line.StopBits = s.StopBits == sbOne         ? platform::ssOne
                  : s.StopBits == sbOnePtFive ? platform::ssOnePointFive
                                              : platform::ssTwo;
  line.ParityCheck = s.ParityErrorChecking;
  line.ParityReplace = s.ParityErrorReplacement;
  line.FlowControl = toDeviceFlowControl(s.FlowControl);
  line.XONChar = s.XONChar;
  line.XOFFChar = s.XOFFChar;
  line.EOFChar = s.EOFChar;
  const auto applied = fDevice->applySettings(line);
  if (!applied) {
    fLastErr = applied.error;
  }
}

bool TVTSerialPort::SendDataRaw(const char* data, std::size_t size) {
  fLastErr = 0;
  if (!PortIsOpen()) {
    fLastErr = IC_ERRORPORTNOTOPEN;
    return false;
  }
  TScopedLock lock(fCSCommPortIO);
  if (!PortIsOpen()) {
    fLastErr = IC_ERRORPORTNOTOPEN;
    return false;
  }
  const std::string text = transmittedText(data, size);
  if (OnTransmit) {
    OnTransmit(this, text);
  }
  const auto written = fDevice->write(data, size, getWriteTO());
  if (!written) {
    fLastErr = written.error;
    return false;
  }
  if (AfterTransmit) {
    AfterTransmit(this, text);
  }
  return true;
}

bool TVTSerialPort::SendData(const char16_t* data, std::size_t size) {
  return SendDataRaw(reinterpret_cast<const char*>(data), size);
}

bool TVTSerialPort::readQueued(std::size_t aCount, bool* aSawEventChar) {
  std::string bytes(aCount, '\0');
  const auto got = fDevice->read(bytes.data(), bytes.size());
  if (!got) {
    fLastErr = got.error;
    return false;
  }
  bytes.resize(got.count);
  if (getStripNullChars()) {
    std::erase(bytes, '\0');
  }
  if (aSawEventChar != nullptr) {
    *aSawEventChar = bytes.find(static_cast<char>(fSpecialEventChar.load())) != std::string::npos;
  }
  TScopedLock lock(fCSReadBuffer);
  ReadBufferRaw += bytes;
  ReadBuffer += cp1252ToUtf8(bytes);
  return true;
}

bool TVTSerialPort::hasUndeliveredData() {
  TScopedLock lock(fCSReadBuffer);
  return !ReadBufferRaw.empty();
}

std::size_t TVTSerialPort::undeliveredSize() {
  TScopedLock lock(fCSReadBuffer);
  return ReadBufferRaw.size();
}

void TVTSerialPort::checkForSynchronize() {
  if (fNoSynchronize || !fSynchronizer) {
    DoReceiving();
  } else {
    fSynchronizer([this] { DoReceiving(); });
  }
}

void TVTSerialPort::DoReceiving() {
  (void)GetData();
}

std::string TVTSerialPort::GetData() {
  std::string text;
  {
    TScopedLock lock(fCSReadBuffer);
    text.swap(ReadBuffer);
    ReadBufferRaw.clear();
  }
  deliver(text);
  return text;
}

std::string TVTSerialPort::GetDataAsRaw() {
  std::string raw;
  {
    TScopedLock lock(fCSReadBuffer);
    raw.swap(ReadBufferRaw);
    ReadBuffer.clear();
  }
  deliver(cp1252ToUtf8(raw));
  return raw;
}

void TVTSerialPort::deliver(const std::string& aText) {
  if (const auto* listener = fDataListener.load();
      listener != nullptr && dynamic_cast<const IDataListener*>(listener) != nullptr) {
    if (const TVTMethod method = VTFindMethod(listener, "handleData")) {
      method.Code(aText.c_str(), static_cast<int>(utf8ToCodePoints(aText).size()));
    }
  }
  if (OnReceive) {
    OnReceive(this, aText);
  }
  if (AfterReceive) {
    AfterReceive(this, aText);
  }
}

void TVTSerialPort::setDataListener(const TVTPublishedObject* aListener) {
  fDataListener = aListener;
}

void TVTSerialPort::setSynchronizer(TSynchronizer aSynchronizer) {
  fSynchronizer = std::move(aSynchronizer);
}

void TVTSerialPort::setSpecialEventChar(std::uint8_t c) {
  if (c != fSpecialEventChar) {
    fSpecialEventChar = c;
    fAlertBySpecialChar = c != 0;
  }
}

void TVTSerialPort::setDelayRecThread(int aValue) {
  RecThread->fDelayRecThread = aValue;
}

void TVTSerialPort::setDelayAutoConnect(int aValue) {
  RecThread->fDelayAutoConnect = aValue;
}

void TVTSerialPort::setDelayRecThreadSecureWait(int aValue) {
  RecThread->fDelayRecThreadSecureWait = aValue;
}

void TVTSerialPort::setSerialDeviceDir(const std::string& aDir) {
  TScopedLock lock(fCSSettings);
  fSettings.SerialDeviceDir = aDir;
}

std::string TVTSerialPort::getSerialDeviceDir() const {
  TScopedLock lock(fCSSettings);
  return fSettings.SerialDeviceDir;
}

std::string TVTSerialPort::devicePath() const {
  const TSettings s = settings();
  std::string path = s.SerialDeviceDir;
  if (path.empty() || path.back() != '/') {
    path += '/';
  }
  return path + "COM" + std::to_string(s.CommPort);
}

TVTSerialPort::TSettings TVTSerialPort::settings() const {
  TScopedLock lock(fCSSettings);
  return fSettings;
}

template <typename T>
void TVTSerialPort::setSetting(T TSettings::*aField, T aValue) {
  {
    TScopedLock lock(fCSSettings);
    if (fSettings.*aField == aValue) {
      return;
    }
    fSettings.*aField = aValue;
  }
  Initialize_DCB();
}

#define VT_SERIALPORT_PROPERTY(Name, Type)                                                         \
  Type TVTSerialPort::get##Name() const {                                                          \
    TScopedLock lock(fCSSettings);                                                                 \
    return fSettings.Name;                                                                         \
  }                                                                                                \
  void TVTSerialPort::Set##Name(Type aValue) {                                                     \
    setSetting(&TSettings::Name, aValue);                                                          \
  }
VT_SERIALPORT_PROPERTY(CommPort, int)
VT_SERIALPORT_PROPERTY(BaudRate, TBaudRate)
VT_SERIALPORT_PROPERTY(ParityType, TParityType)
VT_SERIALPORT_PROPERTY(ParityErrorChecking, bool)
VT_SERIALPORT_PROPERTY(ParityErrorChar, std::uint8_t)
VT_SERIALPORT_PROPERTY(ParityErrorReplacement, bool)
VT_SERIALPORT_PROPERTY(StopBits, TStopBits)
VT_SERIALPORT_PROPERTY(DataBits, TDataBits)
VT_SERIALPORT_PROPERTY(XONChar, std::uint8_t)
VT_SERIALPORT_PROPERTY(XOFFChar, std::uint8_t)
VT_SERIALPORT_PROPERTY(XONLim, std::uint16_t)
VT_SERIALPORT_PROPERTY(XOFFLim, std::uint16_t)
VT_SERIALPORT_PROPERTY(ErrorChar, std::uint8_t)
VT_SERIALPORT_PROPERTY(FlowControl, TFlowControl)
VT_SERIALPORT_PROPERTY(StripNullChars, bool)
VT_SERIALPORT_PROPERTY(EOFChar, std::uint8_t)
VT_SERIALPORT_PROPERTY(ReadTO, std::uint16_t)
VT_SERIALPORT_PROPERTY(WriteTO, std::uint16_t)
#undef VT_SERIALPORT_PROPERTY
