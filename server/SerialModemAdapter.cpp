#include "server/SerialModemAdapter.h"

#include "modem/VTSMSManagerSerialModem.h"

bool TSerialModemAdapter::isActive() {
  TScopedLock lock(fCSSerialConnection);
  return fModem.getActive();
}

int TSerialModemAdapter::sendSMSText(const std::string& aReceiver, const std::string& aText,
                                     int aMaxParts) {
  TScopedLock lock(fCSSerialConnection);
  return fModem.sendSMSTextParts(aReceiver, aText, aMaxParts);
}

int TSerialModemAdapter::sendSMSBinary(const std::string& aReceiver,
                                       const std::vector<std::uint8_t>& aData) {
  TScopedLock lock(fCSSerialConnection);
  return fModem.sendSMSBinary(aReceiver, aData);
}

int TSerialModemAdapter::sendSMSPush(const std::string& aReceiver,
                                     const std::vector<std::uint8_t>& aData) {
  TScopedLock lock(fCSSerialConnection);
  return fModem.sendSMSPush(aReceiver, aData);
}

int TSerialModemAdapter::clearMemory() {
  return fModem.deleteSMSs(nullptr);
}
