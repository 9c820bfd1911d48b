#pragma once

#include "common/LanguageTools.h"
#include "modem/VTModemAnswerFramer.h"
#include "modem/VTSMSManager.h"
#include "modem/VTSerialModemAnswers.h"
#include "modem/VTSerialPort.h"
#include "platform/Locks.h"
#include "platform/WaitClock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The pauses and the longest answer waits of the modem dialogue, in milliseconds. Every wait
// ends as soon as the modem's answer is complete; the figures are upper bounds. Tests and
// benchmarks may shorten them.
struct TVTSerialModemTimings {
  int PortSettleMS = 3000;    // after opening: the longest the modem may take to answer "AT"
  int EchoOffSettleMS = 3000; // ATE0
  int CtrlZDelayMS = 50;      // from the start of the PDU to Ctrl-Z (the PDU's own line time
                              // at the port's baud rate counts towards it)
  int PinWaitMS = 15000;      // AT+CPIN=
  int InfoWaitMS = 5000;      // AT+CPIN?, AT+CGMI, AT+CGMM, AT+CGSN, AT+CPMS?, AT+CMGF, AT+CNMI
  int PromptWaitMS = 10000;   // "> " after AT+CMGS=
  int SendWaitMS = 35000;     // the answer to the PDU
  int SelectStorageWaitMS = 15000;
  int ListWaitMS = 60000;   // AT+CMGL=4
  int ReadWaitMS = 15000;   // AT+CMGR= of an announced message
  int DeleteWaitMS = 15000; // AT+CMGD= per slot
  int ResyncWaitMS = 1000;  // each "AT" of a resynchronisation
  int ResyncTries = 3;      // "AT"s before the modem counts as not answering
  int ResyncQuietMS = 100;  // after the "OK": late answers still on the line are let through
  // AT+CSQ and AT+CREG? run in the polling cycle's full read, at most this often; a negative
  // value never asks.
  int NetworkStatusIntervalMS = 60000;
};

// What the modem said last about its network and its message storage; -1 where it has not
// said (yet) or could not.
struct TVTModemNetworkStatus {
  int SignalQuality = -1; // AT+CSQ: received signal strength 0..31, 99 not known
  int BitErrorRate = -1;  // AT+CSQ: 0..7, 99 not known
  int Registration = -1;  // AT+CREG?: 0 not registered, 1 home, 2 searching, 3 denied,
                          // 4 unknown, 5 roaming
  int StorageUsed = -1;   // message slots in use and in all, of the storage read
  int StorageTotal = -1;
};

// The SMS manager for a GSM modem on a serial line, in PDU mode.
//
// Every command is one exchange framed by what the modem says: the driver arms a wait,
// writes the command and the serial receive callback feeds the framer, which ends the
// answer at its final result ("OK", "ERROR", "+CMS ERROR: n", "+CME ERROR: n") or at the
// "> " prompt. Unsolicited result codes are taken out of the answer wherever they arrive:
// "+CMTI" and "+CMT" announce new messages (read on the polling thread at once), codes that
// show a restarted modem ask for the start-up dialogue, the others are logged at debug.
// An exchange without its answer in time (a missed prompt, a silent PDU entry, a garbled
// answer) ends with ESC and "AT" until "OK" before the next command, so one bad exchange
// fails one operation only. The start-up dialogue (resynchronise, echo off, PIN if the SIM
// asks, identity, storage, PDU mode, new-message notices) runs at activation and again
// before the next command whenever the port was opened anew or the modem restarted.
//
// Threads: activation, send, read and delete run on their callers' threads and are made
// mutually exclusive, each for its whole sequence of exchanges, by fCSModem. The receive
// callback runs on the port's receive thread and touches the current answer only under
// fCSCurrentSerialData; no thread holds that lock while writing to the port. Waits and
// pauses go through the wait clock (the system's unless a test sets another).
// Lock order: fCSModem, then the port's write lock, then fCSWriteToCommLogFile; on the
// receive thread fCSCurrentSerialData, then fCSWriteToCommLogFile; fCSNotices and fCSInfo
// are leaves. Deactivation closes the port without fCSModem, so a running exchange fails at
// once instead of blocking it. Owns its serial port. No operation raises: results are the
// codes of the manager.
class TVTSMSManagerSerialModem : public TVTSMSManager {
public:
  static constexpr const char* SC_NEWMESSAGENOTICES = "2,1,0,0,0"; // store and announce

