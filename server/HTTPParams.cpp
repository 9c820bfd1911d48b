#include "server/HTTPParams.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"

std::string getHTTPParam(const TWebFields& aQueryFields, std::string_view aBody,
                         std::string_view aParamName) {
  if (!aQueryFields.empty()) {
    const TWebField* field = findWebField(aQueryFields, aParamName);
    return field != nullptr ? field->Value : std::string();
  }
  TWebFields bodyFields = parseWebFormFields(aBody);
  for (TWebField& field : bodyFields) {
    field.Name = lowerAscii(field.Name);
    field.Value = lowerAscii(field.Value);
  }
  const TWebField* field = findWebField(bodyFields, lowerAscii(std::string(aParamName)));
  return field != nullptr ? field->Value : std::string();
}

bool readBooleanParam(const std::string& aValue, bool aDefault) {
  const std::string text = lowerAscii(aValue);
  if (text == "true") {
    return true;
  }
  if (text == "false") {
    return false;
  }
  long long number = 0;
  if (!tryParseInteger(text, number)) {
    return aDefault;
  }
  return number != 0;
}

std::string normaliseReceiver(const std::string& aReceiver) {
  if (!aReceiver.empty() && (aReceiver[0] == '+' || aReceiver[0] == ' ')) {
    return aReceiver.substr(1);
  }
  if (aReceiver.size() >= 2 && aReceiver.compare(0, 2, "00") == 0) {
    return aReceiver.substr(2);
  }
  return aReceiver;
}
