#include "webframework/WebPage.h"

#include <stdexcept>

TWebPage::TWebPage(TWebSession& aSession, std::string aName)
    : fSession(aSession), fName(std::move(aName)) {}

TWebPage::~TWebPage() = default;

void TWebPage::adopt(std::unique_ptr<TWebControl> aControl, TWebRegion* aParent) {
  const std::string& name = aControl->getName();
  if (name.empty() || name.front() == '_' || findControl(name) != nullptr) {
    throw std::logic_error("control name \"" + name + "\" is empty, reserved or used twice");
  }
  if (aParent != nullptr) {
    aParent->addChild(*aControl);
  } else {
    fTopControls.push_back(aControl.get());
  }
  fParents.emplace_back(aControl.get(), aParent);
  fControls.push_back(std::move(aControl));
}

TWebControl* TWebPage::findControl(const std::string& aName) const {
  for (const auto& control : fControls) {
    if (control->getName() == aName) {
      return control.get();
    }
  }
  return nullptr;
}

bool TWebPage::isShown(const TWebControl& aControl) const {
  const TWebControl* current = &aControl;
  while (current != nullptr) {
    if (!current->Visible) {
      return false;
    }
    const TWebControl* parent = nullptr;
    for (const auto& [child, region] : fParents) {
      if (child == current) {
        parent = region;
        break;
      }
    }
    current = parent;
  }
  return true;
}

void TWebPage::applySubmitted(const TWebFields& aFields) {
  for (const auto& control : fControls) {
    if (control->Enabled && isShown(*control)) {
      control->applySubmitted(aFields);
    }
  }
}

TWebControl* TWebPage::findEventControl(const TWebFields& aFields, const std::string& aEvent,
                                        std::string& aParam) const {
  const auto usable = [this](const TWebControl* aControl) {
    return aControl != nullptr && aControl->Enabled && isShown(*aControl);
  };
  if (!aEvent.empty()) {
    TWebControl* control = findControl(aEvent);
    return usable(control) ? control : nullptr;
  }
  for (const auto& control : fControls) {
    std::string param;
    if (usable(control.get()) && control->submittedBy(aFields, param)) {
      aParam = param;
      return control.get();
    }
  }
  return nullptr;
}
