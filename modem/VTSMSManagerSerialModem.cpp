#include "modem/VTSMSManagerSerialModem.h"

#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"
#include "modem/VTSerialModemAnswers.h"
#include "platform/Files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

namespace {

const char* const SC_MODULE = "smsmodem";
const char* const SC_MARKEROK = "OK";
const char* const SC_MARKERPROMPT = ">";
const char* const SC_UNKNOWNINFO = "[?] ";
constexpr char IC_CTRLZ = 0x1A;
constexpr char IC_ESC = 0x1B;
constexpr int IC_STOREDMO_UNSENT = 2; // +CMGL states of messages written to the modem, not
constexpr int IC_STOREDMO_SENT = 3;   // received: they are left alone

// The trace entry's date and time: local time with milliseconds, from the platform clock.
std::string localTimestamp() {
  static const TFormatSettings settings = [] {
    TFormatSettings s;
    initGermanFormatSettings(s);
    return s;
  }();
  return formatDateTime("yyyy-MM-dd hh:mm:ss.zzz", NowLocal(), settings);
}

bool isReceivedState(int aState) {
  return aState != IC_STOREDMO_UNSENT && aState != IC_STOREDMO_SENT;
}

} // namespace

TVTSMSManagerSerialModem::TVTSMSManagerSerialModem(
    std::unique_ptr<platform::IVTSerialDevice> aDevice)
    : fSerialPort(std::make_unique<TVTSerialPort>(std::move(aDevice))) {
  initGermanFormatSettings(fFormatSettings);
  fFormatSettings.ShortDateFormat = "yyyy.MM.dd";
  fSerialPort->setUseOverlappedWrite(true);
  fSerialPort->setNoSynchronize(true);
  fSerialPort->SetCommPort(1);
  fSerialPort->SetBaudRate(br9600);
  fSerialPort->SetParityType(ptNone);
  fSerialPort->SetStopBits(sbOne);
  fSerialPort->SetDataBits(db8);
  fSerialPort->SetFlowControl(fcNone);
  fSerialPort->OnReceive = [this](TVTSerialPort* aSender, const std::string& aData) {
    serialPortReceiveCB(aSender, aData);
  };
  fSerialPort->AfterTransmit = [this](TVTSerialPort* aSender, const std::string& aData) {
    serialPortAfterTransmitCB(aSender, aData);
  };
  fSerialPort->OnLost = [this](TVTSerialPort*) { serialPortLost(); };
  fSerialPort->OnReopened = [this](TVTSerialPort*) { serialPortReopened(); };
  fSerialPort->setSpecialEventChar(13);
}

TVTSMSManagerSerialModem::~TVTSMSManagerSerialModem() {
  // Down while this object is whole: the polling thread ends, the port closes; then the
  // port (and its receive thread) goes before the fields its receive callback uses.
  setActive(false);
  stopReceiveThread();
  fSerialPort.reset();
}

int TVTSMSManagerSerialModem::getCommPort() const {
  return fSerialPort->getCommPort();
}

void TVTSMSManagerSerialModem::setCommPort(int aValue) {
  fSerialPort->SetCommPort(aValue);
}

TBaudRate TVTSMSManagerSerialModem::getBaudRate() const {
  return fSerialPort->getBaudRate();
}

void TVTSMSManagerSerialModem::setBaudRate(TBaudRate aValue) {
  fSerialPort->SetBaudRate(aValue);
}

void TVTSMSManagerSerialModem::setSerialDeviceDir(const std::string& aDir) {
  fSerialPort->setSerialDeviceDir(aDir);
}

std::string TVTSMSManagerSerialModem::getSerialDeviceDir() const {
  return fSerialPort->getSerialDeviceDir();
}

std::string TVTSMSManagerSerialModem::getCommLogFilename() const {
  TScopedLock lock(fCSWriteToCommLogFile);
  return fCommLogFilename;
}

void TVTSMSManagerSerialModem::setCommLogFilename(const std::string& aFilename) {
  TScopedLock lock(fCSWriteToCommLogFile);
  fCommLogFilename = aFilename;
}

std::string TVTSMSManagerSerialModem::getModemVendorInfo() const {
  TScopedLock lock(fCSInfo);
  return fModemVendorInfo;
}

std::string TVTSMSManagerSerialModem::getModemModelInfo() const {
  TScopedLock lock(fCSInfo);
  return fModemModelInfo;
}

std::string TVTSMSManagerSerialModem::getModemSerialNumberInfo() const {
  TScopedLock lock(fCSInfo);
  return fModemSerialNumberInfo;
}

std::string TVTSMSManagerSerialModem::getNewMessageNotices() const {
  TScopedLock lock(fCSInfo);
  return fNewMessageNotices;
}

