#include "server/ServerController.h"

#include "logging/KvLogger.h"
#include "logging/KvLoggerMessageFilter.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "platform/Files.h"
#include "platform/ProcessInfo.h"
#include "server/CoreLog.h"
#include "server/MessageFiles.h"

#include <cassert>
#include <stdexcept>

namespace {
constexpr const char* kModule = SC_LOGMODULE_SERVERCONTROLLER;
// How often kept parts of long SMS are checked for a message that timed out.
constexpr std::chrono::minutes kPartsCheckInterval{1};
constexpr std::chrono::seconds IC_ACTIVATIONSTOPWAIT{10};
std::atomic<TIWServerController*> gController{nullptr};
} // namespace

TIWServerController& IWServerController() {
  TIWServerController* controller = gController.load();
  assert(controller != nullptr && "the controller exists from start to end of the application");
  return *controller;
}

bool hasIWServerController() {
  return gController.load() != nullptr;
}

TIWServerController::TIWServerController(TServerStartParameters aParameters)
    : fParameters(std::move(aParameters)), fDatabase(std::make_unique<TBizDatabase>()),
      SMSSerialModem(std::make_unique<TVTSMSManagerSerialModem>()),
      fSerialConnection(*SMSSerialModem), fCommands(*fDatabase, fSerialConnection),
      fInbox(*fDatabase, platform::programHome() + SC_RECEIVEDFOLDER) {
  createSerialModem();
  // SMS that could not be stored while the database was away wait in the modem: they are
  // read again as soon as it is back, not only at the next polling.
  fDatabase->OnReconnected = [this] { SMSSerialModem->requestFullRead(); };
  gController.store(this);
}

TIWServerController::~TIWServerController() {
  waitForActivations();
  try {
    fDatabase->disconnect(); // ends the attempts to reconnect, whose event reaches the modem
  } catch (const std::exception&) {
    // done by the destroy hook normally; nothing is left to report to here
  }
  SMSSerialModem.reset();
  TIWServerController* self = this;
  gController.compare_exchange_strong(self, nullptr);
}

void TIWServerController::logToFile(TKvLoggerLevel aLevel, const std::string& aModuleName,
                                    const std::string& aMsg) {
  Logger().log(aLevel, aModuleName, aMsg, KVLCAT_NONE, nullptr);
}

void TIWServerController::IWServerControllerBaseCreate() {
  fSerialModemActive = false;
  fOptions.LogPath = "./log/";
  loadOptions();
  fCommands.setMaxSMSParts(fOptions.MaxSMSParts);
  fInbox.setConcatTimeout(std::chrono::minutes(fOptions.ConcatTimeoutMinutes));
  logToFile(KVLL_INFO, kModule, "starting...");
  loadConfiguration();
  SMSSerialModem->setCommLogFilename("");
  SMSSerialModem->setSerialDeviceDir(fOptions.SerialDeviceDir);
  SMSSerialModem->setSMSCheckIntervall(fOptions.SMSCheckIntervall);
  logToFile(KVLL_INFO, kModule, "connect...");
  try {
    fDatabase->connect(databaseSettings());
    logToFile(KVLL_INFO, kModule, "connected");
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModule, std::string("on connect: ") + e.what());
  }
  fPartsWatch.start(kPartsCheckInterval);
  activateSerialModem();
}

void TIWServerController::IWServerControllerBaseDestroy() {
  // An activation under way ends before the modem goes down; one that takes longer than
  // IC_ACTIVATIONSTOPWAIT (a SIM slow to take its PIN, a modem that answers late) is cut short.
  waitForActivations(std::chrono::steady_clock::now() + IC_ACTIVATIONSTOPWAIT);
  deactivateSerialModem();
  fPartsWatch.stop();
  try {
    fDatabase->disconnect();
    logToFile(KVLL_INFO, kModule, "disconnected");
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModule, std::string("on disconnect: ") + e.what());
  }
  logToFile(KVLL_INFO, kModule, "...stopped");
}

void TIWServerController::IWServerControllerBaseException(const std::exception& AException,
                                                          bool& Handled) {
  Handled = true;
  logToFile(KVLL_ERROR, kModule,
            "exception of type \"" + exceptionClassName(&AException) + "\" with message: \"" +
                AException.what() + "\"");
}

void TIWServerController::interruptStartupDelay() {
  {
    TScopedLock lock(fCSStartupDelay);
    fStartupInterrupted = true;
  }
  fStartupDelayWake.notifyAll();
}

void TIWServerController::waitStartupDelay() {
  const auto deadline = std::chrono::steady_clock::now() + fParameters.StartupDelay;
  TUniqueLock lock(fCSStartupDelay);
  while (!fStartupInterrupted && fStartupDelayWake.waitUntil(lock, deadline)) {
  }
}

void TIWServerController::loadOptions() {
  waitStartupDelay();
  readServerOptions(fParameters.OptionsFile, fOptions);

  TKvLogger& logger = Logger();
  logger.initializeFileLogging("Parlino", platform::nativePath(fOptions.LogPath), "Parlino", 10,
                               KVLFS_NEWFILES);
  logger.setCurrentLevel(fOptions.LogLevel);
  logger.info(kModule,
              "options loaded: db=" + fOptions.DatabaseHost + ":" +
                  std::to_string(fOptions.DatabasePort) + ":" + fOptions.DatabaseName +
                  "; port=" + std::to_string(fOptions.HTTPPort) +
                  "; loglevel=" + convertLevelToString(logger.getCurrentLevel(), false) +
                  "; logpath=" + fOptions.LogPath,
              KVLCAT_OPTIONS, nullptr);
  if (fOptions.LogToServer) {
    setupServerLogging();
  }
}

