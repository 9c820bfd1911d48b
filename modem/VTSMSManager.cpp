#include "modem/VTSMSManager.h"

#include "common/SystemTools.h"
#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"

#include <chrono>
#include <random>

// ---- the polling thread ----

namespace {

constexpr const char* SC_MODULE = "smsmodem";

} // namespace

TVTSMSManagerReceiveThread::TVTSMSManagerReceiveThread(TVTSMSManager* aParent, int aIntervall)
    : fParent(aParent), fIntervall(aIntervall) {}

TVTSMSManagerReceiveThread::~TVTSMSManagerReceiveThread() {
  fThread.stop();
}

void TVTSMSManagerReceiveThread::start() {
  fThread.start([this](TStoppableThread& aThread) { execute(aThread); });
}

void TVTSMSManagerReceiveThread::signalIntervallEvent() {
  fFullReadAsked = true;
  fThread.wake();
}

void TVTSMSManagerReceiveThread::signalNewMessageNotice() {
  fNoticeAsked = true;
  fThread.wake();
}

void TVTSMSManagerReceiveThread::terminate() {
  fThread.requestStop();
}

void TVTSMSManagerReceiveThread::clearList() {
  fList.clear();
}

void TVTSMSManagerReceiveThread::runCycle(bool aFullRead) {
  TVTSMSManager& manager = *fParent;
  bool readOK = false;
  try {
    const int result = aFullRead ? manager.readSMSs(&fList) : manager.readNoticedSMSs(&fList);
    if (result != ICSMSRESULT_OK) {
      manager.doAutoReadSMSsError(result);
    } else {
      readOK = true;
    }
  } catch (const std::exception& e) {
    manager.informReadSMSException(e);
  }
  if (readOK) {
    if (aFullRead) {
      // The journal keeps only what the modem still holds.
      std::vector<std::string> present;
      for (const auto& message : fList) {
        present.push_back(message->getMessageDataPDU());
      }
      manager.fStoredSMS.retainOnly(present);
    }
    for (const auto& message : fList) {
      manager.receiveFromDevice(*message);
    }
  }
  try {
    manager.doInformNewSMSSimulation();
  } catch (const std::exception& e) {
    manager.informReadSMSException(e);
  }
  clearList();
}