TVTModemNetworkStatus TVTSMSManagerSerialModem::getNetworkStatus() const {
  TScopedLock lock(fCSInfo);
  return fNetworkStatus;
}

void TVTSMSManagerSerialModem::setIdentity(const std::string& aVendor, const std::string& aModel,
                                           const std::string& aSerial) {
  TScopedLock lock(fCSInfo);
  fModemVendorInfo = aVendor;
  fModemModelInfo = aModel;
  fModemSerialNumberInfo = aSerial;
}

void TVTSMSManagerSerialModem::setTimings(const TVTSerialModemTimings& aTimings) {
  TScopedLock lock(fCSInfo);
  fTimings = aTimings;
}

TVTSerialModemTimings TVTSMSManagerSerialModem::getTimings() const {
  TScopedLock lock(fCSInfo);
  return fTimings;
}

void TVTSMSManagerSerialModem::sleepMS(int aMS) {
  if (aMS > 0) {
    fClock.load()->sleepFor(std::chrono::milliseconds(aMS));
  }
}

// ---------------------------------------------------------------------------------------
// The trace file

std::string TVTSMSManagerSerialModem::traceLine(const std::string& aPrefix,
                                                const std::string& aData) const {
  const std::string data = replaceAll(replaceAll(aData, "\r", "#13"), "\n", "#10");
  return localTimestamp() + "|" + aPrefix + data + "\r\n";
}

void TVTSMSManagerSerialModem::writeToFile(const std::string& aPrefix, const std::string& aData) {
  try {
    TScopedLock lock(fCSWriteToCommLogFile);
    if (fCommLogFilename.empty()) {
      return;
    }
    const std::u16string entry = utf8ToUtf16(traceLine(aPrefix, aData));
    std::string bytes;
    bytes.reserve(entry.size() * 2);
    for (char16_t unit : entry) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    (void)platform::appendToFileExclusive(fCommLogFilename, bytes);
  } catch (...) {
    // Tracing never disturbs the dialogue.
  }
}

// ---------------------------------------------------------------------------------------
// The answer: arming, receiving, waiting

void TVTSMSManagerSerialModem::initWaitForSerialData(int /*aDataCount*/, int aDataIndex,
                                                     int /*aResultIndex*/,
                                                     const std::string& aSuccessChars) {
  TScopedLock lock(fCSCurrentSerialData);
  fCurrentSerialDataRaw.clear();
  fCurrentSerialData.clear();
  fCurrentFinalLine.clear();
  fCurrentFinal = mfNone;
  fPromptSeen = false;
  fCurrentSuccessChars = aSuccessChars;
  fCurrentSerialDataIndex = aDataIndex;
  fCurrentModemResult = false;
  fSerialDataArrived = false;
  fArmed = true;
  fFramer.setExpectedPrefix({});
}

void TVTSMSManagerSerialModem::completeAnswer(bool aResult) {
  fCurrentModemResult = aResult;
  fSerialDataArrived = true;
  fArmed = false;
}

void TVTSMSManagerSerialModem::takePiece(const TModemAnswerPiece& aPiece,
                                         std::vector<TModemAnswerPiece>& aUnsolicited) {
  const bool wantPrompt = fCurrentSuccessChars == SC_MARKERPROMPT;
  switch (aPiece.Kind) {
  case TModemAnswerPiece::mpUnsolicited:
    aUnsolicited.push_back(aPiece);
    return;
  case TModemAnswerPiece::mpNoise:
    if (Logger().isDebug()) {
      Logger().debug(SC_MODULE, "line noise from the modem: \"" + aPiece.Text + "\"");
    }
    return;
  case TModemAnswerPiece::mpPrompt:
    if (fArmed && wantPrompt) {
      fPromptSeen = true;
      completeAnswer(true);
    }
    return;
  case TModemAnswerPiece::mpLine:
    if (!fLastWritten.empty() && aPiece.Text == fLastWritten) {
      // An echo. Echo is off after the start-up dialogue: a modem that echoes again has
      // started anew and forgot its settings (and maybe its PIN).
      if (!fEchoExpected) {
        fStartupAsked = true;
      }
      return;
    }
    if (fArmed) {
      fCurrentSerialData.push_back(aPiece.Text);
    } else if (Logger().isDebug()) {
      Logger().debug(SC_MODULE, "stray line from the modem: \"" + aPiece.Text + "\"");
    }
    return;
  case TModemAnswerPiece::mpFinal:
    if (modemNeedsStartup(aPiece.Text) && !fPinRefused) {
      fStartupAsked = true;
    }
    if (fArmed) {
      fCurrentFinalLine = aPiece.Text;
      fCurrentFinal = aPiece.Final;
      completeAnswer(aPiece.Final == mfOK && !wantPrompt);
    } else if (Logger().isDebug()) {
      Logger().debug(SC_MODULE, "stray result from the modem: \"" + aPiece.Text + "\"");
    }
    return;
  }
}

