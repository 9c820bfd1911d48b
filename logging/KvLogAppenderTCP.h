#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLogFormater.h"
#include "logging/KvLoggerMessageFilter.h"
#include "platform/Locks.h"
#include "platform/StoppableThread.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class TTcpClient;
}

inline constexpr int IC_DEFAULTMAXTCPENTRIES = 5000;

// Result codes of the log server; only KVLOGPTCP_OK accepts an entry.
enum TKvLogServerResultCode : int {
  KVLOGPTCP_OK = 200,
  KVLOGPTCP_BADREQUEST = 400,
  KVLOGPTCP_UNAUTHORIZED = 401,
  KVLOGPTCP_PAYMENTREQUIRED = 402,
  KVLOGPTCP_FORBIDDEN = 403,
  KVLOGPTCP_NOTFOUND = 404,
  KVLOGPTCP_METHODNOTALLOWED = 405,
  KVLOGPTCP_INTERNALSERVERERROR = 500,
  KVLOGPTCP_NOTIMPLEMENTED = 501,
  KVLOGPTCP_SERVICETEMPORARYUNAVAILABLE = 503,
};

namespace kvlogging {

inline constexpr const char* SC_LOGREQUEST = "log:";

// "KVLOGPTCP_UNAUTHORIZED" for 401, "" for a code outside the table.
std::string logServerResultCodeName(int aCode);
// Reads one answer line of the log server: true for code 200; otherwise false with the reason
// in aFailure ("server result was empty", "KVLOGPTCP_UNAUTHORIZED:bad password", ...).
bool evaluateLogServerAnswer(const std::string& aAnswer, std::string& aFailure);
// The password line of the login: MD5 of the UTF-8 bytes as 32 upper-case hexadecimal
// digits, or "" for an empty password.
std::string logServerPasswordDigest(const std::string& aPassword);

} // namespace kvlogging

// The sender thread's way back to the appender's queue.
class IKvLogAppenderTCPThreadAdapter {
public:
  virtual ~IKvLogAppenderTCPThreadAdapter() = default;
  // The first queued line, removed from the queue; "" when the queue is empty.
  virtual std::string consumeEntry() = 0;
  // Puts back, at the front, an entry whose sending was cut short by a stop.
  virtual void restoreEntry(const std::string& aEntry) = 0;
};

// The pauses and waits of the sender thread. The defaults are the protocol's; tests shorten
// them.
struct TKvLogAppenderTCPTiming {
  int ConnectTimeoutMs = 5000;
  int ReconnectPauseMs = 1500; // after a failed connect and after a dropped entry
  int IdlePauseMs = 1000;      // when the queue is empty
  int RetryPauseMs = 50;       // between two attempts of one entry
  int AnswerTimeoutMs = 5000;
};

// What the appender copies into its sender thread when it starts it; later changes of the
// appender do not reach a running thread.
struct TKvLogAppenderTCPThreadSettings {
  TFormatSettings FormatSettings;
  std::string MachineIdent;
  std::string HostOrIP;
  int Port = 0;
  int RetryCount = 10;
  std::string Username;
  std::string Password;
  TKvLogAppenderTCPTiming Timing;
};

// The sender thread: keeps one connection, takes the entries one at a time and sends each as
// a "log:" request until the server accepts it or it has failed fRetryCount + 1 times. It
// owns its connection; it takes the appender's queue lock only through the adapter and never
// logs. terminate() may be called from any thread and cuts every pause and wait short (the
// loop runs on a TStoppableThread).
class TKvLogAppenderTCPThread {
public:
  // Created suspended: the thread runs from resume().
  TKvLogAppenderTCPThread(const TKvLogAppenderTCPThreadSettings& aSettings,
                          IKvLogAppenderTCPThreadAdapter& aAdapter);
  ~TKvLogAppenderTCPThread();
  TKvLogAppenderTCPThread(const TKvLogAppenderTCPThread&) = delete;
  TKvLogAppenderTCPThread& operator=(const TKvLogAppenderTCPThread&) = delete;

  void resume();
  void terminate(); // asks the thread to end; returns at once
  void waitFor();   // joins it

private:
  void Execute();
  bool connectToServer();
  void disconnectFromServer();
  // One entry's attempts; false when they were cut short by terminate().
  bool sendEntry(const std::string& aEntry);
  bool attempt(const std::string& aEntry);
  bool readAnswer(std::string& aAnswer);
  // Waits aMs or until terminate(); true when terminated.
  bool pause(int aMs);
  bool isTerminated() const { return fThread.stopRequested(); }

