#include "common/VTobjecttools.h"

#include <algorithm>
#include <cctype>

namespace {
bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}
} // namespace

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
