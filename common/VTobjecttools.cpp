#include "common/VTobjecttools.h"

#include "common/TextTools.h"

#include <algorithm>
#include <cctype>

void TVTPublishedObject::publishMethod(std::string aName, THandler aHandler) {
  fPublishedMethods.emplace_back(std::move(aName), std::move(aHandler));
}

TVTPublishedObject::THandler TVTPublishedObject::findPublishedMethod(std::string_view aName) const {
  // The last published wins, so a derived class can replace an ancestor's handler.
  for (auto it = fPublishedMethods.rbegin(); it != fPublishedMethods.rend(); ++it) {
    if (equalsIgnoreCase(it->first, aName)) {
      return it->second;
    }
  }
  return {};
}

TVTMethod VTFindMethod(const TVTPublishedObject* aObject, std::string_view aMethodName) {
  TVTMethod method;
  if (aObject != nullptr) {
    method.Code = aObject->findPublishedMethod(aMethodName);
    method.Data = method.Code ? aObject : nullptr;
  }
  return method;
}

bool VTMethodExists(const TVTPublishedObject* aObject, std::string_view aMethodName) {
  return static_cast<bool>(VTFindMethod(aObject, aMethodName));
}
