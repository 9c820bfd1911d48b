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

TSMSCommandParams readSMSCommandParams(const TWebFields& aQueryFields, std::string_view aBody) {
  TWebFields bodyFields;
  if (aQueryFields.empty()) {
    bodyFields = parseWebFormFields(aBody);
    for (TWebField& field : bodyFields) {
      field.Name = lowerAscii(std::move(field.Name));
      field.Value = lowerAscii(std::move(field.Value));
    }
  }
  const TWebFields& fields = aQueryFields.empty() ? bodyFields : aQueryFields;
  const auto value = [&](std::string_view aName) {
    const TWebField* field = findWebField(fields, aName);
    return field != nullptr ? field->Value : std::string();
  };
  TSMSCommandParams params;
  params.User = value("smsusr");
  params.Password = value("smspwd");
  params.PasswordCoded = value("smspwdcoded");
  params.Receiver = value("receiver");
  params.Message = value("message");
  params.Coding = value("coding");
  params.Type = value("type");
  params.Format = value("format");
  return params;
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
