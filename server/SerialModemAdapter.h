#pragma once

#include "platform/Locks.h"
#include "server/SMSModem.h"

class TVTSMSManagerSerialModem;

// The core's use of the serial modem driver. fCSSerialConnection, the core's serial lock,
// serialises the core's sends and its reading of the active state. It is taken before the
// database lock: the driver raises its sent event on the sending thread, and the handler
// stores the SMS while the lock is held. Clearing the memory does not take it; the driver
// serialises its own AT dialogue.
// Threads: any (HTTP workers); a send blocks for the whole AT dialogue of the driver.
class TSerialModemAdapter : public ISMSModem {
public:
  // aModem is not owned; it outlives the adapter.
  explicit TSerialModemAdapter(TVTSMSManagerSerialModem& aModem) : fModem(aModem) {}

  bool isActive() override EXCLUDES(fCSSerialConnection);
  // The text in parts where it needs them (the driver's sendSMSTextParts).
  int sendSMSText(const std::string& aReceiver, const std::string& aText, int aMaxParts) override
      EXCLUDES(fCSSerialConnection);
  int sendSMSBinary(const std::string& aReceiver, const std::vector<std::uint8_t>& aData) override
      EXCLUDES(fCSSerialConnection);
  int sendSMSPush(const std::string& aReceiver, const std::vector<std::uint8_t>& aData) override
      EXCLUDES(fCSSerialConnection);
  int clearMemory() override;

private:
  TVTSMSManagerSerialModem& fModem;
  TCriticalSection fCSSerialConnection;
};