void TVTSMSManagerSerialModem::serialPortReceiveCB(TVTSerialPort*, const std::string& data) {
  writeToFile("[IN]", data);
  const bool tracing = !getCommLogFilename().empty();
  std::vector<TModemAnswerPiece> unsolicited;
  {
    TScopedLock lock(fCSCurrentSerialData);
    fBytesReceived += data.size();
    fCurrentSerialDataRaw += data;
    const bool wasArmed = fArmed;
    for (const auto& piece : fFramer.feed(data)) {
      takePiece(piece, unsolicited);
    }
    if (tracing && wasArmed) {
      const std::string lines = joinModemAnswer(splitModemAnswer(fCurrentSerialDataRaw));
      writeToFile("[ALLRAW]", fCurrentSerialDataRaw);
      writeToFile("[ALLDATA]", lines);
      if (fSerialDataArrived) {
        writeToFile(fCurrentModemResult ? "[COMPLETE-OK]" : "[COMPLETE-ERROR]", lines);
      }
    }
    if (!fArmed) {
      fCurrentSerialDataRaw.clear(); // nothing waits for it: keep it from growing
    }
  }
  fEvtSerialData.notifyAll();
  for (const auto& piece : unsolicited) {
    handleUnsolicited(piece);
  }
}

void TVTSMSManagerSerialModem::handleUnsolicited(const TModemAnswerPiece& aPiece) {
  writeToFile("[URC]", aPiece.Pdu.empty() ? aPiece.Text : aPiece.Text + "\r\n" + aPiece.Pdu);
  if (Logger().isDebug()) {
    Logger().debug(SC_MODULE, "unsolicited from the modem: \"" + aPiece.Text + "\"" +
                                  (aPiece.Pdu.empty() ? "" : " with a PDU"));
  }
  std::string memory;
  int slot = -1;
  if (parseCMTINotice(aPiece.Text, memory, slot)) {
    {
      TScopedLock lock(fCSNotices);
      if (std::find(fNoticedSlots.begin(), fNoticedSlots.end(), slot) == fNoticedSlots.end()) {
        fNoticedSlots.push_back(slot);
      }
    }
    informNewMessageNotice();
    return;
  }
  if (aPiece.Text.rfind("+CMT:", 0) == 0 && !aPiece.Pdu.empty()) {
    {
      TScopedLock lock(fCSNotices);
      fDelivered.push_back({aPiece.Pdu, parseCMTLength(aPiece.Text)});
    }
    informNewMessageNotice();
    return;
  }
  if (modemNeedsStartup(aPiece.Text) && !fPinRefused) {
    bool asked = false;
    {
      TScopedLock lock(fCSCurrentSerialData);
      asked = fStartupAsked;
      fStartupAsked = true;
    }
    if (!asked) { // a restart often says so in several lines ("RDY", "+CPIN: SIM PIN")
      Logger().info(SC_MODULE, "the modem has started anew (\"" + aPiece.Text + "\")");
      requestFullRead(); // runs the start-up dialogue and reads what came meanwhile
    }
  }
}

void TVTSMSManagerSerialModem::serialPortAfterTransmitCB(TVTSerialPort*, const std::string& data) {
  writeToFile("[OUT]", data);
}

void TVTSMSManagerSerialModem::serialPortLost() {
  Logger().warn(SC_MODULE, "serial port " + fSerialPort->devicePath() +
                               " lost: trying to open it again every " +
                               std::to_string(fSerialPort->getDelayAutoConnect()) + " ms");
  {
    // An exchange waiting now gets no answer any more.
    TScopedLock lock(fCSCurrentSerialData);
    if (fArmed) {
      completeAnswer(false);
    }
    fFramer.clear();
  }
  fEvtSerialData.notifyAll();
}

void TVTSMSManagerSerialModem::serialPortReopened() {
  Logger().info(SC_MODULE, "serial port " + fSerialPort->devicePath() + " open again");
  requestFullRead(); // the polling thread runs the start-up dialogue and reads at once
}