void TVTSMSManagerReceiveThread::execute(TStoppableThread& aThread) {
  using TClock = std::chrono::steady_clock;
  auto nextFullRead = TClock::now(); // the first cycle runs at once
  while (!aThread.stopRequested()) {
    const bool fullAsked = fFullReadAsked.exchange(false);
    const bool noticed = fNoticeAsked.exchange(false);
    const bool full = fullAsked || TClock::now() >= nextFullRead;
    if ((full || noticed) && fParent != nullptr) {
      try {
        runCycle(full);
      } catch (...) {
        clearList(); // a handler's non-standard throw must not end the polling
      }
    }
    if (full) {
      nextFullRead = TClock::now() + std::chrono::milliseconds(fIntervall);
    }
    if (aThread.stopRequested() || fFullReadAsked || fNoticeAsked) {
      continue;
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(nextFullRead - TClock::now());
    if (wait.count() > 0) {
      (void)aThread.waitFor(wait);
    }
  }
}

// ---- the manager ----

// The references of concatenated SMS start anywhere, so that a restart does not send the first
// message again under the reference a phone may still be joining parts of.
TVTSMSManager::TVTSMSManager()
    : fSMSCodec(std::make_unique<TSMSCODEC>()), fConcatReference(std::random_device()()) {}

TVTSMSManager::~TVTSMSManager() {
  stopReceiveThread();
}

std::string TVTSMSManager::getPIN() const {
  TScopedLock lock(fCSPIN);
  return fPIN;
}

void TVTSMSManager::setPIN(const std::string& aValue) {
  TScopedLock lock(fCSPIN);
  fPIN = aValue;
}

void TVTSMSManager::stopReceiveThread() {
  std::unique_ptr<TVTSMSManagerReceiveThread> thread;
  {
    TScopedLock lock(fCSReceiveThread);
    thread = std::move(fSMSReceiveThread);
  }
  thread.reset(); // ends and joins outside the lock
}

void TVTSMSManager::informNewMessageNotice() {
  TScopedLock lock(fCSReceiveThread);
  if (fSMSReceiveThread) {
    fSMSReceiveThread->signalNewMessageNotice();
  }
}

void TVTSMSManager::requestFullRead() {
  TScopedLock lock(fCSReceiveThread);
  if (fSMSReceiveThread) {
    fSMSReceiveThread->signalIntervallEvent();
  }
}

int TVTSMSManager::readNoticedSMSs(TVTSMSManagerMessageList*) {
  return ICSMSRESULT_OK;
}

void TVTSMSManager::receiveFromDevice(const TVTSMSManagerMessage& aMessage) {
  const std::string& pdu = aMessage.getMessageDataPDU();
  if (!pdu.empty() && fStoredSMS.contains(pdu)) {
    // Stored by an earlier read whose deletion failed or did not happen any more.
    if (Logger().isDebug()) {
      Logger().debug(SC_MODULE, "SMS in slot " + std::to_string(aMessage.getMessageIndex()) +
                                    " was stored before: not reported again");
    }
  } else if (!reportReceived(aMessage)) {
    Logger().warn(SC_MODULE, "SMS from \"" + aMessage.getRecipient() + "\" in slot " +
                                 std::to_string(aMessage.getMessageIndex()) +
                                 " not stored: it stays in the modem for the next read");
    return;
  } else if (!pdu.empty()) {
    fStoredSMS.add(pdu);
  }
  if (getAutoDeleteSMS()) {
    deleteStored(aMessage);
  }
}

bool TVTSMSManager::reportReceived(const TVTSMSManagerMessage& aMessage) {
  try {
    return doInformNewSMS(aMessage);
  } catch (const std::exception& e) {
    informReadSMSException(e);
  } catch (...) {
    // counts as not stored, like any other failure of the handler
  }
  return false;
}

void TVTSMSManager::deleteStored(const TVTSMSManagerMessage& aMessage) {
  TVTSMSManagerMessageList one;
  one.push_back(std::make_unique<TVTSMSManagerMessage>(aMessage));
  try {
    const int result = deleteSMSs(&one);
    if (result != ICSMSRESULT_OK) {
      doAutoDeleteSMSsError(result);
      return;
    }
    fStoredSMS.remove(aMessage.getMessageDataPDU());
    doInformDeletedSMS(one);
  } catch (const std::exception& e) {
    informDeleteSMSException(e);
  }
}

void TVTSMSManager::setActive(bool aValue) {
  if (aValue == fActive) {
    return;
  }
  fActive = aValue;
  informActiveChanged();
  if (fActive) {
    auto thread = std::make_unique<TVTSMSManagerReceiveThread>(this, getSMSCheckIntervall());
    TScopedLock lock(fCSReceiveThread);
    fSMSReceiveThread = std::move(thread);
    fSMSReceiveThread->start();
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
  ++(result == ICSMSRESULT_OK ? fSentCount : fSendFailureCount);
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

int TVTSMSManager::sendSMSTextParts(const std::string& aRecipient, const std::string& aMessageText,
                                    int aMaxParts) {
  const std::string recipient =
      !aRecipient.empty() && aRecipient[0] == '+' ? aRecipient.substr(1) : aRecipient;
  std::vector<std::string> pdus;
  try {
    pdus = fSMSCodec->EncodeSMSParts(recipient, aMessageText,
                                     static_cast<std::uint8_t>(fConcatReference++), aMaxParts);
  } catch (const ESMSTooManyParts&) {
    throw;
  } catch (const std::exception& e) {
    if (OnCodeError) {
      try {
        OnCodeError(this, recipient, aMessageText, e.what());
      } catch (const std::exception&) {
        // the failure is the result
      }
    }
    ++fSendFailureCount;
    return ICSMSRESULT_UNKNOWNERROR;
  }
  std::string sentPDUs;
  for (std::size_t i = 0; i < pdus.size(); ++i) {
    const int result = sendSMSPDU(pdus[i]);
    if (result != ICSMSRESULT_OK) {
      if (i > 0) {
        Logger().error(SC_MODULE, "SMS to \"" + aRecipient + "\" not sent: part " +
                                      std::to_string(i + 1) + " of " + std::to_string(pdus.size()) +
                                      " failed (" + std::to_string(result) +
                                      "); parts sent before it: " + sentPDUs);
      }
      ++fSendFailureCount;
      return result;
    }
    if (i > 0) {
      sentPDUs += SC_SMSPARTSEPARATOR;
    }
    sentPDUs += pdus[i];
  }
  ++fSentCount; // a long text counts once, as one message, whatever its parts
  TVTSMSManagerMessage sent;
  sent.setRecipient(aRecipient);
  sent.setTheMessage(aMessageText);
  sent.setMessageDataPDU(sentPDUs);
  sent.setMessageType(VTSMSMMT_TEXT);
  sent.setMessageTimestamp(NowUTC());
  try {
    doInformSMSSent(aRecipient, aMessageText, std::string(), sent);
  } catch (const std::exception&) {
    // the SMS is sent whatever a handler does
  }
  return ICSMSRESULT_OK;
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
    TScopedLock lock(fCSSimulateReceivedSMSList);
    fSimulateReceivedSMSList.push_back(std::move(aSMS));
  }
  if (signalevent) {
    requestFullRead();
  }
}

bool TVTSMSManager::doInformNewSMS(const TVTSMSManagerMessage& aNewSMS) {
  if (!OnSMSReceived) {
    return true;
  }
  return OnSMSReceived(this, aNewSMS.getRecipient(), aNewSMS.getTheMessage(),
                       aNewSMS.getMessageDataPDU(), aNewSMS);
}

void TVTSMSManager::doInformNewSMSSimulation() {
  TVTSMSManagerMessageList queued;
  {
    TScopedLock lock(fCSSimulateReceivedSMSList);
    queued.swap(fSimulateReceivedSMSList);
  }
  // Reported outside the lock, so a handler may inject again without dead-locking. These
  // are in no device: whether the handler stored them changes nothing here.
  for (const auto& message : queued) {
    (void)doInformNewSMS(*message);
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
