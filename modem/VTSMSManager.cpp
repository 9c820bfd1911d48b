#include "modem/VTSMSManager.h"

#include "common/SystemTools.h"
#include "common/UniCodeTools.h"

#include <chrono>

// ---- the polling thread ----

TVTSMSManagerReceiveThread::TVTSMSManagerReceiveThread(TVTSMSManager* aParent, int aIntervall)
    : fParent(aParent), fIntervall(aIntervall) {}

TVTSMSManagerReceiveThread::~TVTSMSManagerReceiveThread() {
  terminate();
  if (fThread.joinable()) {
    fThread.join();
  }
}

void TVTSMSManagerReceiveThread::start() {
  fThread = std::thread([this] { execute(); });
}

void TVTSMSManagerReceiveThread::signalIntervallEvent() {
  {
    std::lock_guard lock(fCSEvent);
    fSignalled = true;
  }
  fEvtIntervall.notify_all();
}

void TVTSMSManagerReceiveThread::terminate() {
  {
    std::lock_guard lock(fCSEvent);
    fTerminated = true;
  }
  fEvtIntervall.notify_all();
}

void TVTSMSManagerReceiveThread::clearList() {
  fList.clear();
}

void TVTSMSManagerReceiveThread::runCycle() {
  TVTSMSManager& manager = *fParent;
  bool readOK = false;
  try {
    const int result = manager.readSMSs(&fList);
    if (result != ICSMSRESULT_OK) {
      manager.doAutoReadSMSsError(result);
    } else {
      readOK = true;
      for (const auto& message : fList) {
        manager.doInformNewSMS(*message);
      }
    }
    manager.doInformNewSMSSimulation();
  } catch (const std::exception& e) {
    manager.informReadSMSException(e);
  }
  // Only the messages just read and reported are deleted: one the modem stores in between
  // stays for the next cycle instead of being cleared unreported.
  if (manager.getAutoDeleteSMS() && readOK && !fList.empty()) {
    try {
      const int result = manager.deleteSMSs(&fList);
      if (result == ICSMSRESULT_OK) {
        manager.doInformDeletedSMS(fList);
      } else {
        manager.doAutoDeleteSMSsError(result);
      }
    } catch (const std::exception& e) {
      manager.informDeleteSMSException(e);
    }
  }
  clearList();
}

void TVTSMSManagerReceiveThread::execute() {
  for (;;) {
    {
      std::lock_guard lock(fCSEvent);
      if (fTerminated) {
        return;
      }
    }
    if (fParent != nullptr) {
      try {
        runCycle();
      } catch (...) {
        clearList(); // a handler's non-standard throw must not end the polling
      }
    }
    std::unique_lock lock(fCSEvent);
    if (fTerminated) {
      return;
    }
    fSignalled = false;
    fEvtIntervall.wait_for(lock, std::chrono::milliseconds(fIntervall),
                           [this] { return fSignalled || fTerminated; });
  }
}

// ---- the manager ----

TVTSMSManager::TVTSMSManager() : fSMSCodec(std::make_unique<TSMSCODEC>()) {}

TVTSMSManager::~TVTSMSManager() {
  stopReceiveThread();
}

std::string TVTSMSManager::getPIN() const {
  std::lock_guard lock(fCSPIN);
  return fPIN;
}

void TVTSMSManager::setPIN(const std::string& aValue) {
  std::lock_guard lock(fCSPIN);
  fPIN = aValue;
}

void TVTSMSManager::stopReceiveThread() {
  std::unique_ptr<TVTSMSManagerReceiveThread> thread;
  {
    std::lock_guard lock(fCSReceiveThread);
    thread = std::move(fSMSReceiveThread);
  }
  thread.reset(); // ends and joins outside the lock
}

void TVTSMSManager::setActive(bool aValue) {
  if (aValue == fActive) {
    return;
  }
  fActive = aValue;
  informActiveChanged();
  if (fActive) {
    auto thread = std::make_unique<TVTSMSManagerReceiveThread>(this, getSMSCheckIntervall());
    TVTSMSManagerReceiveThread* started = thread.get();
    {
      std::lock_guard lock(fCSReceiveThread);
      fSMSReceiveThread = std::move(thread);
    }
    started->start();
  } else {
    stopReceiveThread();
  }
}

