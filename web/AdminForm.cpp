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

TWebRegion& TAdminForm::addTopRight(TWebRegion& aTopBar) {
  auto& topRight = add<TWebRegion>("rgnTopRight", &aTopBar);
  topRight.CssClass = "topright";
  return topRight;
}

TWebImageButton& TAdminForm::addTopBarWithClose(std::function<void()> aOnClose) {
  auto& close = add<TWebImageButton>("btnClose", &addTopRight(addTopBar()));
  close.ImageFile = "close.png";
  close.Hint = "Diese Ansicht schließen";
  close.AltText = "Schließen";
  close.OnClick = std::move(aOnClose);
  return close;
}

TWebLabel& TAdminForm::addHeading(TWebRegion& aParent, const std::string& aCaption) {
  auto& heading = add<TWebLabel>("lblTopFormInfo", &aParent);
  heading.Caption = aCaption;
  heading.CssClass = "heading";
  heading.Font.Bold = true;
  return heading;
}

TWebLink& TAdminForm::addIconsLink(TWebRegion* aParent) {
  auto& link = add<TWebLink>("lnkIcons", aParent);
  link.Caption = SC_ICONVENDOR;
  link.URL = SC_ICONVENDORURL;
  link.NewWindow = true;
  return link;
}
