#pragma once

#include <cstdint>
#include <string>

// The sink through which a running resolve action reports: the prerequisites window
// implements it. Every call comes from the window's own thread, and each one lets the window
// repaint before it returns.
class IInformationAdapter {
public:
  virtual ~IInformationAdapter() = default;
  // An action starts: show the progress display and lock the list.
  virtual void beginAction() = 0;
  // The action is over: hide the progress display and unlock the list.
  virtual void endAction() = 0;
  // The name of the current step.
  virtual void setActionText(const std::string& aText) = 0;
  // A negative aMin or aMax leaves that bound as it is; aPosition is always applied.
  virtual void setProgress(std::int64_t aPosition, std::int64_t aMin, std::int64_t aMax) = 0;
};