int TVTSMSManager::sendEncoded(const std::string& aRecipient, const std::string& aText,
                               TVTSMSManagerMessageType aType,
                               std::string (TSMSCODEC::*aEncoder)(const std::string&,
                                                                  const std::string&) const) {
  const std::string recipient =
      !aRecipient.empty() && aRecipient[0] == '+' ? aRecipient.substr(1) : aRecipient;
  std::string pdu;
  try {
    pdu = ((*fSMSCodec).*aEncoder)(recipient, aText);
  } catch (const std::exception& e) {
    if (OnCodeError) {
      try {
        OnCodeError(this, recipient, aText, e.what());
      } catch (const std::exception&) {
        // the send goes on; its result reports the failure
      }
    }
  }
  const int result = sendSMSPDU(pdu);
  if (result == ICSMSRESULT_OK) {
    TVTSMSManagerMessage sent;
    sent.setRecipient(aRecipient);
    sent.setTheMessage(aText);
    sent.setMessageDataPDU(pdu);
    sent.setMessageType(aType);
    sent.setMessageTimestamp(NowUTC());
    try {
      doInformSMSSent(aRecipient, aText, std::string(), sent);
    } catch (const std::exception&) {
      // the SMS is sent whatever a handler does
    }
  }
  return result;
}

int TVTSMSManager::sendSMSText(const std::string& aRecipient, const std::string& aMessageText) {
  return sendEncoded(aRecipient, aMessageText, VTSMSMMT_TEXT, &TSMSCODEC::EncodeSMS);
}

int TVTSMSManager::sendData(const std::string& aRecipient,
                            const std::vector<std::uint8_t>& aMessage, EDataKind aKind) {
  const std::string hex = encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aMessage.data()), aMessage.size()));
  return sendEncoded(aRecipient, hex, VTSMSMMT_DATA,
                     aKind == EDataKind::Push ? &TSMSCODEC::EncodeSMSPush
                                              : &TSMSCODEC::EncodeSMSBinary);
}

int TVTSMSManager::sendSMSBinary(const std::string& aRecipient,
                                 const std::vector<std::uint8_t>& aMessage) {
  return sendData(aRecipient, aMessage, EDataKind::Binary);
}

int TVTSMSManager::sendSMSPush(const std::string& aRecipient,
                               const std::vector<std::uint8_t>& aMessage) {
  return sendData(aRecipient, aMessage, EDataKind::Push);
}

void TVTSMSManager::addReceivedMessage(std::unique_ptr<TVTSMSManagerMessage> aSMS,
                                       bool signalevent) {
  {
    std::lock_guard lock(fCSSimulateReceivedSMSList);
    fSimulateReceivedSMSList.push_back(std::move(aSMS));
  }
  if (signalevent) {
    std::lock_guard lock(fCSReceiveThread);
    if (fSMSReceiveThread) {
      fSMSReceiveThread->signalIntervallEvent();
    }
  }
}

void TVTSMSManager::doInformNewSMS(const TVTSMSManagerMessage& aNewSMS) {
  if (OnSMSReceived) {
    OnSMSReceived(this, aNewSMS.getRecipient(), aNewSMS.getTheMessage(),
                  aNewSMS.getMessageDataPDU(), aNewSMS);
  }
}

void TVTSMSManager::doInformNewSMSSimulation() {
  TVTSMSManagerMessageList queued;
  {
    std::lock_guard lock(fCSSimulateReceivedSMSList);
    queued.swap(fSimulateReceivedSMSList);
  }
  // Reported outside the lock, so a handler may inject again without dead-locking.
  for (const auto& message : queued) {
    doInformNewSMS(*message);
  }
}

void TVTSMSManager::doInformDeletedSMS(const TVTSMSManagerMessageList& aMessageList) {
  if (OnSMSDeleted) {
    OnSMSDeleted(this, aMessageList);
  }
}

void TVTSMSManager::doInformSMSSent(const std::string& aSender, const std::string& aMessageText,
                                    const std::string& aMessageData,
                                    const TVTSMSManagerMessage& aSMSInfo) {
  if (OnSMSSent) {
    OnSMSSent(this, aSender, aMessageText, aMessageData, aSMSInfo);
  }
}

void TVTSMSManager::doAutoReadSMSsError(int aErrorCode) {
  if (OnAutoReadSMSError) {
    OnAutoReadSMSError(this, aErrorCode);
  }
}

void TVTSMSManager::doAutoDeleteSMSsError(int aErrorCode) {
  if (OnAutoDeleteSMSError) {
    OnAutoDeleteSMSError(this, aErrorCode);
  }
}

void TVTSMSManager::informReadSMSException(const std::exception& aException) {
  if (OnAutoReadSMSException) {
    OnAutoReadSMSException(this, aException);
  }
}

void TVTSMSManager::informDeleteSMSException(const std::exception& aException) {
  if (OnAutoDeleteSMSException) {
    OnAutoDeleteSMSException(this, aException);
  }
}
