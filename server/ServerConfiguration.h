#pragma once

#include <string>
#include <vector>

inline constexpr const char* SC_CONFIGFILENAME = "Parlino.kvcfg";

// One serial modem entry of the configuration file, with the defaults of missing attributes.
// A comport that is a number outside 1..255 is a configuration error: Error says so, the
// port stays 1 and the entry is not active (no modem is driven on a port nobody named).
struct TSerialModemEntry {
  bool Active = false;
  int CommPort = 1;
  std::string BaudRateName; // as written; the caller maps it to a line speed
  std::string Pin;
  std::string Error; // empty when the entry is usable
};

// What the configuration file says. Reading never throws: a file that is no XML document,
// or whose first node is not the "kvsmssenderconfiguration" element, gives an error text
// and no entries.
struct TServerConfiguration {
  std::vector<TSerialModemEntry> SerialModems; // in document order; the last one wins
  std::string Error;                           // empty when the file was read
};

TServerConfiguration parseServerConfiguration(const std::string& aXmlText);
