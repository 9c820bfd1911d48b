#pragma once

#include "logging/KvLoggerTypes.h"
#include "server/BKThread.h"
#include "server/BizDatabase.h"
#include "server/ServerConfiguration.h"
#include "server/ServerOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// How the program was started: where its options and home folder are, how long to wait.
struct TServerStartParameters {
  std::string OptionsFile = SC_DEFAULTOPTIONSFILE;
  std::chrono::milliseconds StartupDelay{15000};
};

// The one core object of the process. The main thread runs construction, the create hook and
// the destroy hook; HTTP worker threads and the modem's threads use it in between.
// Lock order: fCSSerialConnection, then the database lock; any thread may log while holding
// either (the logger's locks are leaves).
class TIWServerController {
public:
  explicit TIWServerController(TServerStartParameters aParameters = {});
  ~TIWServerController();
  TIWServerController(const TIWServerController&) = delete;
  TIWServerController& operator=(const TIWServerController&) = delete;

  // Start-up: options and logging, configuration file, database, modem; in this order.
  void IWServerControllerBaseCreate();
  // Shutdown: modem, database, then "...stopped".
  void IWServerControllerBaseDestroy();
  // For exceptions that escape a request handler: logged, and reported as handled.
  void IWServerControllerBaseException(const std::exception& AException, bool& Handled);

  void logToFile(TKvLoggerLevel aLevel, const std::string& aModuleName, const std::string& aMsg);
  void loadOptions();
  bool loadConfiguration();
  bool activateSerialModem();
  bool deactivateSerialModem();

  // Cuts the start-up wait short (a stop request arrived while waiting).
  void interruptStartupDelay();

  // The database side of the core (connection, accounts, SMS store).
  TBizDatabase& database() { return *fDatabase; }

  const TServerOptions& options() const { return fOptions; }
  const TSerialModemEntry& serialModemSettings() const { return fModemSettings; }
  bool serialModemActive() const { return fSerialModemActive; }
  // The configuration file: "Parlino.kvcfg" in the program's home folder.
  std::string configurationFileName() const;

private:
  void waitStartupDelay();
  void setupServerLogging();
  void applySerialModemEntry(const TSerialModemEntry& aEntry);
  TBizDatabaseSettings databaseSettings() const;

  TServerStartParameters fParameters;
  TServerOptions fOptions;
  TSerialModemEntry fModemSettings;
  std::unique_ptr<TBizDatabase> fDatabase;

  std::unique_ptr<std::mutex> fCSSerialConnection;
  std::atomic<bool> fSerialModemActive{false};

  std::mutex fCSStartupDelay; // leaf; guards fStartupInterrupted
  std::condition_variable fStartupDelayWake;
  bool fStartupInterrupted = false;
};

// The controller of the running process; set while one exists.
TIWServerController& IWServerController();
bool hasIWServerController();
