#include "webframework/WebPageRenderer.h"

#include "webframework/WebHTML.h"

namespace {

// Submits the page form for links, list selections, check boxes and the Enter key in text
// boxes that have a submit handler; closes the message box; opens a requested new window.
const std::string kScript = R"JS((function () {
  'use strict';
  function pageForm() { return document.getElementById('webform'); }
  function submitEvent(name, param) {
    var form = pageForm();
    if (!form) { return; }
    form.elements['_event'].value = name;
    form.elements['_param'].value = param || '';
    form.submit();
  }
  document.addEventListener('click', function (e) {
    var target = e.target && e.target.closest ? e.target.closest('[data-event]') : null;
    if (target) {
      e.preventDefault();
      submitEvent(target.getAttribute('data-event'), target.getAttribute('data-param'));
      return;
    }
    if (e.target && e.target.id === 'webmessageok') {
      var box = document.getElementById('webmessage');
      if (box) { box.parentNode.removeChild(box); }
    }
  });
  document.addEventListener('change', function (e) {
    var target = e.target;
    if (target && target.getAttribute && target.getAttribute('data-change')) {
      submitEvent(target.getAttribute('name'), '');
    }
  });
  document.addEventListener('keydown', function (e) {
    var target = e.target;
    if (e.key !== 'Enter' || !target || target.tagName !== 'INPUT') { return; }
    if (target.type === 'submit' || target.type === 'image' || target.type === 'checkbox') {
      return;
    }
    e.preventDefault();
    if (target.getAttribute('data-submit')) { submitEvent(target.getAttribute('name'), ''); }
  });
  document.addEventListener('DOMContentLoaded', function () {
    var address = document.body.getAttribute('data-newwindow');
    if (address) { window.open(address, '_blank', 'noopener,noreferrer'); }
    var ok = document.getElementById('webmessageok');
    if (ok) { ok.focus(); }
  });
})();
)JS";

const std::string kStyle =
    R"CSS(body { font-family: Verdana, Arial, sans-serif; font-size: 13px; margin: 0; }
