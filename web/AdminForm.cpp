#include "web/AdminForm.h"

TAdminForm::TAdminForm(TWebSession& aSession, const std::string& aName)
    : TWebPage(aSession, aName) {
  CssClass = "admin";
  StyleSheets = {"parlino.css"};
}

TWebRegion& TAdminForm::addTopBar() {
  auto& top = add<TWebRegion>("rgnTop");
  auto& banner = add<TWebImage>("imgBanner", &top);
  banner.ImageFile = "banner.svg";
  banner.AltText = "Kopfzeile";
  return top;
}

TWebLink& TAdminForm::addIconsLink(TWebRegion* aParent) {
  auto& link = add<TWebLink>("lnkIcons", aParent);
  link.Caption = SC_ICONVENDOR;
  link.URL = SC_ICONVENDORURL;
  link.NewWindow = true;
  return link;
}