std::string TVTSMSManagerSerialModem::waitForSerialData(int aMaxWaitInMS) {
  writeToFile("[INFO]", "waitForSerialData...");
  const int waitMS = aMaxWaitInMS == 0 ? fDefaultAnswerWaitMS : aMaxWaitInMS;
  platform::IWaitClock& clock = *fClock.load();
  const auto deadline = clock.now() + std::chrono::milliseconds(waitMS);
  std::string line;
  bool arrived = false;
  {
    TUniqueLock lock(fCSCurrentSerialData);
    while (!fSerialDataArrived) {
      if (!clock.waitUntil(fEvtSerialData, lock, deadline)) {
        break;
      }
    }
    arrived = fSerialDataArrived;
    fArmed = false; // whatever comes later is no part of this answer
    if (arrived) {
      const auto index = fCurrentSerialDataIndex;
      if (fPromptSeen) {
        line = SC_MARKERPROMPT;
      } else if (index >= 1 && static_cast<std::size_t>(index) <= fCurrentSerialData.size()) {
        line = fCurrentSerialData[static_cast<std::size_t>(index) - 1];
      } else {
        line = fCurrentFinalLine;
      }
    }
  }
  writeToFile("[INFO]", arrived ? "waitForSerialData...Done" : "waitForSerialData...FAIL!");
  return line;
}

bool TVTSMSManagerSerialModem::getModemResult() {
  TScopedLock lock(fCSCurrentSerialData);
  return fCurrentModemResult;
}

TVTSMSManagerSerialModem::TModemAnswer TVTSMSManagerSerialModem::currentAnswer() {
  TScopedLock lock(fCSCurrentSerialData);
  TModemAnswer answer;
  answer.Complete = fSerialDataArrived;
  answer.Prompt = fPromptSeen;
  answer.Final = fCurrentFinal;
  answer.FinalLine = fCurrentFinalLine;
  answer.Lines = fCurrentSerialData;
  return answer;
}

void TVTSMSManagerSerialModem::expectEcho(const std::string& aWritten) {
  TScopedLock lock(fCSCurrentSerialData);
  fLastWritten = std::string(trimModemLine(aWritten));
}

bool TVTSMSManagerSerialModem::sendSerialData(const std::string& aText) {
  return fSerialPort->SendDataRaw(utf8ToCp1252(aText));
}

bool TVTSMSManagerSerialModem::sendSerialDataLine(const std::string& aText) {
  return sendSerialData(withModemLineEnd(aText));
}

TVTSMSManagerSerialModem::TModemAnswer
TVTSMSManagerSerialModem::exchange(const std::string& aText, int aWaitMS,
                                   const std::string& aExpectedPrefix, bool aPromptEnds) {
  initWaitForSerialData(0, 1, 0, aPromptEnds ? SC_MARKERPROMPT : SC_MARKEROK);
  {
    TScopedLock lock(fCSCurrentSerialData);
    fFramer.setExpectedPrefix(aExpectedPrefix);
  }
  expectEcho(aText);
  if (!sendSerialData(aText)) {
    // Nothing went out (the port is closed or lost): no answer can come.
    writeToFile("[INFO]", "not sent, error " + std::to_string(fSerialPort->LastErr()));
    {
      TScopedLock lock(fCSCurrentSerialData);
      fArmed = false;
    }
    return {};
  }
  (void)waitForSerialData(aWaitMS);
  TModemAnswer answer = currentAnswer();
  if (!answer.Complete) {
    fNeedsResync = true;
  }
  return answer;
}

bool TVTSMSManagerSerialModem::startupAsked() {
  TScopedLock lock(fCSCurrentSerialData);
  return fStartupAsked;
}

// ---------------------------------------------------------------------------------------
// Recovery

bool TVTSMSManagerSerialModem::resync(int aTries) {
  const TVTSerialModemTimings timings = getTimings();
  writeToFile("[INFO]", "resync");
  for (int attempt = 0; attempt < std::max(aTries, 1); ++attempt) {
    if (!fSerialPort->PortIsOpen()) {
      break;
    }
    // ESC leaves a PDU entry the modem may still be in; "AT" must then get its "OK".
    initWaitForSerialData(0, 0, 0, SC_MARKEROK);
    expectEcho("AT");
    if (!sendSerialData(std::string(1, IC_ESC)) || !sendSerialData("AT\r\n")) {
      break;
    }
    (void)waitForSerialData(timings.ResyncWaitMS);
    if (currentAnswer().Complete) {
      // Answers that were late (an "OK" to the ESC, the rest of a slow answer) come now.
      waitForQuietLine(timings.ResyncQuietMS, timings.ResyncWaitMS);
      fNeedsResync = false;
      return true;
    }
  }
  fNeedsResync = true;
  return false;
}

void TVTSMSManagerSerialModem::recover() {
  if (fNeedsResync && fSerialPort->PortIsOpen() && !resync(getTimings().ResyncTries)) {
    Logger().warn(SC_MODULE, "the modem does not answer \"AT\"");
  }
}

