#pragma once

#include "modem/SMSCodec.h"
#include "modem/VTSMSManagerMessage.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using TVTSMSManagerMessageList = std::vector<std::unique_ptr<TVTSMSManagerMessage>>;

class TVTSMSManager;

// The polling thread of an active manager: reads the modem's new messages at once when it
// starts and then every fIntervall ms, or earlier when signalled. Owned by the manager; its
// destructor ends and joins the thread.
class TVTSMSManagerReceiveThread {
public:
  TVTSMSManagerReceiveThread(TVTSMSManager* aParent, int aIntervall);
  ~TVTSMSManagerReceiveThread();
  TVTSMSManagerReceiveThread(const TVTSMSManagerReceiveThread&) = delete;
  TVTSMSManagerReceiveThread& operator=(const TVTSMSManagerReceiveThread&) = delete;

  void start();
  // Wakes a waiting cycle early.
  void signalIntervallEvent();
  // Tells the thread to end after its current cycle and wakes it.
  void terminate();
  int getIntervall() const { return fIntervall; }

private:
  void execute();
  void runCycle();
  void clearList();

  TVTSMSManager* fParent; // not owned: the manager owns this thread
  int fIntervall;
  TVTSMSManagerMessageList fList; // the messages of one cycle; only the thread touches it
  std::mutex fCSEvent;            // leaf; guards the two flags below
  std::condition_variable fEvtIntervall;
  bool fSignalled = false;
  bool fTerminated = false;
  std::thread fThread;
};

// The device-independent half of the modem stack: encodes and sends SMS through the driver's
// sendSMSPDU, runs the polling thread while active and reports through its On... events.
//
// Threads: the send operations run on the caller's thread, encoding outside any lock of the
// manager (the driver serialises its device dialogue); OnSMSSent and OnCodeError run there.
// OnSMSReceived, OnSMSDeleted and the automatic error events run on the polling thread.
// Records passed to handlers belong to the manager; a handler copies what it keeps.
// Active is changed by one thread at a time. A derived driver must set Active to false in
// its own destructor (the device goes down through informActiveChanged).
class TVTSMSManager {
public:
  using TVTSMSManagerSMSReceiveEvent = std::function<void(
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

  // Never throw: a codec failure goes to OnCodeError, a device failure is the result code.
  int sendSMSText(const std::string& aRecipient, const std::string& aMessageText);
  int sendSMSBinary(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage);
  int sendSMSPush(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage);

  // Appends the modem's new messages to aTOList.
  virtual int readSMSs(TVTSMSManagerMessageList* aTOList) = 0;
  // Deletes the stored messages of the list; without a list, every storage slot.
  virtual int deleteSMSs(TVTSMSManagerMessageList* aMessageList) = 0;

  // Queues a message to be reported as received by the next polling cycle (any thread);
  // with signalevent set, an active manager polls at once.
  void addReceivedMessage(std::unique_ptr<TVTSMSManagerMessage> aSMS, bool signalevent);

  TVTSMSManagerSMSReceiveEvent OnSMSSent;
  TVTSMSManagerSMSReceiveEvent OnSMSReceived;
  TVTSMSManagerSMSDeletedEvent OnSMSDeleted;
  TVTSMSManagerSMSCodeErrorEvent OnCodeError;
  TVTSMSManagerSMSDecodeErrorEvent OnDecodeError;
  TVTSMSManagerSMSAutoReadErrorEvent OnAutoReadSMSError;
  TVTSMSManagerSMSAutoReadErrorEvent OnAutoDeleteSMSError;
  TVTSMSManagerSMSAutoExceptionEvent OnAutoReadSMSException;
  TVTSMSManagerSMSAutoExceptionEvent OnAutoDeleteSMSException;

protected:
  friend class TVTSMSManagerReceiveThread;

  virtual void doInformNewSMS(const TVTSMSManagerMessage& aNewSMS);
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

  // Stops the polling thread without touching the device (for a driver's destructor).
  void stopReceiveThread();

  std::unique_ptr<TSMSCODEC> fSMSCodec;
  std::atomic<bool> fActive{false};

private:
  enum class EDataKind { Binary, Push };
  int sendData(const std::string& aRecipient, const std::vector<std::uint8_t>& aMessage,
               EDataKind aKind);
  int sendEncoded(const std::string& aRecipient, const std::string& aText,
                  TVTSMSManagerMessageType aType,
                  std::string (TSMSCODEC::*aEncoder)(const std::string&, const std::string&) const);

  TVTSMSManagerMessageList fSimulateReceivedSMSList;
  std::mutex fCSSimulateReceivedSMSList; // leaf; guards the injection queue
  std::atomic<int> fSMSReceivedCheckIntervall{IC_DEFAULTSMSRECEIVECHECKINTERVALL};
  std::atomic<bool> fAutoDeleteSMS{false};
  mutable std::mutex fCSPIN; // leaf; guards fPIN
  std::string fPIN;
  std::mutex fCSReceiveThread; // leaf; guards the pointer below, never held while joining
  std::unique_ptr<TVTSMSManagerReceiveThread> fSMSReceiveThread;
};