  // Without a device the port uses the POSIX terminal device.
  explicit TVTSMSManagerSerialModem(std::unique_ptr<platform::IVTSerialDevice> aDevice = {});
  ~TVTSMSManagerSerialModem() override;

  int getCommPort() const;
  void setCommPort(int aValue);
  TBaudRate getBaudRate() const;
  void setBaudRate(TBaudRate aValue);
  void setSerialDeviceDir(const std::string& aDir);
  std::string getSerialDeviceDir() const;

  std::string getCommLogFilename() const EXCLUDES(fCSWriteToCommLogFile);
  void setCommLogFilename(const std::string& aFilename) EXCLUDES(fCSWriteToCommLogFile);

  int getSMSMemorySizeDefaultStorage() const { return fSMSMemorySizeDefaultStorage; }
  void setSMSMemorySizeDefaultStorage(int aValue) { fSMSMemorySizeDefaultStorage = aValue; }
  int getSMSMemorySizeSendStorage() const { return fSMSMemorySizeSendStorage; }
  void setSMSMemorySizeSendStorage(int aValue) { fSMSMemorySizeSendStorage = aValue; }
  int getSMSMemorySizeReceiveStorage() const { return fSMSMemorySizeReceiveStorage; }
  void setSMSMemorySizeReceiveStorage(int aValue) { fSMSMemorySizeReceiveStorage = aValue; }

  std::string getModemVendorInfo() const EXCLUDES(fCSInfo);
  std::string getModemModelInfo() const EXCLUDES(fCSInfo);
  std::string getModemSerialNumberInfo() const EXCLUDES(fCSInfo);
  // The AT+CNMI setting the modem accepted at its last start-up; empty: it announces no new
  // messages and polling alone finds them.
  std::string getNewMessageNotices() const EXCLUDES(fCSInfo);
  // Signal, registration and storage, as the polling cycle read them last.
  TVTModemNetworkStatus getNetworkStatus() const EXCLUDES(fCSInfo);

  void setTimings(const TVTSerialModemTimings& aTimings) EXCLUDES(fCSInfo);
  TVTSerialModemTimings getTimings() const EXCLUDES(fCSInfo);
  // The clock of the waits and pauses; not owned, it must outlive the driver. Set it before
  // activation.
  void setWaitClock(platform::IWaitClock& aClock) { fClock = &aClock; }
  TVTSerialPort& serialPort() { return *fSerialPort; }

  // Cuts a dialogue under way short (an activation that takes too long when the program
  // stops): the port closes, an exchange waiting for its answer ends as failed and every
  // further one fails at once, until the port is opened again. Any thread.
  void interruptDialogue() EXCLUDES(fCSCurrentSerialData);

  int readSMSs(TVTSMSManagerMessageList* aTOList) override EXCLUDES(fCSModem);
  int deleteSMSs(TVTSMSManagerMessageList* aMessageList) override EXCLUDES(fCSModem);

  bool sendSerialData(const std::string& aText);
  bool sendSerialDataLine(const std::string& aText);
  void writeToFile(const std::string& aPrefix, const std::string& aData)
      EXCLUDES(fCSWriteToCommLogFile);

protected:
  void informActiveChanged() override EXCLUDES(fCSModem);
  int sendSMSPDU(const std::string& aMessageAsPDU) override EXCLUDES(fCSModem);
  int readNoticedSMSs(TVTSMSManagerMessageList* aTOList) override EXCLUDES(fCSModem);

