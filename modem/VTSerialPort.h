#pragma once

#include "common/VTobjecttools.h"
#include "platform/Locks.h"
#include "platform/SerialDevice.h"
#include "platform/StoppableThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

enum TBaudRate {
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TParityType { ptNone, ptEven, ptOdd, ptMark, ptSpace };
enum TStopBits { sbOne, sbOnePtFive, sbTwo };
enum TDataBits { db4, db5, db6, db7, db8 };
enum TFlowControl { fcNone, fcXON_XOFF, fcRTS_CTS, fsDSR_DTR };

// The member name as the configuration file writes it ("br9600").
std::string baudRateName(TBaudRate aBaudRate);
// The line speed in baud.
unsigned baudRateValue(TBaudRate aBaudRate);
// Reads a member name without regard to case ("BR115200" too); false leaves aResult alone.
bool tryBaudRateFromName(std::string_view aName, TBaudRate& aResult);

// A listener given to the port as DataListener implements this interface and publishes a
// handler "handleData" that receives the received text and its length.
class IDataListener {
public:
  virtual ~IDataListener() = default;
};

class TVTSerialPort;
using TNotifyTXEvent = std::function<void(TVTSerialPort* Sender, const std::string& data)>;
using TNotifyRXEvent = std::function<void(TVTSerialPort* Sender, const std::string& data)>;
using TNotifyPortEvent = std::function<void(TVTSerialPort* Sender)>;

// The receive thread of one port. It exists from the port's construction to its destruction
// and runs its cycles only while not paused. Pausing and ending take effect between cycles
// (the pauses inside a cycle are cut short); pause() called from another thread returns once
// the current cycle has ended, so it never waits inside a lock or a delivery callback of the
// thread. The delays are atomics: any thread may set them. Lock: fCSState is a leaf.
class TVTCPRecThread {
public:
  explicit TVTCPRecThread(TVTSerialPort& aOwner); // starts paused
  ~TVTCPRecThread();                              // ends and joins the thread
  TVTCPRecThread(const TVTCPRecThread&) = delete;
  TVTCPRecThread& operator=(const TVTCPRecThread&) = delete;

  void pause() EXCLUDES(fCSState);
  void resume() EXCLUDES(fCSState);
  bool isPaused() const EXCLUDES(fCSState);
  bool isOwnThread() const { return fThread.isCurrentThread(); }

  std::atomic<int> fDelayRecThread{20};
  std::atomic<int> fDelayAutoConnect{3000};
  std::atomic<int> fDelayRecThreadSecureWait{250};

private:
  void execute(TStoppableThread& aThread);
  void cycle();
  // Sleeps aMs unless a pause or the end is asked for; false when cut short.
  bool sleepUnlessStopped(int aMs);
  bool stopAsked() const EXCLUDES(fCSState);
  // Waits for the next port event; true when bytes were read meanwhile and wait for delivery.
  bool waitForPortEvent(int aMaxWaitMs);
  void loseDevice();

  TVTSerialPort& Owner;
  mutable TCriticalSection fCSState;
  TConditionVariable fCondState;
  bool fPauseAsked GUARDED_BY(fCSState) = true;
  bool fInCycle GUARDED_BY(fCSState) = false;
  bool fDataWaiting = false; // only the thread itself: the last wait read bytes already
  TStoppableThread fThread;  // last: its body runs on the fields above
};

// One serial line, COM port n being the device <SerialDeviceDir>/COM<n>. Opening applies the
// line settings; a receive thread collects incoming bytes and delivers them through the
// callbacks, on itself when NoSynchronize is true. A lost device (read or status failure)
// is reopened by the receive thread every DelayAutoConnect ms; OnLost and OnReopened tell the
// owner on the receive thread. With an event character, bytes are delivered as soon as it
// arrives or the line has been quiet for IC_QUIETGAPMS after some bytes, whichever comes
// first, so that a modem's prompt (which has no line end) is not held back.
//
// Threads and locks: writers may call SendDataRaw from any thread. fCSCommPortIO
// (re-entrant, as callbacks may write again) serialises writes with their OnTransmit and
// AfterTransmit callbacks, and also opening, closing and applying settings, so a write never
// meets a descriptor being closed. The receive thread reads the device without that lock;
// the descriptor is changed only on the receive thread or while it is paused. Lock order:
// fCSCommPortIO, then fCSSettings and fCSReadBuffer (leaves). Receive callbacks, OnLost and
// OnReopened run on the receive thread without any port lock held. No operation raises:
// open and close give a boolean, the rest report through LastErr (999 while the port is not
// open, else the errno of the last failed call).
class TVTSerialPort {
public:
  static constexpr int IC_ERRORPORTNOTOPEN = 999;
  static constexpr const char* SC_DEFAULTSERIALDEVICEDIR = "/dev/parlino";
  // With an event character: after this long without a byte, what arrived is delivered.
  static constexpr int IC_QUIETGAPMS = 5;