  std::unique_ptr<platform::TTcpClient> fTCP; // null while not connected
  TFormatSettings fFormatSettings;
  std::string fMachineIdent;
  std::string fHostOrIP;
  int fPort;
  int fRetryCount;
  std::string fUsername;
  std::string fPassword;
  IKvLogAppenderTCPThreadAdapter* fAdapter; // not owned: the appender outlives the thread
  TKvLogAppenderTCPTiming fTiming;
  TStoppableThread fThread;
};

// Delivers warnings and errors to a remote log server. append (any logging thread, under the
// logger's delivery lock) only formats the message and queues the line; the sender thread does
// all network work, so logging threads never wait for the network. The queue is bounded by
// MaxEntries; a line that does not fit is dropped and OnOverflow is called with the limit, on
// the logging thread, after the queue lock has been released. Lock order: the logger's
// delivery lock, fCSWorker, fCSBuffer; the sender thread takes fCSBuffer alone. Stopping joins
// the sender under fCSWorker; the sender never takes fCSWorker.
class TKvLogAppenderTCP : public TKvLogAppender, public IKvLogAppenderTCPThreadAdapter {
public:
  using TKvLogAppenderOverflowEvent = std::function<void(int aMaxEntries)>;

  TKvLogAppenderTCP();
  ~TKvLogAppenderTCP() override;

  void append(const TKvLoggerMessage& aEvent) override EXCLUDES(fCSWorker, fCSBuffer);
  std::string consumeEntry() override EXCLUDES(fCSBuffer);
  void restoreEntry(const std::string& aEntry) override EXCLUDES(fCSBuffer);
  virtual void start() EXCLUDES(fCSWorker);
  // Ends the sender thread; what is still queued stays queued for the next start.
  virtual void stop() EXCLUDES(fCSWorker);
  bool isStarted() const EXCLUDES(fCSWorker);

  const std::string& getMachineIdent() const { return fMachineIdent; }
  void setMachineIdent(const std::string& aIdent);
  const std::string& getHostOrIP() const { return fHostOrIP; }
  void setHostOrIP(std::string aValue) { fHostOrIP = std::move(aValue); }
  int getPort() const { return fPort; }
  void setPort(int aValue) { fPort = aValue; }
  int getRetryCount() const { return fRetryCount; }
  void setRetryCount(int aValue) { fRetryCount = aValue; }
  const std::string& getUsername() const { return fUsername; }
  void setUsername(std::string aValue) { fUsername = std::move(aValue); }
  const std::string& getPassword() const { return fPassword; }
  void setPassword(std::string aValue) { fPassword = std::move(aValue); }
  int getMaxEntries() const { return fMaxEntries.load(); }
  void setMaxEntries(int aValue) { fMaxEntries.store(aValue); }
  int getCurrentEntries() const EXCLUDES(fCSBuffer);

  TKvLoggerMessageFilterLevelSet& getLevelFilter() { return *fLevelFilter; }
  // Not owned; must outlive the appender or be reset to null first.
  TKvLoggerMessageFilter* getUserFilter() const { return fUserFilter; }
  void setUserFilter(TKvLoggerMessageFilter* aFilter) { fUserFilter = aFilter; }
  TKvLogFormaterTCP& getFormater() { return *fFormater; }
  void setTiming(const TKvLogAppenderTCPTiming& aTiming) { fTiming = aTiming; }

  TKvLogAppenderOverflowEvent OnOverflow;

private:
  TFormatSettings fFormatSettings;
  std::string fMachineIdent;
  std::string fHostOrIP;
  int fPort = 0;
  int fRetryCount = 10;
  std::string fUsername;
  std::string fPassword;
  std::atomic<int> fMaxEntries{IC_DEFAULTMAXTCPENTRIES};
  std::unique_ptr<TKvLoggerMessageFilterLevelSet> fLevelFilter;
  TKvLoggerMessageFilter* fUserFilter = nullptr; // not owned
  std::unique_ptr<TKvLogFormaterTCP> fFormater;
  mutable TCriticalSection fCSWorker ACQUIRED_BEFORE(fCSBuffer);
  std::unique_ptr<TKvLogAppenderTCPThread> fWorker GUARDED_BY(fCSWorker);
  mutable TCriticalSection fCSBuffer; // leaf
  std::deque<std::string> fBuffer GUARDED_BY(fCSBuffer);
  TKvLogAppenderTCPTiming fTiming;
};
