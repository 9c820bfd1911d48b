#pragma once

#include "common/LanguageTools.h"
#include "modem/VTSMSManager.h"
#include "modem/VTSerialModemAnswers.h"
#include "modem/VTSerialPort.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The fixed pauses and the answer waits of the modem dialogue, in milliseconds. The
// defaults are the dialogue's own; tests and benchmarks may shorten them.
struct TVTSerialModemTimings {
  int PortSettleMS = 3000;    // after opening the port
  int EchoOffSettleMS = 3000; // after ATE0
  int PauseBetweenMS = 500;   // before each identity and storage query
  int CtrlZDelayMS = 50;      // between the PDU and Ctrl-Z
  int PinWaitMS = 15000;      // AT+CPIN=
  int InfoWaitMS = 5000;      // AT+CGMI, AT+CGMM, AT+CGSN, AT+CPMS?
  int PromptWaitMS = 10000;   // "> " after AT+CMGS=
  int SendWaitMS = 35000;     // the answer to the PDU
  int SelectStorageWaitMS = 15000;
  int ListWaitMS = 60000;   // AT+CMGL=0
  int DeleteWaitMS = 15000; // AT+CMGD= per slot
};

// The SMS manager for a GSM modem on a serial line, in PDU mode. Every command is one
// exchange: arm a wait with the marker of a good answer, write the command, and let the
// serial receive callback collect the answer until the marker or "ERROR" shows up.
//
// Threads: activation, send, read and delete run on their callers' threads and are made
// mutually exclusive, each for its whole sequence of exchanges, by fCSModem. The receive
// callback runs on the port's receive thread and touches the current answer only under
// fCSCurrentSerialData; no thread holds that lock while writing to the port.
// Lock order: fCSModem, then the port's write lock, then fCSWriteToCommLogFile; on the
// receive thread fCSCurrentSerialData, then fCSWriteToCommLogFile. Deactivation closes the
// port without fCSModem, so a running exchange fails at once instead of blocking it.
// Owns its serial port. No operation raises: results are the codes of the manager.
class TVTSMSManagerSerialModem : public TVTSMSManager {
public:
  // Without a device the port uses the POSIX terminal device.
  explicit TVTSMSManagerSerialModem(std::unique_ptr<platform::IVTSerialDevice> aDevice = {});
  ~TVTSMSManagerSerialModem() override;

  int getCommPort() const;
  void setCommPort(int aValue);
  TBaudRate getBaudRate() const;
  void setBaudRate(TBaudRate aValue);
  void setSerialDeviceDir(const std::string& aDir);
  std::string getSerialDeviceDir() const;

  std::string getCommLogFilename() const;
  void setCommLogFilename(const std::string& aFilename);

  int getSMSMemorySizeDefaultStorage() const { return fSMSMemorySizeDefaultStorage; }
  void setSMSMemorySizeDefaultStorage(int aValue) { fSMSMemorySizeDefaultStorage = aValue; }
  int getSMSMemorySizeSendStorage() const { return fSMSMemorySizeSendStorage; }
  void setSMSMemorySizeSendStorage(int aValue) { fSMSMemorySizeSendStorage = aValue; }
  int getSMSMemorySizeReceiveStorage() const { return fSMSMemorySizeReceiveStorage; }
  void setSMSMemorySizeReceiveStorage(int aValue) { fSMSMemorySizeReceiveStorage = aValue; }

  std::string getModemVendorInfo() const;
  std::string getModemModelInfo() const;
  std::string getModemSerialNumberInfo() const;

  void setTimings(const TVTSerialModemTimings& aTimings);
  TVTSerialModemTimings getTimings() const;
  TVTSerialPort& serialPort() { return *fSerialPort; }

  int readSMSs(TVTSMSManagerMessageList* aTOList) override;
  int deleteSMSs(TVTSMSManagerMessageList* aMessageList) override;

  // The exchange primitives, public for the driver's own tests.
  virtual void initWaitForSerialData(int aDataCount, int aDataIndex, int aResultIndex,
                                     const std::string& aSuccessChars);
  virtual std::string waitForSerialData(int aMaxWaitInMS);
  bool getModemResult();
  bool sendSerialData(const std::string& aText);
  bool sendSerialDataLine(const std::string& aText);
  void writeToFile(const std::string& aPrefix, const std::string& aData);

protected:
  void informActiveChanged() override;
  int sendSMSPDU(const std::string& aMessageAsPDU) override;

private:
  void serialPortReceiveCB(TVTSerialPort* Sender, const std::string& data);
  void serialPortAfterTransmitCB(TVTSerialPort* Sender, const std::string& data);
  void activateModem();
  // One identity query: the answer line, "[?] " in front when the modem did not say OK.
  std::string queryInfo(const std::string& aCommand);
  void readStorageSizes();
  // Decodes one listed PDU (raising OnDecodeError when it cannot) and appends its record.
  void appendListedMessage(const TCMGLEntry& aEntry, TVTSMSManagerMessageList* aTOList);
  // Arms, writes and waits; the empty text at once when the write did not go out.
  std::string exchange(const std::string& aText, const std::string& aMarker, int aLine,
                       int aWaitMS);
  void sleepMS(int aMS);
  std::string traceLine(const std::string& aPrefix, const std::string& aData) const;

  std::unique_ptr<TVTSerialPort> fSerialPort;

  std::mutex fCSCurrentSerialData;
  std::condition_variable fEvtSerialData; // with fSerialDataArrived, a manual-reset event
  bool fSerialDataArrived = false;
  std::string fCurrentSerialDataRaw;
  std::vector<std::string> fCurrentSerialData;
  std::string fCurrentSuccessChars = "OK";
  int fCurrentSerialDataIndex = 0;
  bool fCurrentModemResult = false;

  bool fUseSerialWriteOverlapped = true;
  int fDefaultAnswerWaitMS = 4000;
  mutable std::mutex fCSInfo; // leaf; the identity texts and the timings
  std::string fModemVendorInfo;
  std::string fModemModelInfo;
  std::string fModemSerialNumberInfo;
  TVTSerialModemTimings fTimings;
  std::atomic<int> fSMSMemorySizeDefaultStorage{10};
  std::atomic<int> fSMSMemorySizeSendStorage{10};
  std::atomic<int> fSMSMemorySizeReceiveStorage{10};

  std::mutex fCSModem;
  mutable std::mutex fCSWriteToCommLogFile;
  std::string fCommLogFilename;
  TFormatSettings fFormatSettings;
};
