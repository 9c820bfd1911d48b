#pragma once

#include "modem/SMSCodec.h"
#include "modem/VTSMSManagerMessage.h"
#include "modem/VTStoredSMSJournal.h"
#include "platform/Locks.h"
#include "platform/StoppableThread.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using TVTSMSManagerMessageList = std::vector<std::unique_ptr<TVTSMSManagerMessage>>;

class TVTSMSManager;

// The polling thread of an active manager. It reads the modem's messages at once when it
// starts and then every fIntervall ms, or at once when signalIntervallEvent asks; when the
// device announces new messages (signalNewMessageNotice), it reads just those in between.
// Owned by the manager; its destructor ends and joins the thread.
class TVTSMSManagerReceiveThread {
public:
  TVTSMSManagerReceiveThread(TVTSMSManager* aParent, int aIntervall);
  ~TVTSMSManagerReceiveThread();
  TVTSMSManagerReceiveThread(const TVTSMSManagerReceiveThread&) = delete;
  TVTSMSManagerReceiveThread& operator=(const TVTSMSManagerReceiveThread&) = delete;

  void start();
  // A full read at once (any thread).
  void signalIntervallEvent();
  // A read of the announced messages at once (any thread).
  void signalNewMessageNotice();
  // Tells the thread to end after its current cycle and wakes it.
  void terminate();
  int getIntervall() const { return fIntervall; }

private:
  void execute(TStoppableThread& aThread);
  void runCycle(bool aFullRead);
  void clearList();

  TVTSMSManager* fParent; // not owned: the manager owns this thread
  int fIntervall;
  TVTSMSManagerMessageList fList; // the messages of one cycle; only the thread touches it
  std::atomic<bool> fFullReadAsked{false};
  std::atomic<bool> fNoticeAsked{false};
  TStoppableThread fThread; // last: its body runs on the fields above
};

// The device-independent half of the modem stack: encodes and sends SMS through the driver's
// sendSMSPDU, runs the polling thread while active and reports through its On... events.
//
// Received messages: OnSMSReceived returns true once it has stored the SMS for good; only
// then is the message deleted from the modem (with AutoDeleteSMS). When it returns false or
// throws, the message stays in the modem and is reported again by a later read. A message
// stored and not yet deleted (the deletion failed, or the program ended in between) is
// remembered by its PDU in the stored-SMS journal: read again, it is deleted without being
// reported a second time. Without a handler a message counts as stored. OnSMSDeleted
// reports each message deleted, in a list of one.
//
// Threads: the send operations run on the caller's thread, encoding outside any lock of the
// manager (the driver serialises its device dialogue); OnSMSSent and OnCodeError run there.
// OnSMSReceived, OnSMSDeleted and the automatic error events run on the polling thread.
// Records passed to handlers belong to the manager; a handler copies what it keeps.
// Active is changed by one thread at a time. A derived driver must set Active to false in
// its own destructor (the device goes down through informActiveChanged). The manager's
// locks are leaves.
class TVTSMSManager {
public:
  using TVTSMSManagerSMSReceiveEvent = std::function<void(
      TVTSMSManager* Sender, const std::string& aSender, const std::string& aMessageText,
      const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo)>;
  // The received event: true when the SMS is stored for good, false (or a throw) when not.
  using TVTSMSManagerSMSReceivedEvent = std::function<bool(
      TVTSMSManager* Sender, const std::string& aSender, const std::string& aMessageText,
      const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo)>;
  using TVTSMSManagerSMSDeletedEvent =
      std::function<void(TVTSMSManager* Sender, const TVTSMSManagerMessageList& aMessageList)>;
  using TVTSMSManagerSMSCodeErrorEvent =
      std::function<void(TVTSMSManager* Sender, const std::string& aRecipientToCode,
                         const std::string& aTextToCode, const std::string& aErrorMessage)>;
  using TVTSMSManagerSMSDecodeErrorEvent = std::function<void(
      TVTSMSManager* Sender, const std::string& aPDUToDecode, const std::string& aErrorMessage)>;
  using TVTSMSManagerSMSAutoReadErrorEvent =
      std::function<void(TVTSMSManager* Sender, int aErrorCode)>;
  using TVTSMSManagerSMSAutoExceptionEvent =
      std::function<void(TVTSMSManager* Sender, const std::exception& aException)>;

  TVTSMSManager();
  virtual ~TVTSMSManager();
  TVTSMSManager(const TVTSMSManager&) = delete;
  TVTSMSManager& operator=(const TVTSMSManager&) = delete;

  bool getActive() const { return fActive; }
  void setActive(bool aValue);
  std::string getPIN() const;
  void setPIN(const std::string& aValue);
  int getSMSCheckIntervall() const { return fSMSReceivedCheckIntervall; }
  void setSMSCheckIntervall(int aValue) { fSMSReceivedCheckIntervall = aValue; }
  bool getAutoDeleteSMS() const { return fAutoDeleteSMS; }
  void setAutoDeleteSMS(bool aValue) { fAutoDeleteSMS = aValue; }
  // Where the stored-SMS journal lives (see the class comment); empty keeps it in memory.
  void setStoredSMSFile(const std::string& aFileName) { fStoredSMS.setFileName(aFileName); }
  std::string getStoredSMSFile() const { return fStoredSMS.getFileName(); }

