#pragma once

#include "webframework/WebPage.h"

#include <any>
#include <functional>
#include <string>

// The icon theme the page images come from, credited on the pages.
inline constexpr const char* SC_ICONVENDOR = "Tango Desktop Project";
inline constexpr const char* SC_ICONVENDORURL = "http://tango.freedesktop.org/";

// A page of the administration interface. A page kind may offer doInitialize, which the
// navigation rule calls on every visit; aParam is an optional object (absent in this system).
// Logon pages are the only ones a session sees before an administrator has logged on.
class TAdminForm : public TWebPage {
public:
  TAdminForm(TWebSession& aSession, const std::string& aName);

  virtual void doInitialize(const std::any& /*aParam*/) {}
  virtual bool isLogonPage() const { return false; }

protected:
  // The top bar with the header banner; for full pages. Its right-hand region is made by
  // addTopRight.
  TWebRegion& addTopBar();
  TWebRegion& addTopRight(TWebRegion& aTopBar);
  // The top bar of a page that the main page opened: its close button leads back.
  TWebImageButton& addTopBarWithClose(std::function<void()> aOnClose);
  // The page's bold heading (lblTopFormInfo) in aParent.
  TWebLabel& addHeading(TWebRegion& aParent, const std::string& aCaption);
  // The link to the icon credits, opened in a new browser window.
  TWebLink& addIconsLink(TWebRegion* aParent);
};