void TVTSMSManagerSerialModem::waitForQuietLine(int aQuietMS, int aMaxMS) {
  platform::IWaitClock& clock = *fClock.load();
  const auto end = clock.now() + std::chrono::milliseconds(aMaxMS);
  TUniqueLock lock(fCSCurrentSerialData);
  for (;;) {
    const std::uint64_t seen = fBytesReceived;
    const auto quietUntil = std::min(end, clock.now() + std::chrono::milliseconds(aQuietMS));
    while (fBytesReceived == seen) {
      if (!clock.waitUntil(fEvtSerialData, lock, quietUntil)) {
        break;
      }
    }
    if (fBytesReceived == seen || clock.now() >= end) {
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Activation, deactivation and the start-up dialogue

void TVTSMSManagerSerialModem::informActiveChanged() {
  if (!getActive()) {
    interruptDialogue();
    return;
  }
  activateModem();
}

void TVTSMSManagerSerialModem::interruptDialogue() {
  fSerialPort->ClosePort();
  // An exchange waiting on another thread can get no answer any more: end its wait now as a
  // failed answer instead of letting it sit out its time.
  {
    TScopedLock lock(fCSCurrentSerialData);
    if (fArmed) {
      completeAnswer(false);
    }
  }
  fEvtSerialData.notifyAll();
}

void TVTSMSManagerSerialModem::activateModem() {
  // The modem is held from the opening on: a send that came in before "ATE0" would meet the
  // echo of a modem not set up yet.
  TScopedLock lock(fCSModem);
  fSerialPort->setUseOverlappedWrite(fUseSerialWriteOverlapped);
  if (!fSerialPort->OpenPortRetrying()) {
    Logger().warn(SC_MODULE, "serial port " + fSerialPort->devicePath() +
                                 " cannot be opened: trying again every " +
                                 std::to_string(fSerialPort->getDelayAutoConnect()) + " ms");
    setIdentity(SC_UNKNOWNINFO, SC_UNKNOWNINFO, SC_UNKNOWNINFO);
    return;
  }
  (void)runStartupDialogue();
}

bool TVTSMSManagerSerialModem::ensureModemReady() {
  if (!fSerialPort->PortIsOpen()) {
    return false;
  }
  if (startupAsked() || fStartedGeneration != fSerialPort->openGeneration()) {
    return runStartupDialogue();
  }
  if (fNeedsResync) {
    return resync(getTimings().ResyncTries);
  }
  return true;
}

bool TVTSMSManagerSerialModem::runStartupDialogue() {
  const TVTSerialModemTimings timings = getTimings();
  fStartedGeneration = fSerialPort->openGeneration();
  {
    // fStartupAsked stays until the dialogue is over: more signs of the same restart
    // (arriving meanwhile) ask for nothing more.
    TScopedLock lock(fCSCurrentSerialData);
    fEchoExpected = true;
    fFramer.clear();
  }
  writeToFile("[INFO]", "start-up dialogue");
  const int tries = std::max(1, timings.PortSettleMS / std::max(1, timings.ResyncWaitMS));
  if (!resync(tries)) {
    Logger().warn(SC_MODULE, "the modem on " + fSerialPort->devicePath() +
                                 " does not answer: the start-up dialogue runs again before "
                                 "the next command");
    setIdentity(SC_UNKNOWNINFO, SC_UNKNOWNINFO, SC_UNKNOWNINFO);
    fStartedGeneration = 0;
    return false;
  }
  if (exchange("ATE0\r\n", timings.EchoOffSettleMS).ok()) {
    TScopedLock lock(fCSCurrentSerialData);
    fEchoExpected = false;
  }
  enterPin();
  const std::string vendor = queryInfo("AT+CGMI\r\n");
  const std::string model = queryInfo("AT+CGMM\r\n");
  const std::string serial = queryInfo("AT+CGSN\r\n");
  setIdentity(vendor, model, serial);
  readStorageSizes();
  (void)exchange("AT+CMGF=0\r\n", timings.InfoWaitMS);
  enableNewMessageNotices();
  recover();
  {
    TScopedLock lock(fCSCurrentSerialData);
    fStartupAsked = false;
  }
  Logger().info(SC_MODULE,
                "modem on " + fSerialPort->devicePath() + " set up: " + vendor + " " + model);
  return !fNeedsResync;
}

void TVTSMSManagerSerialModem::enterPin() {
  const std::string pinCode = getPIN();
  if (pinCode.empty()) {
    return;
  }
  const TVTSerialModemTimings timings = getTimings();
  const TModemAnswer state = exchange("AT+CPIN?\r\n", timings.InfoWaitMS, "+CPIN");
  bool asked = !state.ok(); // a modem without the query gets the PIN as before
  for (const auto& line : state.Lines) {
    asked = asked || line.find("SIM PIN") != std::string::npos;
  }
  if (!asked) {
    return;
  }
  if (fPinRefused && pinCode == fRefusedPin) {
    Logger().error(SC_MODULE, "the SIM asks for its PIN, which it refused before: not offered "
                              "again");
    return;
  }
  const TModemAnswer answer = exchange("AT+CPIN=" + pinCode + "\r\n", timings.PinWaitMS, "+CPIN");
  if (answer.Final == mfError && answer.FinalLine != "+CME ERROR: 3") {
    // Offering it again would bring the SIM closer to asking for its PUK.
    fRefusedPin = pinCode;
    fPinRefused = true;
    Logger().error(SC_MODULE, "the SIM refused the PIN (" + answer.FinalLine + ")");
  } else if (answer.ok()) {
    fPinRefused = false;
  }
}

void TVTSMSManagerSerialModem::enableNewMessageNotices() {
  const int waitMS = getTimings().InfoWaitMS;
  std::string setting = SC_NEWMESSAGENOTICES;
  TModemAnswer answer = exchange("AT+CNMI=" + setting + "\r\n", waitMS);
  if (!answer.ok() && answer.Complete) {
    // Refused: one of the values the modem offers may do.
    setting.clear();
    const TModemAnswer offered = exchange("AT+CNMI=?\r\n", waitMS, "+CNMI");
    for (const auto& line : offered.Lines) {
      if (setting.empty()) {
        setting = chooseCNMISetting(line);
      }
    }
    if (!setting.empty() && setting != SC_NEWMESSAGENOTICES) {
      answer = exchange("AT+CNMI=" + setting + "\r\n", waitMS);
    }
  }
  if (!answer.ok()) {
    setting.clear();
  }
  {
    TScopedLock lock(fCSInfo);
    fNewMessageNotices = setting;
  }
  if (setting.empty()) {
    Logger().warn(SC_MODULE, "the modem announces no new messages: they are read every " +
                                 std::to_string(getSMSCheckIntervall()) + " ms");
  } else {
    Logger().info(SC_MODULE, "new messages are announced (AT+CNMI=" + setting + ")");
  }
}

std::string TVTSMSManagerSerialModem::queryInfo(const std::string& aCommand) {
  const TModemAnswer answer = exchange(aCommand, getTimings().InfoWaitMS);
  // The last line: noise before an answer must not become the vendor's name.
  const std::string line = !answer.Lines.empty() ? answer.Lines.back() : answer.FinalLine;
  return answer.ok() ? line : SC_UNKNOWNINFO + line;
}

void TVTSMSManagerSerialModem::takeStorageUsage(const std::vector<std::string>& aLines) {
  for (const auto& line : aLines) {
    int used = -1;
    int total = -1;
    if (parseCPMSUsage(line, used, total)) {
      TScopedLock lock(fCSInfo);
      fNetworkStatus.StorageUsed = used;
      fNetworkStatus.StorageTotal = total;
      return;
    }
  }
}

void TVTSMSManagerSerialModem::readNetworkStatusWhenDue() {
  const TVTSerialModemTimings timings = getTimings();
  platform::IWaitClock& clock = *fClock.load();
  const auto now = clock.now();
  if (timings.NetworkStatusIntervalMS < 0 ||
      (fNetworkStatusRead &&
       now - fNetworkStatusReadAt < std::chrono::milliseconds(timings.NetworkStatusIntervalMS))) {
    return;
  }
  fNetworkStatusRead = true;
  fNetworkStatusReadAt = now;
  int rssi = -1;
  int ber = -1;
  int registration = -1;
  for (const auto& line : exchange("AT+CSQ\r\n", timings.InfoWaitMS, "+CSQ").Lines) {
    (void)parseCSQReport(line, rssi, ber);
  }
  recover();
  for (const auto& line : exchange("AT+CREG?\r\n", timings.InfoWaitMS, "+CREG").Lines) {
    (void)parseCREGReport(line, registration);
  }
  recover();
  TScopedLock lock(fCSInfo);
  fNetworkStatus.SignalQuality = rssi;
  fNetworkStatus.BitErrorRate = ber;
  fNetworkStatus.Registration = registration;
}

// Reads the +CPMS report line itself and adopts the modem's own storage sizes.
void TVTSMSManagerSerialModem::readStorageSizes() {
  const TModemAnswer answer = exchange("AT+CPMS?\r\n", getTimings().InfoWaitMS, "+CPMS");
  if (!answer.ok()) {
    return;
  }
  for (const auto& line : answer.Lines) {
    int defaultStorage = 0;
    int sendStorage = 0;
    int receiveStorage = 0;
    if (parseCPMSReport(line, defaultStorage, sendStorage, receiveStorage)) {
      fSMSMemorySizeDefaultStorage = defaultStorage;
      fSMSMemorySizeSendStorage = sendStorage;
      fSMSMemorySizeReceiveStorage = receiveStorage;
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Send, read, delete

int TVTSMSManagerSerialModem::sendSMSPDU(const std::string& aMessageAsPDU) {
  if (!getActive()) {
    return ICSMSRESULT_NOTACTIVE;
  }
  writeToFile("", "");
  TScopedLock lock(fCSModem);
  int result = ICSMSRESULT_UNKNOWNMODEMERROR;
  // A modem that refuses AT+CMGS because it has just started anew got no PDU: after its
  // start-up dialogue the SMS is offered once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!ensureModemReady()) {
      return ICSMSRESULT_UNKNOWNMODEMERROR;
    }
    bool retry = false;
    result = submitPDU(aMessageAsPDU, retry);
    if (!retry) {
      break;
    }
  }
  return result;
}

int TVTSMSManagerSerialModem::submitPDU(const std::string& aMessageAsPDU, bool& aRetry) {
  const TVTSerialModemTimings timings = getTimings();
  const int octets = static_cast<int>(aMessageAsPDU.size() / 2) - 1;
  const TModemAnswer prompt =
      exchange("AT+CMGS=" + std::to_string(octets) + "\r\n", timings.PromptWaitMS, "+CMGS", true);
  if (!prompt.Prompt) {
    aRetry = prompt.Complete && startupAsked();
    recover(); // no prompt in time: it may still come, and ESC ends that PDU entry
    return ICSMSRESULT_UNKNOWNMODEMERROR;
  }
  initWaitForSerialData(0, 1, 0, SC_MARKEROK);
  expectEcho(aMessageAsPDU);
  if (!sendSerialData(aMessageAsPDU)) {
    return ICSMSRESULT_UNKNOWNERROR;
  }
  // Ctrl-Z goes CtrlZDelayMS after the PDU started; the PDU's own time on the line counts.
  const unsigned baud = std::max(1u, baudRateValue(getBaudRate()));
  const auto lineMS = static_cast<int>(aMessageAsPDU.size() * 10 * 1000 / baud);
  sleepMS(timings.CtrlZDelayMS - lineMS);
  if (!sendSerialData(std::string(1, IC_CTRLZ))) {
    return ICSMSRESULT_UNKNOWNERROR;
  }
  (void)waitForSerialData(timings.SendWaitMS);
  const TModemAnswer answer = currentAnswer();
  if (!answer.Complete) {
    fNeedsResync = true;
    recover(); // the modem may still be in PDU entry: ESC and "AT" bring it back
    return ICSMSRESULT_UNKNOWNERROR;
  }
  for (const auto& line : answer.Lines) {
    if (line.find("+CMGS") != std::string::npos) {
      return modemSendResult(line);
    }
  }
  return modemSendResult(answer.FinalLine);
}

int TVTSMSManagerSerialModem::readSMSs(TVTSMSManagerMessageList* aTOList) {
  if (!getActive()) {
    return ICSMSRESULT_NOTACTIVE;
  }
  const TVTSerialModemTimings timings = getTimings();
  writeToFile("", "");
  TScopedLock lock(fCSModem);
  TModemAnswer listing;
  // A modem found to have started anew gets its start-up dialogue and is asked once more.
  for (int attempt = 0; attempt < 2 && !listing.ok(); ++attempt) {
    if (!ensureModemReady()) {
      return ICSMSRESULT_WRONGANSWER;
    }
    const TModemAnswer storage =
        exchange("AT+CPMS=\"MT\",\"MT\",\"MT\"\r\n", timings.SelectStorageWaitMS, "+CPMS");
    if (storage.ok()) {
      takeStorageUsage(storage.Lines);
      // All received messages, also those already read: one read before a crash is still
      // in the modem and is stored now.
      listing = exchange("AT+CMGL=4\r\n", timings.ListWaitMS, "+CMGL");
    }
    recover();
    if (!startupAsked()) {
      break;
    }
  }
  if (!listing.ok()) {
    return ICSMSRESULT_WRONGANSWER;
  }
  readNetworkStatusWhenDue();
  const auto entries = parseCMGLListing(listing.Lines);
  {
    // Notices of listed messages are done with; one that came for a message stored after
    // the listing was made stays for the next read.
    TScopedLock noticeLock(fCSNotices);
    std::erase_if(fNoticedSlots, [&](int aSlot) {
      return std::any_of(entries.begin(), entries.end(),
                         [&](const TCMGLEntry& aEntry) { return aEntry.Header.Index == aSlot; });
    });
  }
  for (const auto& entry : entries) {
    if (isReceivedState(entry.Header.State)) {
      appendMessage(entry.Header, entry.Pdu, aTOList);
    }
  }
  appendDeliveredMessages(aTOList);
  return ICSMSRESULT_OK;
}

int TVTSMSManagerSerialModem::readNoticedSMSs(TVTSMSManagerMessageList* aTOList) {
  if (!getActive()) {
    return ICSMSRESULT_NOTACTIVE;
  }
  std::vector<int> slots;
  {
    TScopedLock noticeLock(fCSNotices);
    slots.swap(fNoticedSlots);
  }
  if (!slots.empty()) {
    const int waitMS = getTimings().ReadWaitMS;
    TScopedLock lock(fCSModem);
    if (!ensureModemReady()) {
      return ICSMSRESULT_WRONGANSWER; // the next full read finds them
    }
    for (int slot : slots) {
      const TModemAnswer answer =
          exchange("AT+CMGR=" + std::to_string(slot) + "\r\n", waitMS, "+CMGR");
      if (!answer.ok()) {
        recover();
        continue;
      }
      TCMGLHeader header;
      bool headerSeen = false;
      for (const auto& line : answer.Lines) {
        if (!headerSeen) {
          headerSeen = parseCMGRHeader(line, header);
        } else if (isModemHexLine(line)) {
          header.Index = slot;
          if (isReceivedState(header.State)) {
            appendMessage(header, line, aTOList);
          }
          break;
        }
      }
    }
  }
  appendDeliveredMessages(aTOList);
  return ICSMSRESULT_OK;
}

void TVTSMSManagerSerialModem::appendDeliveredMessages(TVTSMSManagerMessageList* aTOList) {
  std::vector<TDeliveredSMS> delivered;
  {
    TScopedLock lock(fCSNotices);
    delivered = fDelivered;
  }
  for (const auto& sms : delivered) {
    TCMGLHeader header;
    header.State = 0;
    header.Length = sms.Length;
    appendMessage(header, sms.Pdu, aTOList);
  }
}

void TVTSMSManagerSerialModem::appendMessage(const TCMGLHeader& aHeader, const std::string& aPdu,
                                             TVTSMSManagerMessageList* aTOList) {
  std::vector<std::string> decoded;
  try {
    decoded = fSMSCodec->DecodeSMS(aPdu);
  } catch (const std::exception& e) {
    decoded.clear();
    if (OnDecodeError) {
      OnDecodeError(this, aPdu, e.what());
    }
  }
  if (aTOList == nullptr) {
    return;
  }
  auto message = std::make_unique<TVTSMSManagerMessage>();
  if (decoded.size() >= 4) {
    message->setRecipient(decoded[0]);
    message->setTheMessage(decoded[1]);
    message->setMessageType(static_cast<TVTSMSManagerMessageType>(modemStrToIntDef(decoded[2], 0)));
    TDateTime timestamp;
    if (!tryStrToDateTime(decoded[3], timestamp, fFormatSettings)) {
      timestamp = TDateTime();
    }
    message->setMessageTimestamp(timestamp);
  } else {
    message->setMessageType(VTSMSMMT_DATA);
  }
  message->setMessageDataPDU(aPdu);
  message->setMessageIndex(aHeader.Index);
  message->setMessageState(aHeader.State);
  message->setMessageLength(aHeader.Length);
  aTOList->push_back(std::move(message));
}

int TVTSMSManagerSerialModem::deleteSMSs(TVTSMSManagerMessageList* aMessageList) {
  const int waitMS = getTimings().DeleteWaitMS;
  std::vector<int> slots;
  if (aMessageList != nullptr) {
    for (const auto& message : *aMessageList) {
      if (message && message->getMessageIndex() >= 1) {
        slots.push_back(message->getMessageIndex());
      } else if (message) {
        // A delivered message ("+CMT") is in no slot: it is let go here.
        TScopedLock noticeLock(fCSNotices);
        std::erase_if(fDelivered, [&](const TDeliveredSMS& aSMS) {
          return aSMS.Pdu == message->getMessageDataPDU();
        });
      }
    }
  } else {
    for (int slot = 1; slot <= fSMSMemorySizeDefaultStorage; ++slot) {
      slots.push_back(slot);
    }
  }
  TScopedLock lock(fCSModem);
  if (slots.empty()) {
    return ICSMSRESULT_OK;
  }
  if (!ensureModemReady()) {
    return ICSMSRESULT_WRONGANSWER;
  }
  bool ok = true;
  for (int slot : slots) {
    ok = exchange("AT+CMGD=" + std::to_string(slot) + "\r\n", waitMS).ok() && ok;
  }
  recover();
  return ok ? ICSMSRESULT_OK : ICSMSRESULT_WRONGANSWER;
}