void TIWServerController::setupServerLogging() {
  TKvLogger& logger = Logger();
  const std::string application = "Parlino";
  const std::string target = "app=" + application + "; host=" + fOptions.LogServerHost +
                             "; port=" + std::to_string(fOptions.LogServerPort) +
                             "; user=" + fOptions.LogServerUser;
  try {
    TKvLoggerMessageFilterLevelSet levels;
    levels.setLevelAndAbove(fOptions.LogServerLevel);
    logger.initializeServerTCPLogging(application, fOptions.LogServerHost, fOptions.LogServerPort,
                                      fOptions.LogServerMachineIdent, 10, fOptions.LogServerUser,
                                      fOptions.LogServerPasswd, levels.getLevelSet());
    logger.info(kModule, "log to server activated: " + target, KVLCAT_OPTIONS, nullptr);
  } catch (const std::exception& e) {
    logger.error(kModule, "log to server NOT! activated: " + target + "; exception=" + e.what(),
                 KVLCAT_OPTIONS, nullptr);
  }
}

TBizDatabaseSettings TIWServerController::databaseSettings() const {
  TBizDatabaseSettings settings;
  settings.Name = fOptions.DatabaseName;
  settings.Host = fOptions.DatabaseHost;
  settings.Port = fOptions.DatabasePort;
  settings.Username = fOptions.DatabaseUsername;
  settings.Password = fOptions.DatabasePassword;
  settings.Role = fOptions.DatabaseRole;
  settings.Encoding = fOptions.DatabaseEncoding;
  return settings;
}

std::string TIWServerController::configurationFileName() const {
  return platform::programHome() + SC_CONFIGFILENAME;
}

bool TIWServerController::loadConfiguration() {
  bool result = false;
  const std::string fileName = configurationFileName();
  auto portAndPin = [this] {
    return "comport=COM" + std::to_string(fModemSettings.CommPort) + "; pin=" + fModemSettings.Pin;
  };
  if (!platform::fileExists(fileName)) {
    applySerialModemEntry(TSerialModemEntry());
    logToFile(KVLL_WARN, kModule, "config file NOT loaded, defaults were set: " + portAndPin());
    return false;
  }
  logToFile(KVLL_INFO, kModule, "config file found...: " + fileName);
  std::string text;
  if (auto read = platform::readWholeFile(fileName, text); !read) {
    Logger().error(kModule, "error reading xml config file: " + read.message(), KVLCAT_OPTIONS,
                   nullptr);
  } else {
    const TServerConfiguration configuration = parseServerConfiguration(text);
    if (!configuration.Error.empty()) {
      Logger().error(kModule, "error reading xml config file: " + configuration.Error,
                     KVLCAT_OPTIONS, nullptr);
    }
    for (const TSerialModemEntry& entry : configuration.SerialModems) {
      applySerialModemEntry(entry);
      result = true;
    }
  }
  logToFile(KVLL_INFO, kModule, "config file loaded: " + portAndPin());
  return result;
}

// ---------------------------------------------------------------------------------------
// The HTTP commands (TSMSCommands)

void TIWServerController::IWServerControllerBaseInvalidCommand(const TWebRequest& ARequest,
                                                               TWebResponse& AResponse) {
  if (!fHealth.dispatch(ARequest, AResponse)) {
    fCommands.dispatch(ARequest, AResponse);
  }
  fCounters.countRequest(ARequest.Path, AResponse.Status);
}

std::string TIWServerController::getHTTPParam(const TWebRequest& ARequestInfo,
                                              const std::string& aParamName) const {
  try {
    return ::getHTTPParam(ARequestInfo.QueryFields, ARequestInfo.Body, aParamName);
  } catch (const std::exception&) {
    return {};
  }
}

std::string TIWServerController::processSendSMSSerialModem(const TWebRequest& ARequestInfo,
                                                           TWebResponse& AResponseInfo) {
  return fCommands.processSendSMSSerialModem(
      readSMSCommandParams(ARequestInfo.QueryFields, ARequestInfo.Body), AResponseInfo);
}

std::string TIWServerController::processGetNewSMSSerialModem(const TWebRequest& ARequestInfo,
                                                             TWebResponse& AResponseInfo) {
  return fCommands.processGetNewSMSSerialModem(
      readSMSCommandParams(ARequestInfo.QueryFields, ARequestInfo.Body), AResponseInfo);
}

std::string TIWServerController::processClearMemorySerialModem(const TWebRequest& ARequestInfo,
                                                               TWebResponse& AResponseInfo) {
  return fCommands.processClearMemorySerialModem(
      readSMSCommandParams(ARequestInfo.QueryFields, ARequestInfo.Body), AResponseInfo);
}

bool TIWServerController::sendMessageSerialModemText(const std::string& aReceiver,
                                                     const std::string& aMessage) {
  return fCommands.sendMessageSerialModemText(aReceiver, aMessage);
}

bool TIWServerController::sendMessageSerialModemBinary(const std::string& aReceiver,
                                                       const std::vector<std::uint8_t>& aMessage) {
  return fCommands.sendMessageSerialModemBinary(aReceiver, aMessage);
}

bool TIWServerController::sendMessageSerialModemPush(const std::string& aReceiver,
                                                     const std::vector<std::uint8_t>& aMessage) {
  return fCommands.sendMessageSerialModemPush(aReceiver, aMessage);
}

std::string TIWServerController::getLogRequestInfo(const TWebRequest* ARequest) const {
  return describeWebRequest(ARequest);
}