.wc-region { box-sizing: border-box; }
.wc-label { white-space: pre-wrap; }
.wc-link { color: #1a4f8b; cursor: pointer; }
.wc-link.wc-disabled { color: #888; cursor: default; }
.wc-imagebutton { vertical-align: middle; }
.wc-scroll { overflow-y: scroll; }
.wc-tree ul { list-style: square; margin: 2px 0 2px 18px; padding: 0; }
.wc-calendar { border-collapse: collapse; }
.wc-calendar th, .wc-calendar td { text-align: center; padding: 2px 4px; }
.wc-calendar a { text-decoration: none; color: #1a4f8b; }
.wc-calendar-selected { background: #3465a4; }
.wc-calendar-selected a { color: #fff; font-weight: bold; }
.wc-grid { border-collapse: collapse; }
.wc-grid caption { font-weight: bold; text-align: left; padding: 4px 0; }
.wc-grid th, .wc-grid td { border: 1px solid #bbb; padding: 2px 6px; text-align: left; }
.wc-grid th { background: #dde4ee; }
.wc-grid tr.wc-grid-current td { background: #fcf3c4; }
.wc-navigator input { margin-right: 2px; }
.wc-question { border: 1px solid #c4a000; background: #fffbe0; padding: 6px; margin: 4px 0; }
.wc-messagebox { position: fixed; left: 0; top: 0; right: 0; bottom: 0;
  background: rgba(0, 0, 0, 0.35); z-index: 100; }
.wc-messagebox-window { position: relative; margin: 120px auto 0 auto; width: 420px;
  background: #fff; border: 1px solid #555; padding: 16px; box-shadow: 0 4px 16px #333; }
.wc-messagebox-window p { margin: 0 0 14px 0; }
)CSS";

void renderMessageBox(std::string& aOut, const std::string& aText, bool aHTML32) {
  if (aHTML32) {
    aOut += "<table border=\"1\" cellpadding=\"6\" id=\"webmessage\"><tr><td><b>";
    aOut += htmlEscape(aText);
    aOut += "</b></td></tr></table>\n";
    return;
  }
  aOut += "<div id=\"webmessage\" class=\"wc-messagebox\" role=\"alertdialog\">"
          "<div class=\"wc-messagebox-window\"><p id=\"webmessagetext\">";
  aOut += htmlEscape(aText);
  aOut += "</p><button type=\"button\" id=\"webmessageok\">OK</button></div></div>\n";
}

std::string hidden(const char* aName, const std::string& aValue) {
  return std::string("<input type=\"hidden\" name=\"") + aName + "\" value=\"" +
         htmlAttribute(aValue) + "\">";
}

} // namespace

std::string renderWebPage(const TWebPage& aPage, const TWebPageDelivery& aDelivery) {
  TWebRenderContext context(aDelivery.HTML32, aDelivery.PageAddress, aDelivery.FilesAddress,
                            aPage.getName());
  std::string& out = context.out();
  if (aDelivery.HTML32) {
    out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\n<html><head>"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
    out += htmlEscape(aPage.Title);
    out += "</title></head>\n<body bgcolor=\"#ffffff\">\n";
    if (!aDelivery.Message.empty()) {
      renderMessageBox(out, aDelivery.Message, true);
    }
  } else {
    out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" "
           "\"http://www.w3.org/TR/html4/strict.dtd\">\n<html lang=\"de\"><head>"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n<title>";
    out += htmlEscape(aPage.Title);
    out += "</title>\n";
    std::vector<std::string> sheets{SC_WEBFRAMEWORK_STYLE};
    sheets.insert(sheets.end(), aPage.StyleSheets.begin(), aPage.StyleSheets.end());
    for (const std::string& sheet : sheets) {
      out += "<link rel=\"stylesheet\" type=\"text/css\" href=\"" +
             htmlAttribute(context.fileAddress(sheet)) + "\">\n";
    }
    out += "<script type=\"text/javascript\" src=\"" +
           htmlAttribute(context.fileAddress(SC_WEBFRAMEWORK_SCRIPT)) + "\"></script>\n";
    out += "</head>\n<body";
    context.attribute("class", aPage.CssClass, true);
    context.attribute("data-newwindow", aDelivery.NewWindowURL, true);
    out += ">\n";
  }
  out += "<form id=\"webform\" method=\"post\" accept-charset=\"UTF-8\" action=\"" +
         htmlAttribute(aDelivery.PageAddress) + "\">\n";
  out += hidden(SC_WEBFIELD_PAGE, aPage.getName());
  out += hidden(SC_WEBFIELD_EVENT, "");
  out += hidden(SC_WEBFIELD_PARAM, "");
  out += "\n";
  for (const TWebControl* control : aPage.getTopControls()) {
    control->render(context);
    out += "\n";
  }
  out += "</form>\n";
  if (!aDelivery.HTML32 && !aDelivery.Message.empty()) {
    renderMessageBox(out, aDelivery.Message, false);
  }
  if (aDelivery.HTML32 && !aDelivery.NewWindowURL.empty()) {
    out += "<p><a href=\"" + htmlAttribute(aDelivery.NewWindowURL) + "\" target=\"_blank\">" +
           htmlEscape(aDelivery.NewWindowURL) + "</a></p>\n";
  }
  out += "</body></html>\n";
  return std::move(out);
}

std::string renderWebNoticePage(const std::string& aTitle, const std::string& aText,
                                const std::string& aLinkCaption, const std::string& aLinkAddress) {
  std::string out = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\n<html><head>"
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
                    "<title>";
  out += htmlEscape(aTitle);
  out += "</title></head>\n<body bgcolor=\"#ffffff\">\n<h2>";
  out += htmlEscape(aTitle);
  out += "</h2>\n<p>";
  out += htmlEscape(aText);
  out += "</p>\n";
  if (!aLinkAddress.empty()) {
    out += "<p><a id=\"weblink\" href=\"" + htmlAttribute(aLinkAddress) + "\">" +
           htmlEscape(aLinkCaption) + "</a></p>\n";
  }
  out += "</body></html>\n";
  return out;
}

const std::string* builtInWebFile(const std::string& aName, std::string& aContentType) {
  if (aName == SC_WEBFRAMEWORK_SCRIPT) {
    aContentType = "text/javascript; charset=utf-8";
    return &kScript;
  }
  if (aName == SC_WEBFRAMEWORK_STYLE) {
    aContentType = "text/css; charset=utf-8";
    return &kStyle;
  }
  return nullptr;
}
