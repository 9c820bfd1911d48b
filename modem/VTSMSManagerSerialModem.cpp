#include "modem/VTSMSManagerSerialModem.h"

#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "modem/VTSerialModemAnswers.h"
#include "platform/Files.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <thread>

namespace {

const char* const SC_MARKEROK = "OK";
const char* const SC_MARKERPROMPT = ">";
const char* const SC_MARKERERROR = "ERROR";
const char* const SC_UNKNOWNINFO = "[?] ";
constexpr char IC_CTRLZ = 0x1A;

// The trace entry's date and time: local time with milliseconds, from the platform clock.
std::string localTimestamp() {
  static const TFormatSettings settings = [] {
    TFormatSettings s;
    initGermanFormatSettings(s);
    return s;
  }();
  return formatDateTime("yyyy-MM-dd hh:mm:ss.zzz", NowLocal(), settings);
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
  std::lock_guard lock(fCSWriteToCommLogFile);
  return fCommLogFilename;
}

void TVTSMSManagerSerialModem::setCommLogFilename(const std::string& aFilename) {
  std::lock_guard lock(fCSWriteToCommLogFile);
  fCommLogFilename = aFilename;
}

std::string TVTSMSManagerSerialModem::getModemVendorInfo() const {
  std::lock_guard lock(fCSInfo);
  return fModemVendorInfo;
}

std::string TVTSMSManagerSerialModem::getModemModelInfo() const {
  std::lock_guard lock(fCSInfo);
  return fModemModelInfo;
}

std::string TVTSMSManagerSerialModem::getModemSerialNumberInfo() const {
  std::lock_guard lock(fCSInfo);
  return fModemSerialNumberInfo;
}

void TVTSMSManagerSerialModem::setTimings(const TVTSerialModemTimings& aTimings) {
  std::lock_guard lock(fCSInfo);
  fTimings = aTimings;
}

TVTSerialModemTimings TVTSMSManagerSerialModem::getTimings() const {
  std::lock_guard lock(fCSInfo);
  return fTimings;
}

void TVTSMSManagerSerialModem::sleepMS(int aMS) {
  if (aMS > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(aMS));
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
    std::lock_guard lock(fCSWriteToCommLogFile);
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
// Arming and waiting

void TVTSMSManagerSerialModem::initWaitForSerialData(int /*aDataCount*/, int aDataIndex,
                                                     int /*aResultIndex*/,
                                                     const std::string& aSuccessChars) {
  std::lock_guard lock(fCSCurrentSerialData);
  fCurrentSerialDataRaw.clear();
  fCurrentSerialData.clear();
  fCurrentSuccessChars = aSuccessChars;
  fCurrentSerialDataIndex = aDataIndex;
  fCurrentModemResult = false;
  fSerialDataArrived = false;
}

void TVTSMSManagerSerialModem::serialPortReceiveCB(TVTSerialPort*, const std::string& data) {
  writeToFile("[IN]", data);
  const bool tracing = !getCommLogFilename().empty();
  std::lock_guard lock(fCSCurrentSerialData);
  fCurrentSerialDataRaw += data;
  fCurrentSerialData = splitModemAnswer(fCurrentSerialDataRaw);
  const std::string lines = tracing ? joinModemAnswer(fCurrentSerialData) : std::string();
  if (tracing) {
    writeToFile("[ALLRAW]", fCurrentSerialDataRaw);
    writeToFile("[ALLDATA]", lines);
  }
  if (fCurrentSerialDataRaw.find(fCurrentSuccessChars) != std::string::npos) {
    writeToFile("[COMPLETE-OK]", lines);
    fCurrentModemResult = true;
    fSerialDataArrived = true;
    fEvtSerialData.notify_all();
  } else if (fCurrentSerialDataRaw.find(SC_MARKERERROR) != std::string::npos) {
    writeToFile("[COMPLETE-ERROR]", lines);
    fCurrentModemResult = false;
    fSerialDataArrived = true;
    fEvtSerialData.notify_all();
  }
}

void TVTSMSManagerSerialModem::serialPortAfterTransmitCB(TVTSerialPort*, const std::string& data) {
  writeToFile("[OUT]", data);
}

std::string TVTSMSManagerSerialModem::waitForSerialData(int aMaxWaitInMS) {
  writeToFile("[INFO]", "waitForSerialData...");
  const int waitMS = aMaxWaitInMS == 0 ? fDefaultAnswerWaitMS : aMaxWaitInMS;
  std::string line;
  bool arrived = false;
  {
    std::unique_lock lock(fCSCurrentSerialData);
    arrived = fEvtSerialData.wait_for(lock, std::chrono::milliseconds(waitMS),
                                      [this] { return fSerialDataArrived; });
    // A complete answer without the wanted line gives the empty line, as a time-out does.
    if (arrived && fCurrentSerialDataIndex >= 0 &&
        static_cast<std::size_t>(fCurrentSerialDataIndex) < fCurrentSerialData.size()) {
      line = fCurrentSerialData[static_cast<std::size_t>(fCurrentSerialDataIndex)];
    }
  }
  writeToFile("[INFO]", arrived ? "waitForSerialData...Done" : "waitForSerialData...FAIL!");
  return line;
}

bool TVTSMSManagerSerialModem::getModemResult() {
  std::lock_guard lock(fCSCurrentSerialData);
  return fCurrentModemResult;
}

bool TVTSMSManagerSerialModem::sendSerialData(const std::string& aText) {
  return fSerialPort->SendDataRaw(utf8ToCp1252(aText));
}

bool TVTSMSManagerSerialModem::sendSerialDataLine(const std::string& aText) {
  return sendSerialData(withModemLineEnd(aText));
}

std::string TVTSMSManagerSerialModem::exchange(const std::string& aText, const std::string& aMarker,
                                               int aLine, int aWaitMS) {
  initWaitForSerialData(0, aLine, 0, aMarker);
  if (!sendSerialData(aText)) {
    // Nothing went out (the port is closed or lost): no answer can come.
    writeToFile("[INFO]", "not sent, error " + std::to_string(fSerialPort->LastErr()));
    return {};
  }
  return waitForSerialData(aWaitMS);
}

// ---------------------------------------------------------------------------------------
// Activation and deactivation

void TVTSMSManagerSerialModem::informActiveChanged() {
  if (!getActive()) {
    fSerialPort->ClosePort();
    // An exchange waiting on another thread can get no answer any more: end its wait now
    // as a failed answer instead of letting it sit out its time.
    {
      std::lock_guard lock(fCSCurrentSerialData);
      fCurrentModemResult = false;
      fSerialDataArrived = true;
    }
    fEvtSerialData.notify_all();
    return;
  }
  activateModem();
}

void TVTSMSManagerSerialModem::activateModem() {
  const TVTSerialModemTimings timings = getTimings();
  // The modem is held from the opening on: a send that came in before "ATE0" would meet the
  // echo, miss its prompt and leave the modem waiting for a PDU that never comes, so that it
  // swallows the whole start-up dialogue and every later command.
  std::lock_guard lock(fCSModem);
  fSerialPort->setUseOverlappedWrite(fUseSerialWriteOverlapped);
  fSerialPort->OpenPort();
  sleepMS(timings.PortSettleMS);

  initWaitForSerialData(0, 0, 0, SC_MARKEROK);
  sendSerialDataLine("ATE0");
  sleepMS(timings.EchoOffSettleMS);

  const std::string pinCode = getPIN();
  if (!pinCode.empty()) {
    (void)exchange(withModemLineEnd("AT+CPIN=" + pinCode), SC_MARKEROK, 0, timings.PinWaitMS);
  }
  sleepMS(timings.PauseBetweenMS);
  const std::string vendor = queryInfo("AT+CGMI");
  sleepMS(timings.PauseBetweenMS);
  const std::string model = queryInfo("AT+CGMM");
  sleepMS(timings.PauseBetweenMS);
  const std::string serial = queryInfo("AT+CGSN");
  {
    std::lock_guard infoLock(fCSInfo);
    fModemVendorInfo = vendor;
    fModemModelInfo = model;
    fModemSerialNumberInfo = serial;
  }
  sleepMS(timings.PauseBetweenMS);
  readStorageSizes();
}

std::string TVTSMSManagerSerialModem::queryInfo(const std::string& aCommand) {
  const std::string line =
      exchange(withModemLineEnd(aCommand), SC_MARKEROK, 1, getTimings().InfoWaitMS);
  return getModemResult() ? line : SC_UNKNOWNINFO + line;
}

// Reads the +CPMS report line itself, wherever it stands in the answer, and adopts the
// modem's own storage sizes.
void TVTSMSManagerSerialModem::readStorageSizes() {
  (void)exchange(withModemLineEnd("AT+CPMS?"), SC_MARKEROK, 1, getTimings().InfoWaitMS);
  if (!getModemResult()) {
    return;
  }
  std::vector<std::string> lines;
  {
    std::lock_guard lock(fCSCurrentSerialData);
    lines = fCurrentSerialData;
  }
  for (const auto& line : lines) {
    int defaultStorage = 0;
    int sendStorage = 0;
    int receiveStorage = 0;
    if (line.find("+CPMS") != std::string::npos &&
        parseCPMSReport(line, defaultStorage, sendStorage, receiveStorage)) {
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
  const TVTSerialModemTimings timings = getTimings();
  writeToFile("", "");
  std::lock_guard lock(fCSModem);
  const int octets = static_cast<int>(aMessageAsPDU.size() / 2) - 1;
  const std::string prompt = exchange("AT+CMGS=" + std::to_string(octets) + "\r\n", SC_MARKERPROMPT,
                                      1, timings.PromptWaitMS);
  if (trimModemLine(prompt) != ">") {
    return ICSMSRESULT_UNKNOWNMODEMERROR;
  }
  initWaitForSerialData(0, 1, 0, SC_MARKEROK);
  if (!sendSerialData(aMessageAsPDU)) {
    return ICSMSRESULT_UNKNOWNERROR;
  }
  sleepMS(timings.CtrlZDelayMS);
  if (!sendSerialData(std::string(1, IC_CTRLZ))) {
    return ICSMSRESULT_UNKNOWNERROR;
  }
  return modemSendResult(waitForSerialData(timings.SendWaitMS));
}

int TVTSMSManagerSerialModem::readSMSs(TVTSMSManagerMessageList* aTOList) {
  if (!getActive()) {
    return ICSMSRESULT_NOTACTIVE;
  }
  const TVTSerialModemTimings timings = getTimings();
  writeToFile("", "");
  std::lock_guard lock(fCSModem);
  (void)exchange("AT+CPMS=\"MT\",\"MT\",\"MT\"\r\n", SC_MARKEROK, 1, timings.SelectStorageWaitMS);
  if (!getModemResult()) {
    return ICSMSRESULT_WRONGANSWER;
  }
  (void)exchange("AT+CMGL=0\r\n", SC_MARKEROK, 0, timings.ListWaitMS);
  std::vector<std::string> lines;
  bool complete = false;
  {
    std::lock_guard answerLock(fCSCurrentSerialData);
    lines = fCurrentSerialData;
    complete = fCurrentModemResult;
  }
  if (!complete) {
    return ICSMSRESULT_WRONGANSWER;
  }
  for (const auto& entry : parseCMGLListing(lines)) {
    appendListedMessage(entry, aTOList);
  }
  return ICSMSRESULT_OK;
}

void TVTSMSManagerSerialModem::appendListedMessage(const TCMGLEntry& aEntry,
                                                   TVTSMSManagerMessageList* aTOList) {
  std::vector<std::string> decoded;
  try {
    decoded = fSMSCodec->DecodeSMS(aEntry.Pdu);
  } catch (const std::exception& e) {
    decoded.clear();
    if (OnDecodeError) {
      OnDecodeError(this, aEntry.Pdu, e.what());
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
  message->setMessageDataPDU(aEntry.Pdu);
  message->setMessageIndex(aEntry.Header.Index);
  message->setMessageState(aEntry.Header.State);
  message->setMessageLength(aEntry.Header.Length);
  aTOList->push_back(std::move(message));
}

int TVTSMSManagerSerialModem::deleteSMSs(TVTSMSManagerMessageList* aMessageList) {
  const int waitMS = getTimings().DeleteWaitMS;
  std::lock_guard lock(fCSModem);
  bool ok = true;
  auto deleteSlot = [&](int aSlot) {
    (void)exchange("AT+CMGD=" + std::to_string(aSlot) + "\r\n", SC_MARKEROK, 1, waitMS);
    ok = getModemResult() && ok;
  };
  if (aMessageList != nullptr) {
    for (const auto& message : *aMessageList) {
      if (message) {
        deleteSlot(message->getMessageIndex());
      }
    }
  } else {
    const int slots = fSMSMemorySizeDefaultStorage;
    for (int slot = 1; slot <= slots; ++slot) {
      deleteSlot(slot);
    }
  }
  return ok ? ICSMSRESULT_OK : ICSMSRESULT_WRONGANSWER;
}
