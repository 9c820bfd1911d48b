#include "server/ServerConfiguration.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"

#include <pugixml.hpp>

namespace {

// "true"/"false" in any case, or a number where 0 is false; anything else is false.
bool readBoolean(const pugi::xml_attribute& aAttribute) {
  const std::string text = lowerAscii(aAttribute.value());
  if (text == "true") {
    return true;
  }
  long long number = 0;
  return tryParseInteger(text, number) && number != 0;
}

TSerialModemEntry readSerialModem(const pugi::xml_node& aEntry) {
  TSerialModemEntry entry;
  entry.Active = readBoolean(aEntry.attribute("active"));
  const pugi::xml_node modemConfig = aEntry.child("Modemconfig");
  long long port = 0;
  const std::string portText = modemConfig.attribute("comport").value();
  if (tryParseInteger(std::string_view(portText), port)) {
    if (port >= 1 && port <= 255) {
      entry.CommPort = static_cast<int>(port);
    } else {
      entry.Error = "comport \"" + portText + "\" is not a port number from 1 to 255";
      entry.Active = false;
    }
  }
  entry.BaudRateName = modemConfig.attribute("baudrate").value();
  entry.Pin = modemConfig.attribute("pin").value();
  return entry;
}

} // namespace

TServerConfiguration parseServerConfiguration(const std::string& aXmlText) {
  TServerConfiguration configuration;
  pugi::xml_document document;
  // Declarations, comments, processing instructions and doctype are kept as nodes: the first
  // node of the file, whatever its kind, is the one that must name the document type.
  const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments |
                           pugi::parse_pi | pugi::parse_doctype;
  const pugi::xml_parse_result parsed =
      document.load_buffer(aXmlText.data(), aXmlText.size(), options);
  if (!parsed) {
    configuration.Error =
        std::string(parsed.description()) + " at offset " + std::to_string(parsed.offset);
    return configuration;
  }
  const pugi::xml_node root = document.first_child();
  if (lowerAscii(root.name()) != "kvsmssenderconfiguration") {
    configuration.Error =
        std::string("wrong type, should be \"kvsmssenderconfiguration\", but is ") + "\"" +
        root.name() + "\".";
    return configuration;
  }
  for (const pugi::xml_node& entry : root.child("SMSConfigurations").children()) {
    if (entry.type() == pugi::node_element &&
        lowerAscii(entry.attribute("type").value()) == "serialmodem") {
      configuration.SerialModems.push_back(readSerialModem(entry));
    }
  }
  return configuration;
}
