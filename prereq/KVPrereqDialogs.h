#pragma once

#include <string>

// The questions and error reports of the prerequisites tool, shown by the window as message
// boxes; tests answer them with a script. Called on the window's thread; each call blocks
// until the user has answered.
class IKVPrereqDialogs {
public:
  enum TKind { pdkInformation, pdkWarning };

  virtual ~IKVPrereqDialogs() = default;
  // A question with a yes and a no button; true for yes.
  virtual bool askYesNo(TKind aKind, const std::string& aText) = 0;
  // The message of an error that ended an action.
  virtual void showError(const std::string& aText) = 0;
};
