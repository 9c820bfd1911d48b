#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A serial device as the serial port sees it: open a path, apply line settings, look at the
// input queue, wait for input with a limit, read, write, close. Nothing here throws; every
// failure carries the errno of the call that failed.
namespace platform {

struct [[nodiscard]] TSerialResult {
  bool ok = true;
  int error = 0;         // errno of the failure
  std::size_t count = 0; // bytes read, written or queued; 1 from waitForInput when readable
  explicit operator bool() const { return ok; }
  static TSerialResult success(std::size_t aCount = 0) { return {true, 0, aCount}; }
  static TSerialResult failure(int aError, std::size_t aCount = 0) {
    return {false, aError, aCount};
  }
};

enum TSerialParity { spNone, spOdd, spEven, spMark, spSpace };
enum TSerialStopBits { ssOne, ssOnePointFive, ssTwo };
enum TSerialFlowControl { sfNone, sfXonXoff, sfRtsCts, sfDsrDtr };

// Line settings applied to the device as a whole. A device without a counterpart for a
// setting (DSR/DTR handshake, 4 data bits) reports EINVAL for the whole call.
struct TSerialLineSettings {
  unsigned BaudRate = 9600;
  int DataBits = 8; // 5..8
  TSerialParity Parity = spNone;
  TSerialStopBits StopBits = ssOne;
  bool ParityCheck = false;   // check the parity of received bytes
  bool ParityReplace = false; // a checked byte in error is read as 0 instead of being dropped
  TSerialFlowControl FlowControl = sfNone;
  unsigned char XONChar = 17;
  unsigned char XOFFChar = 19;
  unsigned char EOFChar = 0; // 0 leaves the device's own
};

// One open serial device. The caller serialises open, close and applySettings against
// every other call; read, queuedInput and waitForInput may run on one thread while write
// runs on another.
class IVTSerialDevice {
public:
  virtual ~IVTSerialDevice() = default;

  // Opens for reading and writing, exclusively, without becoming the controlling terminal.
  virtual TSerialResult open(const std::string& aPath) = 0;
  virtual TSerialResult close() = 0;
  virtual bool isOpen() const = 0;
  virtual int handle() const = 0; // -1 while closed

  virtual TSerialResult applySettings(const TSerialLineSettings& aSettings) = 0;
  // count = the bytes waiting in the input queue. Fails (EIO) once the device has hung up,
  // for example when a USB modem was unplugged.
  virtual TSerialResult queuedInput() = 0;
  // Waits at most aTimeoutMs for input or a hang-up; count 1 when something is ready.
  virtual TSerialResult waitForInput(int aTimeoutMs) = 0;
  // Ends a waitForInput running on another thread early (count 0); any thread may call it.
  virtual void interruptWait() = 0;
  // Reads what is there without waiting, at most aSize bytes; a hang-up is EIO.
  virtual TSerialResult read(char* aBuffer, std::size_t aSize) = 0;
  // Writes all of aData, waiting at most aTimeoutMs in total for room in the output queue;
  // a partial write ends with ETIMEDOUT and count = the bytes written.
  virtual TSerialResult write(const char* aData, std::size_t aSize, int aTimeoutMs) = 0;
  virtual TSerialResult flushInput() = 0;
  virtual TSerialResult flushOutput() = 0;
};

// The device of a POSIX terminal (termios).
std::unique_ptr<IVTSerialDevice> createPosixSerialDevice();

} // namespace platform