  // Without a device the port uses the POSIX terminal device.
  explicit TVTSerialPort(std::unique_ptr<platform::IVTSerialDevice> aDevice = {});
  ~TVTSerialPort();
  TVTSerialPort(const TVTSerialPort&) = delete;
  TVTSerialPort& operator=(const TVTSerialPort&) = delete;

  bool OpenPort();
  // Opens like OpenPort; when the device is not there, the receive thread tries again every
  // DelayAutoConnect ms, as for a lost device, and OnReopened tells when it has appeared.
  // True when the port is open at once.
  bool OpenPortRetrying();
  bool ClosePort();
  // Counts the successful opens, the receive thread's reopenings included: a different
  // value means the device on the line may be a different one since.
  unsigned openGeneration() const { return fOpenGeneration; }
  bool PortIsOpen() const { return fDevice->isOpen(); }
  bool getActive() const { return PortIsOpen(); }
  void setActive(bool aValue);

  // True when every byte went out; LastErr tells why not.
  bool SendDataRaw(const char* data, std::size_t size);
  bool SendDataRaw(std::string_view aBytes) { return SendDataRaw(aBytes.data(), aBytes.size()); }
  // Writes size bytes of a UTF-16 text buffer as they lie in memory.
  bool SendData(const char16_t* data, std::size_t size);

  std::string GetData();
  std::string GetDataAsRaw();
  void FlushTX();
  void FlushRX();

  int LastErr() const { return fLastErr; }
  int ComHandle() const { return fDevice->handle(); }
  bool ThreadIsRunning() const { return fThreadIsRunning; }
  bool isReceiveThreadPaused() const { return RecThread->isPaused(); }
  // Bytes read from the device and not yet delivered to the callbacks.
  std::size_t undeliveredSize() EXCLUDES(fCSReadBuffer);

  // Where COM<n> devices are found; takes effect at the next open.
  void setSerialDeviceDir(const std::string& aDir);
  std::string getSerialDeviceDir() const;
  std::string devicePath() const; // <SerialDeviceDir>/COM<CommPort>

  int getCommPort() const;
  TBaudRate getBaudRate() const;
  TParityType getParityType() const;
  bool getParityErrorChecking() const;
  std::uint8_t getParityErrorChar() const;
  bool getParityErrorReplacement() const;
  TStopBits getStopBits() const;
  TDataBits getDataBits() const;
  std::uint8_t getXONChar() const;
  std::uint8_t getXOFFChar() const;
  std::uint16_t getXONLim() const;
  std::uint16_t getXOFFLim() const;
  std::uint8_t getErrorChar() const;
  TFlowControl getFlowControl() const;
  bool getStripNullChars() const;
  std::uint8_t getEOFChar() const;
  std::uint16_t getReadTO() const;
  std::uint16_t getWriteTO() const;

  // Each stores a different value and re-applies all settings to an open port.
  void SetCommPort(int aValue);
  void SetBaudRate(TBaudRate aValue);
  void SetParityType(TParityType aValue);
  void SetParityErrorChecking(bool aValue);
  void SetParityErrorChar(std::uint8_t aValue);
  void SetParityErrorReplacement(bool aValue);
  void SetStopBits(TStopBits aValue);
  void SetDataBits(TDataBits aValue);
  void SetXONChar(std::uint8_t aValue);
  void SetXOFFChar(std::uint8_t aValue);
  void SetXONLim(std::uint16_t aValue);
  void SetXOFFLim(std::uint16_t aValue);
  void SetErrorChar(std::uint8_t aValue);
  void SetFlowControl(TFlowControl aValue);
  void SetStripNullChars(bool aValue);
  void SetEOFChar(std::uint8_t aValue);
  void SetReadTO(std::uint16_t aValue);
  void SetWriteTO(std::uint16_t aValue);

