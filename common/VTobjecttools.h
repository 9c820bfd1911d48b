#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Objects that publish handlers under a name, so that a caller holding only the object can
// find a handler by that name (the serial port finds a data listener's "handleData" this way).
// A class publishes in its constructor; a derived class's constructor adds to its ancestors'.
class TVTPublishedObject {
public:
  // A handler receives a text and its length in characters.
  using THandler = std::function<void(const char* aText, int aLength)>;

  virtual ~TVTPublishedObject() = default;

  // The handler published under aName (case-insensitive), or an empty one.
  THandler findPublishedMethod(std::string_view aName) const;

protected:
  void publishMethod(std::string aName, THandler aHandler);

private:
  std::vector<std::pair<std::string, THandler>> fPublishedMethods;
};

// A bound method: the handler ("code") and the object it belongs to ("data").
struct TVTMethod {
  TVTPublishedObject::THandler Code;
  const TVTPublishedObject* Data = nullptr;
  explicit operator bool() const { return static_cast<bool>(Code); }
};

// Case-insensitive lookup; the code part is empty when the object publishes no such handler.
TVTMethod VTFindMethod(const TVTPublishedObject* aObject, std::string_view aMethodName);
bool VTMethodExists(const TVTPublishedObject* aObject, std::string_view aMethodName);