  // Never throw: a codec failure goes to OnCodeError, a device failure is the result code.
  // Every send counts as sent or failed (getSentCount, getSendFailureCount).
  int sendSMSText(const std::string& aRecipient, const std::string& aMessageText);
  int sendSMSBinary(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage);
  int sendSMSPush(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage);
  // A text of any length and alphabet: one SMS when it fits, else a concatenated SMS of at
  // most aMaxParts parts with a reference of its own. OnSMSSent comes once, after the last
  // part, with the whole text and the parts' PDUs joined by SC_SMSPARTSEPARATOR. A part that
  // fails ends the send with its result; the parts sent before it are logged. A text that
  // needs more than aMaxParts parts raises ESMSTooManyParts before anything is sent; any
  // other codec failure goes to OnCodeError and gives ICSMSRESULT_UNKNOWNERROR.
  int sendSMSTextParts(const std::string& aRecipient, const std::string& aMessageText,
                       int aMaxParts);

  // SMS sent and sends failed since the manager was made (any thread).
  std::uint64_t getSentCount() const { return fSentCount; }
  std::uint64_t getSendFailureCount() const { return fSendFailureCount; }

  // Appends the received messages in the modem to aTOList.
  virtual int readSMSs(TVTSMSManagerMessageList* aTOList) = 0;
  // Deletes the stored messages of the list; without a list, every storage slot.
  virtual int deleteSMSs(TVTSMSManagerMessageList* aMessageList) = 0;

  // An active manager reads the device at once instead of waiting for the next interval
  // (any thread).
  void requestFullRead() EXCLUDES(fCSReceiveThread);

  // Queues a message to be reported as received by the next polling cycle (any thread);
  // with signalevent set, an active manager polls at once.
  void addReceivedMessage(std::unique_ptr<TVTSMSManagerMessage> aSMS, bool signalevent);

  TVTSMSManagerSMSReceiveEvent OnSMSSent;
  TVTSMSManagerSMSReceivedEvent OnSMSReceived;
  TVTSMSManagerSMSDeletedEvent OnSMSDeleted;
  TVTSMSManagerSMSCodeErrorEvent OnCodeError;
  TVTSMSManagerSMSDecodeErrorEvent OnDecodeError;
  TVTSMSManagerSMSAutoReadErrorEvent OnAutoReadSMSError;
  TVTSMSManagerSMSAutoReadErrorEvent OnAutoDeleteSMSError;
  TVTSMSManagerSMSAutoExceptionEvent OnAutoReadSMSException;
  TVTSMSManagerSMSAutoExceptionEvent OnAutoDeleteSMSException;

protected:
  friend class TVTSMSManagerReceiveThread;

  // Raises OnSMSReceived; true when the SMS is stored (or no handler is set).
  virtual bool doInformNewSMS(const TVTSMSManagerMessage& aNewSMS);
  virtual void doInformNewSMSSimulation();
  virtual void doInformDeletedSMS(const TVTSMSManagerMessageList& aMessageList);
  virtual void doInformSMSSent(const std::string& aSender, const std::string& aMessageText,
                               const std::string& aMessageData,
                               const TVTSMSManagerMessage& aSMSInfo);
  virtual void doAutoReadSMSsError(int aErrorCode);
  virtual void doAutoDeleteSMSsError(int aErrorCode);
  // Where a driver brings its device up (fActive already true) or down (already false).
  virtual void informActiveChanged() {}
  virtual void informReadSMSException(const std::exception& aException);
  virtual void informDeleteSMSException(const std::exception& aException);
  virtual int sendSMSPDU(const std::string& aMessageAsPDU) = 0;
  // Appends the messages the device has announced since the last read; the default has
  // none. Runs on the polling thread between full reads.
  virtual int readNoticedSMSs(TVTSMSManagerMessageList* aTOList);

  // For a driver: the device announced new messages (any thread; wakes the polling thread).
  void informNewMessageNotice() EXCLUDES(fCSReceiveThread);
  // Stops the polling thread without touching the device (for a driver's destructor).
  void stopReceiveThread() EXCLUDES(fCSReceiveThread);

  std::unique_ptr<TSMSCODEC> fSMSCodec;
  std::atomic<bool> fActive{false};

private:
  enum class EDataKind { Binary, Push };
  // One message read from the device: reported unless the journal knows it as stored, and
  // deleted from the device once stored (polling thread).
  void receiveFromDevice(const TVTSMSManagerMessage& aMessage);
  bool reportReceived(const TVTSMSManagerMessage& aMessage);
  void deleteStored(const TVTSMSManagerMessage& aMessage);
  int sendData(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage,
               EDataKind aKind);
  int sendEncoded(const std::string& aRecipient, const std::string& aText,
                  TVTSMSManagerMessageType aType,
                  std::string (TSMSCODEC::*aEncoder)(const std::string&, const std::string&) const);

  TCriticalSection fCSSimulateReceivedSMSList;
  TVTSMSManagerMessageList fSimulateReceivedSMSList GUARDED_BY(fCSSimulateReceivedSMSList);
  std::atomic<int> fSMSReceivedCheckIntervall{IC_DEFAULTSMSRECEIVECHECKINTERVALL};
  std::atomic<bool> fAutoDeleteSMS{false};
  std::atomic<unsigned> fConcatReference; // of the next concatenated SMS (low 8 bits)
  std::atomic<std::uint64_t> fSentCount{0};
  std::atomic<std::uint64_t> fSendFailureCount{0};
  mutable TCriticalSection fCSPIN;
  std::string fPIN GUARDED_BY(fCSPIN);
  TVTStoredSMSJournal fStoredSMS;
  TCriticalSection fCSReceiveThread; // never held while joining
  std::unique_ptr<TVTSMSManagerReceiveThread> fSMSReceiveThread GUARDED_BY(fCSReceiveThread);
};
