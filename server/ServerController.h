#pragma once

#include "logging/KvLoggerTypes.h"
#include "platform/Locks.h"
#include "server/BKThread.h"
#include "server/BizDatabase.h"
#include "server/GatewayCounters.h"
#include "server/GatewayStatus.h"
#include "server/SMSCommands.h"
#include "server/SMSInbox.h"
#include "server/SMSPartsWatch.h"
#include "server/SerialModemAdapter.h"
#include "server/ServerConfiguration.h"
#include "server/ServerOptions.h"
#include "webframework/WebRequest.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// How the program was started: where its options and home folder are, how long to wait.
struct TServerStartParameters {
  std::string OptionsFile = SC_DEFAULTOPTIONSFILE;
  std::chrono::milliseconds StartupDelay{15000};
};

// The one core object of the process. The main thread runs construction, the create hook and
// the destroy hook; HTTP worker threads and the modem's threads use it in between. It owns
// the parts and keeps every operation of the core by name; the behaviour of the HTTP commands
// lives in TSMSCommands, that of a received SMS in TSMSInbox, the database work in
// TBizDatabase, "/status" and "/metrics" in TGatewayHealth (the controller is their source).
// Lock order: the serial modem adapter's fCSSerialConnection (the core's serial lock), then
// a per-account unread lock of the commands, then the database lock; the inbox's lock of kept
// SMS parts before the database lock; any thread may log while holding any of them (the
// logger's locks are leaves).
class TVTSMSManager;
class TVTSMSManagerMessage;
class TVTSMSManagerSerialModem;

class TIWServerController : public IGatewayStatusSource {
public:
  explicit TIWServerController(TServerStartParameters aParameters = {});
  ~TIWServerController() override;
  TIWServerController(const TIWServerController&) = delete;
  TIWServerController& operator=(const TIWServerController&) = delete;

  // Start-up: options and logging, configuration file, database, modem; in this order.
  void IWServerControllerBaseCreate();
  // Shutdown: modem, database, then "...stopped".
  void IWServerControllerBaseDestroy();
  // For exceptions that escape a request handler: logged, and reported as handled.
  void IWServerControllerBaseException(const std::exception& AException, bool& Handled);

  void logToFile(TKvLoggerLevel aLevel, const std::string& aModuleName, const std::string& aMsg);
  void loadOptions() EXCLUDES(fCSStartupDelay);
  bool loadConfiguration();
  bool activateSerialModem() EXCLUDES(fCSActivationThreads);
  bool deactivateSerialModem();

  // The HTTP commands: every request that is not a page request of the framework.
  void IWServerControllerBaseInvalidCommand(const TWebRequest& ARequest, TWebResponse& AResponse);
  std::string getHTTPParam(const TWebRequest& ARequestInfo, const std::string& aParamName) const;
  std::string processSendSMSSerialModem(const TWebRequest& ARequestInfo,
                                        TWebResponse& AResponseInfo);
  std::string processGetNewSMSSerialModem(const TWebRequest& ARequestInfo,
                                          TWebResponse& AResponseInfo);
  std::string processClearMemorySerialModem(const TWebRequest& ARequestInfo,
                                            TWebResponse& AResponseInfo);
  bool sendMessageSerialModemText(const std::string& aReceiver, const std::string& aMessage);
  bool sendMessageSerialModemBinary(const std::string& aReceiver,
                                    const std::vector<std::uint8_t>& aMessage);
  bool sendMessageSerialModemPush(const std::string& aReceiver,
                                  const std::vector<std::uint8_t>& aMessage);
  std::string getLogRequestInfo(const TWebRequest* ARequest) const;

  // The modem driver's events. The received event answers whether the SMS is stored (its
  // file written and its row saved): only then does the driver delete it from the modem.
  bool SMSSerialModemSMSReceived(TVTSMSManager* Sender, const std::string& aSender,
                                 const std::string& aMessageText, const std::string& aMessageData,
                                 const TVTSMSManagerMessage& aSMSInfo);
  void SMSSerialModemSMSSent(TVTSMSManager* Sender, const std::string& aSender,
                             const std::string& aMessageText, const std::string& aMessageData,
                             const TVTSMSManagerMessage& aSMSInfo);
  void SMSSerialModemCodeError(TVTSMSManager* Sender, const std::string& aRecipientToCode,
                               const std::string& aTextToCode, const std::string& aErrorMessage);
  void SMSSerialModemDecodeError(TVTSMSManager* Sender, const std::string& aPDUToDecode,
                                 const std::string& aErrorMessage);
  void SMSSerialModemAutoReadSMSError(TVTSMSManager* Sender, int aErrorCode);

  TVTSMSManagerSerialModem& serialModem() { return *SMSSerialModem; }
  // The core's use of the modem, under the core's serial lock.
  ISMSModem& serialConnection() { return fSerialConnection; }
  TSMSCommands& commands() { return fCommands; }
  TSMSInbox& inbox() { return fInbox; }
  TGatewayCounters& counters() { return fCounters; }

  // The source of "/status" and "/metrics" (ServerStatus.cpp).
  EAccess checkAdministrator(const std::string& aUser, const std::string& aPassword,
                             bool aIsMD5) override;
  TGatewayStatusSnapshot statusSnapshot() override;

  // Cuts the start-up wait short (a stop request arrived while waiting).
  void interruptStartupDelay() EXCLUDES(fCSStartupDelay);

  // The database side of the core (connection, accounts, SMS store).
  TBizDatabase& database() { return *fDatabase; }

  const TServerOptions& options() const { return fOptions; }
  const TSerialModemEntry& serialModemSettings() const { return fModemSettings; }
  bool serialModemActive() const { return fSerialModemActive; }
  // The configuration file: "Parlino.kvcfg" in the program's home folder.
  std::string configurationFileName() const;

private:
  void waitStartupDelay() EXCLUDES(fCSStartupDelay);
  void setupServerLogging();
  void applySerialModemEntry(const TSerialModemEntry& aEntry);
  TBizDatabaseSettings databaseSettings() const;
  void createSerialModem();
  void activateSerialModemWork();
  // Waits for the activations under way; one still running at aDeadline has its dialogue cut
  // short, so that a stop never waits long for a modem.
  void waitForActivations(std::chrono::steady_clock::time_point aDeadline =
                              std::chrono::steady_clock::time_point::max())
      EXCLUDES(fCSActivationThreads);
  std::string modemPortText() const;

  TServerStartParameters fParameters;
  TServerOptions fOptions;
  TSerialModemEntry fModemSettings;
  std::unique_ptr<TBizDatabase> fDatabase;
  std::unique_ptr<TVTSMSManagerSerialModem> SMSSerialModem;
  TSerialModemAdapter fSerialConnection; // holds the core's serial lock
  TSMSCommands fCommands;
  TSMSInbox fInbox;
  TSMSPartsWatch fPartsWatch{fInbox};
  TGatewayCounters fCounters;
  TGatewayHealth fHealth{*this};
  TCriticalSection fCSActivationThreads; // leaf; never held while joining
  std::vector<std::unique_ptr<TBKThread>> fActivationThreads GUARDED_BY(fCSActivationThreads);

  std::atomic<bool> fSerialModemActive{false};

  TCriticalSection fCSStartupDelay; // leaf
  TConditionVariable fStartupDelayWake;
  bool fStartupInterrupted GUARDED_BY(fCSStartupDelay) = false;
};

// The controller of the running process; set while one exists.
TIWServerController& IWServerController();
bool hasIWServerController();