  std::uint8_t getSpecialEventChar() const { return fSpecialEventChar; }
  void setSpecialEventChar(std::uint8_t c);
  bool getNoSynchronize() const { return fNoSynchronize; }
  void setNoSynchronize(bool aValue) { fNoSynchronize = aValue; }
  bool getUseOverlappedWrite() const { return fUseOverlappedIO; }
  void setUseOverlappedWrite(bool aValue) { fUseOverlappedIO = aValue; }

  int getDelayRecThread() const { return RecThread->fDelayRecThread; }
  int getDelayAutoConnect() const { return RecThread->fDelayAutoConnect; }
  int getDelayRecThreadSecureWait() const { return RecThread->fDelayRecThreadSecureWait; }
  void setDelayRecThread(int aValue);
  void setDelayAutoConnect(int aValue);
  void setDelayRecThreadSecureWait(int aValue);

  // Not owned; the owner clears it before the listener goes away.
  void setDataListener(const TVTPublishedObject* aListener);

  // Delivery with NoSynchronize false runs through this hook on the owner's main loop while
  // the receive thread waits; without a hook it runs on the receive thread.
  using TSynchronizer = std::function<void(const std::function<void()>& aCall)>;
  void setSynchronizer(TSynchronizer aSynchronizer);

  // Set before the port is used; called with the port's locks not held.
  TNotifyTXEvent OnTransmit;
  TNotifyRXEvent OnReceive;
  TNotifyTXEvent AfterTransmit;
  TNotifyRXEvent AfterReceive;
  TNotifyPortEvent OnLost;     // the device went away (read or status failure)
  TNotifyPortEvent OnReopened; // the receive thread has opened the device again

private:
  friend class TVTCPRecThread;

  struct TSettings {
    std::string SerialDeviceDir = SC_DEFAULTSERIALDEVICEDIR;
    int CommPort = 1;
    TBaudRate BaudRate = br9600;
    TParityType ParityType = ptNone;
    bool ParityErrorChecking = false;
    std::uint8_t ParityErrorChar = 0;
    bool ParityErrorReplacement = false;
    TStopBits StopBits = sbOne;
    TDataBits DataBits = db8;
    std::uint8_t XONChar = 17;
    std::uint8_t XOFFChar = 19;
    std::uint16_t XONLim = 1024;
    std::uint16_t XOFFLim = 2048;
    std::uint8_t ErrorChar = 0;
    TFlowControl FlowControl = fcNone;
    bool StripNullChars = false;
    std::uint8_t EOFChar = 0;
    std::uint16_t ReadTO = 5000;
    std::uint16_t WriteTO = 5000;
  };

  template <typename T>
  void setSetting(T TSettings::*aField, T aValue);
  TSettings settings() const;
  void Initialize_DCB();
  bool openDevice() REQUIRES(fCSCommPortIO);
  bool internalOpenPort();
  void internalClosePort();
  // Receive thread: reads aCount bytes into the receive buffers; false when the read failed.
  bool readQueued(std::size_t aCount, bool* aSawEventChar) EXCLUDES(fCSReadBuffer);
  bool hasUndeliveredData() EXCLUDES(fCSReadBuffer);
  void checkForSynchronize();
  void DoReceiving();
  void deliver(const std::string& aText);
  void notify(const TNotifyPortEvent& aEvent);

  std::unique_ptr<platform::IVTSerialDevice> fDevice;
  mutable TRecursiveCriticalSection fCSCommPortIO ACQUIRED_BEFORE(fCSSettings, fCSReadBuffer);
  mutable TCriticalSection fCSSettings;
  TSettings fSettings GUARDED_BY(fCSSettings);
  TCriticalSection fCSReadBuffer;
  std::string ReadBuffer GUARDED_BY(fCSReadBuffer);
  std::string ReadBufferRaw GUARDED_BY(fCSReadBuffer);
  std::atomic<unsigned> fOpenGeneration{0};
  std::atomic<int> fLastErr{0};
  std::atomic<bool> fThreadIsRunning{false};
  std::atomic<bool> fNoSynchronize{false};
  std::atomic<bool> fAlertBySpecialChar{false};
  std::atomic<std::uint8_t> fSpecialEventChar{0};
  std::atomic<bool> fUseOverlappedIO{true};
  std::atomic<const TVTPublishedObject*> fDataListener{nullptr};
  TSynchronizer fSynchronizer;
  std::unique_ptr<TVTCPRecThread> RecThread; // last: it runs on the fields above
};
