#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the HTTP commands need of the GSM modem: its run state, the three sends and clearing
// its message memory. Results are the driver's: 0 is success. The serial modem's adapter
// (TSerialModemAdapter) serialises the core's use of the driver; tests use an in-memory modem.
// Threads: any; calls may block for a whole AT dialogue.
class ISMSModem {
public:
  virtual ~ISMSModem() = default;

  virtual bool isActive() = 0;
  // A text of any length and alphabet, in as many SMS as it needs (at most aMaxParts, else
  // ESMSTooManyParts is raised before anything is sent); 0 only when every part was sent.
  virtual int sendSMSText(const std::string& aReceiver, const std::string& aText,
                          int aMaxParts) = 0;
  virtual int sendSMSBinary(const std::string& aReceiver,
                            const std::vector<std::uint8_t>& aData) = 0;
  virtual int sendSMSPush(const std::string& aReceiver, const std::vector<std::uint8_t>& aData) = 0;
  // Deletes every storage slot of the modem's memory.
  virtual int clearMemory() = 0;
};
