#pragma once

#include "prereq/KVPrereqDialogs.h"

class QWidget;

// The caption of the tool's message boxes: the application's title.
inline constexpr const char* SC_APPLICATIONTITLE = "Voraussetzungen zur Installation";

// Questions and errors as modal message boxes over aParent (non-owning, may be null).
class TQtPrereqDialogs : public IKVPrereqDialogs {
public:
  explicit TQtPrereqDialogs(QWidget* aParent) : fParent(aParent) {}

  bool askYesNo(TKind aKind, const std::string& aText) override;
  void showError(const std::string& aText) override;

private:
  QWidget* fParent;
};