  // Arms the wait for the answer to the next command: aSuccessChars ">" waits for the
  // prompt, anything else for the final result. aDataIndex is the answer line that
  // waitForSerialData returns: 0 the final result, n the n-th information line (the final
  // result when there are fewer). aDataCount and aResultIndex are not used.
  virtual void initWaitForSerialData(int aDataCount, int aDataIndex, int aResultIndex,
                                     const std::string& aSuccessChars)
      EXCLUDES(fCSCurrentSerialData);
  // Waits at most aMaxWaitInMS (fDefaultAnswerWaitMS for 0) for the armed answer; the
  // wanted line, or the empty text after a time-out.
  virtual std::string waitForSerialData(int aMaxWaitInMS) EXCLUDES(fCSCurrentSerialData);
  // True when the armed answer ended with its marker ("OK", or the prompt).
  bool getModemResult() EXCLUDES(fCSCurrentSerialData);

private:
  // What an exchange got back.
  struct TModemAnswer {
    bool Complete = false; // a final result or the prompt ended it
    bool Prompt = false;
    TModemFinalKind Final = mfNone;
    std::string FinalLine;
    std::vector<std::string> Lines; // information lines: echo, unsolicited codes, noise out
    bool ok() const { return Final == mfOK; }
  };

  void serialPortReceiveCB(TVTSerialPort* Sender, const std::string& data)
      EXCLUDES(fCSCurrentSerialData);
  void serialPortAfterTransmitCB(TVTSerialPort* Sender, const std::string& data);
  void serialPortLost() EXCLUDES(fCSCurrentSerialData);
  void serialPortReopened();
  // Takes one piece of the modem's output into the armed answer; unsolicited codes are
  // collected in aUnsolicited for handling after the lock is released.
  void takePiece(const TModemAnswerPiece& aPiece, std::vector<TModemAnswerPiece>& aUnsolicited)
      REQUIRES(fCSCurrentSerialData);
  void completeAnswer(bool aResult) REQUIRES(fCSCurrentSerialData);
  void handleUnsolicited(const TModemAnswerPiece& aPiece) EXCLUDES(fCSCurrentSerialData);

  void activateModem() EXCLUDES(fCSModem);
  // Before every operation: the port is open and the modem answers, the start-up dialogue
  // run again where needed. False: the operation cannot talk to the modem now.
  bool ensureModemReady() REQUIRES(fCSModem);
  bool runStartupDialogue() REQUIRES(fCSModem);
  void enterPin() REQUIRES(fCSModem);
  void enableNewMessageNotices() REQUIRES(fCSModem);
  // One identity query: the answer line, "[?] " in front when the modem did not say OK.
  std::string queryInfo(const std::string& aCommand) REQUIRES(fCSModem);
  void readStorageSizes() REQUIRES(fCSModem);
  // AT+CSQ and AT+CREG? when NetworkStatusIntervalMS has passed since the last time; a
  // failure leaves the values unknown and costs the cycle nothing else.
  void readNetworkStatusWhenDue() REQUIRES(fCSModem);
  void takeStorageUsage(const std::vector<std::string>& aLines) EXCLUDES(fCSInfo);
  void setIdentity(const std::string& aVendor, const std::string& aModel,
                   const std::string& aSerial) EXCLUDES(fCSInfo);
  // ESC, then "AT" until "OK" (at most aTries times), then the line is let go quiet.
  bool resync(int aTries) REQUIRES(fCSModem);
  // Resynchronises when the last exchange went wrong.
  void recover() REQUIRES(fCSModem);
  void waitForQuietLine(int aQuietMS, int aMaxMS) EXCLUDES(fCSCurrentSerialData);
  bool startupAsked() EXCLUDES(fCSCurrentSerialData);
  // Arms, writes and waits; an incomplete answer at once when the write did not go out.
  TModemAnswer exchange(const std::string& aText, int aWaitMS,
                        const std::string& aExpectedPrefix = {}, bool aPromptEnds = false)
      REQUIRES(fCSModem);
  TModemAnswer currentAnswer() EXCLUDES(fCSCurrentSerialData);
  void expectEcho(const std::string& aWritten) EXCLUDES(fCSCurrentSerialData);
  int submitPDU(const std::string& aMessageAsPDU, bool& aRetry) REQUIRES(fCSModem);
  // Decodes one PDU read from the modem (raising OnDecodeError when it cannot) and appends
  // its record.
  void appendMessage(const TCMGLHeader& aHeader, const std::string& aPdu,
                     TVTSMSManagerMessageList* aTOList);
  void appendDeliveredMessages(TVTSMSManagerMessageList* aTOList) EXCLUDES(fCSNotices);
  void sleepMS(int aMS);
  std::string traceLine(const std::string& aPrefix, const std::string& aData) const;

  std::unique_ptr<TVTSerialPort> fSerialPort;
  std::atomic<platform::IWaitClock*> fClock{&platform::systemWaitClock()};

  TCriticalSection fCSModem ACQUIRED_BEFORE(fCSCurrentSerialData, fCSNotices, fCSInfo);
  unsigned fStartedGeneration GUARDED_BY(fCSModem) = 0; // the port opening it started on
  bool fNeedsResync GUARDED_BY(fCSModem) = false;
  bool fNetworkStatusRead GUARDED_BY(fCSModem) = false;
  platform::IWaitClock::TTimePoint fNetworkStatusReadAt GUARDED_BY(fCSModem);
  std::string fRefusedPin GUARDED_BY(fCSModem);

  TCriticalSection fCSCurrentSerialData ACQUIRED_BEFORE(fCSWriteToCommLogFile);
  TConditionVariable fEvtSerialData; // notified on every delivery and at the answer's end
  TVTModemAnswerFramer fFramer GUARDED_BY(fCSCurrentSerialData);
  bool fArmed GUARDED_BY(fCSCurrentSerialData) = false;
  bool fSerialDataArrived GUARDED_BY(fCSCurrentSerialData) = false; // the answer is complete
  bool fPromptSeen GUARDED_BY(fCSCurrentSerialData) = false;
  std::string fCurrentSerialDataRaw GUARDED_BY(fCSCurrentSerialData);
  std::vector<std::string> fCurrentSerialData GUARDED_BY(fCSCurrentSerialData);
  std::string fCurrentFinalLine GUARDED_BY(fCSCurrentSerialData);
  TModemFinalKind fCurrentFinal GUARDED_BY(fCSCurrentSerialData) = mfNone;
  std::string fCurrentSuccessChars GUARDED_BY(fCSCurrentSerialData) = "OK";
  int fCurrentSerialDataIndex GUARDED_BY(fCSCurrentSerialData) = 0;
  bool fCurrentModemResult GUARDED_BY(fCSCurrentSerialData) = false;
  std::string fLastWritten GUARDED_BY(fCSCurrentSerialData); // to know its echo
  bool fEchoExpected GUARDED_BY(fCSCurrentSerialData) = true;
  bool fStartupAsked GUARDED_BY(fCSCurrentSerialData) = false;
  std::uint64_t fBytesReceived GUARDED_BY(fCSCurrentSerialData) = 0;
  std::atomic<bool> fPinRefused{false}; // never offer a refused PIN twice: the SIM would lock

  struct TDeliveredSMS {
    std::string Pdu;
    int Length = -1;
  };
  TCriticalSection fCSNotices;
  std::vector<int> fNoticedSlots GUARDED_BY(fCSNotices);
  std::vector<TDeliveredSMS> fDelivered GUARDED_BY(fCSNotices); // "+CMT", until deleted

  bool fUseSerialWriteOverlapped = true;
  int fDefaultAnswerWaitMS = 4000;
  mutable TCriticalSection fCSInfo;
  std::string fModemVendorInfo GUARDED_BY(fCSInfo);
  std::string fModemModelInfo GUARDED_BY(fCSInfo);
  std::string fModemSerialNumberInfo GUARDED_BY(fCSInfo);
  std::string fNewMessageNotices GUARDED_BY(fCSInfo);
  TVTModemNetworkStatus fNetworkStatus GUARDED_BY(fCSInfo);
  TVTSerialModemTimings fTimings GUARDED_BY(fCSInfo);
  std::atomic<int> fSMSMemorySizeDefaultStorage{10};
  std::atomic<int> fSMSMemorySizeSendStorage{10};
  std::atomic<int> fSMSMemorySizeReceiveStorage{10};

  mutable TCriticalSection fCSWriteToCommLogFile;
  std::string fCommLogFilename GUARDED_BY(fCSWriteToCommLogFile);
  TFormatSettings fFormatSettings;
};
