#include "webframework/WebControls.h"

#include "webframework/WebHTML.h"
#include "webframework/WebPage.h"

#include <algorithm>
#include <charconv>

namespace {

// What a password box shows for a text it holds: the text itself never goes to the browser,
// and this value coming back means "unchanged".
const std::string kPasswordUnchanged = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";

const char* const kMonthNames[] = {"Januar",    "Februar", "März",     "April",
                                   "Mai",       "Juni",    "Juli",     "August",
                                   "September", "Oktober", "November", "Dezember"};
const char* const kDayNames[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};

bool parseInt(const std::string& aText, int& aValue) {
  const auto [end, ec] = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return !aText.empty() && ec == std::errc() && end == aText.data() + aText.size();
}

// Splits a submitted text into lines at CR LF, LF or CR; a final line end adds no line.
std::vector<std::string> splitLines(const std::string& aText) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') {
        ++i;
      }
    } else {
      line += c;
    }
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

std::string twoDigits(int aValue) {
  return aValue < 10 ? "0" + std::to_string(aValue) : std::to_string(aValue);
}

} // namespace

// --- render context ---------------------------------------------------------------------

std::string TWebRenderContext::fileAddress(const std::string& aFileName) const {
  return fFilesAddress + "/" + webUrlEncode(aFileName);
}

std::string TWebRenderContext::eventAddress(const std::string& aControl,
                                            const std::string& aParam) const {
  std::string address = fPageAddress + "?" + SC_WEBFIELD_PAGE + "=" + webUrlEncode(fPageName) +
                        "&" + SC_WEBFIELD_EVENT + "=" + webUrlEncode(aControl);
  if (!aParam.empty()) {
    address += std::string("&") + SC_WEBFIELD_PARAM + "=" + webUrlEncode(aParam);
  }
  return address;
}

TWebRenderContext& TWebRenderContext::raw(const std::string& aMarkup) {
  fOut += aMarkup;
  return *this;
}

TWebRenderContext& TWebRenderContext::text(const std::string& aText) {
  fOut += htmlEscape(aText);
  return *this;
}

TWebRenderContext& TWebRenderContext::attribute(const char* aName, const std::string& aValue,
                                                bool aOmitEmpty) {
  if (aOmitEmpty && aValue.empty()) {
    return *this;
  }
  fOut += ' ';
  fOut += aName;
  fOut += "=\"";
  fOut += htmlAttribute(aValue);
  fOut += '"';
  return *this;
}

// --- control base -----------------------------------------------------------------------

TWebControl::TWebControl(TWebPage& aPage, std::string aName)
    : fPage(aPage), fName(std::move(aName)) {}

void TWebControl::render(TWebRenderContext& aContext) const {
  if (Visible) {
    renderControl(aContext);
  }
}

void TWebControl::renderCommonAttributes(TWebRenderContext& aContext,
                                         const std::string& aBaseClass) const {
  aContext.attribute("id", fName);
  if (aContext.html32()) {
    return;
  }
  aContext.attribute("class", CssClass.empty() ? aBaseClass : aBaseClass + " " + CssClass);
  aContext.attribute("title", Hint, true);
  std::string style;
  if (!Font.Color.empty()) {
    style += "color:" + Font.Color + ";";
  }
  if (Font.Bold) {
    style += "font-weight:bold;";
  }
  if (Font.Size > 0) {
    style += "font-size:" + std::to_string(Font.Size) + "px;";
  }
  aContext.attribute("style", style, true);
}

void TWebControl::renderFontText32(TWebRenderContext& aContext, const std::string& aText) const {
  if (!Font.Color.empty()) {
    aContext.raw("<font").attribute("color", Font.Color).raw(">");
  }
  if (Font.Bold) {
    aContext.raw("<b>");
  }
  aContext.text(aText);
  if (Font.Bold) {
    aContext.raw("</b>");
  }
  if (!Font.Color.empty()) {
    aContext.raw("</font>");
  }
}

const TWebField* TWebControl::ownField(const TWebFields& aFields) const {
  return findWebField(aFields, fName);
}

// --- simple controls --------------------------------------------------------------------

void TWebRegion::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<div");
  renderCommonAttributes(aContext, "wc-region");
  aContext.raw(">\n");
  for (const TWebControl* child : fChildren) {
    child->render(aContext);
    aContext.raw("\n");
  }
  aContext.raw("</div>");
}

void TWebLabel::renderControl(TWebRenderContext& aContext) const {
  if (aContext.html32()) {
    aContext.raw("<span").attribute("id", getName()).raw(">");
    renderFontText32(aContext, Caption);
    aContext.raw("</span>");
    return;
  }
  aContext.raw("<span");
  renderCommonAttributes(aContext, "wc-label");
  aContext.raw(">").text(Caption).raw("</span>");
}

void TWebEdit::applySubmitted(const TWebFields& aFields) {
  const TWebField* field = ownField(aFields);
  if (field == nullptr) {
    return;
  }
  if (!(Password && !Text.empty() && field->Value == kPasswordUnchanged)) {
    Text = field->Value;
  }
}

bool TWebEdit::fireEvent(const std::string&) {
  if (!OnSubmit) {
    return false;
  }
  OnSubmit();
  return true;
}

void TWebEdit::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<input").attribute("type", Password ? "password" : "text");
  renderCommonAttributes(aContext, "wc-edit");
  aContext.attribute("name", getName());
  aContext.attribute("value", Password && !Text.empty() ? kPasswordUnchanged : Text);
  if (MaxLength > 0) {
    aContext.attribute("maxlength", std::to_string(MaxLength));
  }
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  if (OnSubmit && !aContext.html32()) {
    aContext.raw(" data-submit=\"1\"");
  }
  aContext.raw(">");
}

void TWebMemo::applySubmitted(const TWebFields& aFields) {
  if (const TWebField* field = ownField(aFields)) {
    Lines = splitLines(field->Value);
  }
}

void TWebMemo::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<textarea");
  renderCommonAttributes(aContext, VerticalScrollBar ? "wc-memo wc-scroll" : "wc-memo");
  aContext.attribute("name", getName());
  aContext.attribute("rows", std::to_string(Rows));
  aContext.attribute("cols", std::to_string(Columns));
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  // A line break right after the tag is dropped by browsers; this one keeps a first empty
  // line of the text.
  aContext.raw(">\n");
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    aContext.text(Lines[i]);
    if (i + 1 < Lines.size()) {
      aContext.raw("\n");
    }
  }
  aContext.raw("</textarea>");
}

bool TWebButton::submittedBy(const TWebFields& aFields, std::string&) const {
  return ownField(aFields) != nullptr;
}

bool TWebButton::fireEvent(const std::string&) {
  if (!OnClick) {
    return false;
  }
  OnClick();
  return true;
}

void TWebButton::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<input type=\"submit\"");
  renderCommonAttributes(aContext, "wc-button");
  aContext.attribute("name", getName()).attribute("value", Caption);
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  aContext.raw(">");
}

bool TWebImageButton::submittedBy(const TWebFields& aFields, std::string&) const {
  return findWebField(aFields, getName() + ".x") != nullptr || ownField(aFields) != nullptr;
}

bool TWebImageButton::fireEvent(const std::string&) {
  if (!OnClick) {
    return false;
  }
  OnClick();
  return true;
}

void TWebImageButton::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<input type=\"image\"");
  renderCommonAttributes(aContext, "wc-imagebutton");
  aContext.attribute("name", getName());
  aContext.attribute("src", aContext.fileAddress(ImageFile));
  aContext.attribute("alt", AltText);
  if (aContext.html32()) {
    aContext.attribute("title", Hint, true).raw(" border=\"0\"");
  }
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  aContext.raw(">");
}

bool TWebLink::fireEvent(const std::string&) {
  if (!OnClick || !URL.empty()) {
    return false;
  }
  OnClick();
  return true;
}

void TWebLink::renderControl(TWebRenderContext& aContext) const {
  if (!Enabled || (URL.empty() && !OnClick)) {
    aContext.raw("<span");
    renderCommonAttributes(aContext, "wc-link wc-disabled");
    aContext.raw(">").text(Caption).raw("</span>");
    return;
  }
  aContext.raw("<a");
  renderCommonAttributes(aContext, "wc-link");
  if (!URL.empty()) {
    aContext.attribute("href", URL);
    if (NewWindow) {
      aContext.raw(" target=\"_blank\" rel=\"noopener noreferrer\"");
    }
  } else if (aContext.html32()) {
    aContext.attribute("href", aContext.eventAddress(getName()));
  } else {
    aContext.raw(" href=\"#\"").attribute("data-event", getName());
  }
  aContext.raw(">").text(Caption).raw("</a>");
}

void TWebCheckBox::applySubmitted(const TWebFields& aFields) {
  Checked = ownField(aFields) != nullptr;
}

bool TWebCheckBox::fireEvent(const std::string&) {
  if (!OnClick) {
    return false;
  }
  OnClick();
  return true;
}

void TWebCheckBox::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<input type=\"checkbox\"");
  renderCommonAttributes(aContext, "wc-checkbox");
  aContext.attribute("name", getName()).raw(" value=\"1\"");
  if (Checked) {
    aContext.raw(" checked");
  }
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  if (OnClick && !aContext.html32()) {
    aContext.raw(" data-change=\"1\"");
  }
  aContext.raw("><label").attribute("for", getName()).raw(">").text(Caption).raw("</label>");
}

void TWebListControl::applySubmitted(const TWebFields& aFields) {
  const TWebField* field = ownField(aFields);
  int index = -1;
  if (field == nullptr || !parseInt(field->Value, index) || index < 0 ||
      index >= static_cast<int>(Items.size())) {
    index = -1;
  }
  ItemIndex = index;
}

bool TWebListControl::fireEvent(const std::string&) {
  if (!OnChange) {
    return false;
  }
  OnChange();
  return true;
}

void TWebListControl::renderList(TWebRenderContext& aContext, int aSize,
                                 const std::string& aNoSelectionText) const {
  aContext.raw("<select");
  renderCommonAttributes(aContext, aSize > 1 ? "wc-listbox" : "wc-combobox");
  aContext.attribute("name", getName()).attribute("size", std::to_string(aSize));
  if (!Enabled) {
    aContext.raw(" disabled");
  }
  if (OnChange && !aContext.html32()) {
    aContext.raw(" data-change=\"1\"");
  }
  aContext.raw(">\n");
  if (aSize == 1 && (ItemIndex < 0 || ItemIndex >= static_cast<int>(Items.size()))) {
    aContext.raw("<option value=\"-1\" selected>").text(aNoSelectionText).raw("</option>\n");
  }
  for (std::size_t i = 0; i < Items.size(); ++i) {
    aContext.raw("<option").attribute("value", std::to_string(i));
    if (static_cast<int>(i) == ItemIndex) {
      aContext.raw(" selected");
    }
    aContext.raw(">").text(Items[i]).raw("</option>\n");
  }
  aContext.raw("</select>");
}

void TWebComboBox::renderControl(TWebRenderContext& aContext) const {
  renderList(aContext, 1, NoSelectionText);
}

void TWebListBox::renderControl(TWebRenderContext& aContext) const {
  renderList(aContext, VisibleRows > 1 ? VisibleRows : 2, {});
}

// --- calendar ---------------------------------------------------------------------------

bool TWebCalendar::fireEvent(const std::string& aParam) {
  int value = 0;
  if (aParam.size() == 10 && aParam.rfind("d:", 0) == 0 && parseInt(aParam.substr(2), value)) {
    TDateTime day;
    if (!TDateTime::tryEncode(value / 10000, value / 100 % 100, value % 100, 0, 0, 0, 0, day)) {
      return false;
    }
    SelectedDate = day;
    StartDate = day;
  } else if (aParam.size() == 8 && aParam.rfind("m:", 0) == 0 &&
             parseInt(aParam.substr(2), value)) {
    TDateTime month;
    if (!TDateTime::tryEncode(value / 100, value % 100, 1, 0, 0, 0, 0, month)) {
      return false;
    }
    StartDate = month;
    return true; // paging through the months is no change of the date
  } else {
    return false;
  }
  if (OnDateChange) {
    OnDateChange();
  }
  return true;
}

void TWebCalendar::renderControl(TWebRenderContext& aContext) const {
  const TDateTimeParts shown = StartDate.decode();
  const int year = shown.Year;
  const int month = shown.Month;
  const auto monthParam = [](int aYear, int aMonth) {
    if (aMonth < 1) {
      --aYear;
      aMonth = 12;
    } else if (aMonth > 12) {
      ++aYear;
      aMonth = 1;
    }
    return "m:" + std::to_string(aYear) + twoDigits(aMonth);
  };
  const auto eventLink = [&](const std::string& aParam, const std::string& aCaption,
                             const char* aClass) {
    if (!Enabled) {
      aContext.text(aCaption);
      return;
    }
    aContext.raw("<a").attribute("class", aClass);
    if (aContext.html32()) {
      aContext.attribute("href", aContext.eventAddress(getName(), aParam));
    } else {
      aContext.raw(" href=\"#\"")
          .attribute("data-event", getName())
          .attribute("data-param", aParam);
    }
    aContext.raw(">").text(aCaption).raw("</a>");
  };
  std::optional<TDateTimeParts> selected;
  if (SelectedDate) {
    selected = SelectedDate->decode();
  }

  aContext.raw("<table");
  renderCommonAttributes(aContext, "wc-calendar");
  if (aContext.html32()) {
    aContext.raw(" border=\"1\"");
  }
  aContext.raw(">\n<tr><th>");
  eventLink(monthParam(year, month - 1), "<", "wc-calendar-nav");
  aContext.raw("</th><th colspan=\"5\">")
      .text(std::string(kMonthNames[month - 1]) + " " + std::to_string(year))
      .raw("</th><th>");
  eventLink(monthParam(year, month + 1), ">", "wc-calendar-nav");
  aContext.raw("</th></tr>\n<tr>");
  for (const char* day : kDayNames) {
    aContext.raw("<th>").text(day).raw("</th>");
  }
  aContext.raw("</tr>\n<tr>");
  // Monday first: DayOfWeek counts from Sunday.
  const int firstWeekday = (TDateTime::encodeDate(year, month, 1).decode().DayOfWeek + 6) % 7;
  int column = 0;
  for (; column < firstWeekday; ++column) {
    aContext.raw("<td></td>");
  }
  for (int day = 1; day <= daysInMonth(year, month); ++day) {
    if (column == 7) {
      aContext.raw("</tr>\n<tr>");
      column = 0;
    }
    const bool isSelected =
        selected && selected->Year == year && selected->Month == month && selected->Day == day;
    aContext.raw(isSelected ? "<td class=\"wc-calendar-selected\">" : "<td>");
    const std::string text = std::to_string(day);
    if (isSelected && aContext.html32()) {
      aContext.raw("<b>");
    }
    eventLink("d:" + std::to_string(year) + twoDigits(month) + twoDigits(day), text,
              "wc-calendar-day");
    if (isSelected && aContext.html32()) {
      aContext.raw("</b>");
    }
    aContext.raw("</td>");
    ++column;
  }
  for (; column < 7; ++column) {
    aContext.raw("<td></td>");
  }
  aContext.raw("</tr>\n</table>");
}

// --- tree, rule, image ------------------------------------------------------------------

namespace {

void renderTreeNodes(TWebRenderContext& aContext, const std::vector<TWebTreeNode>& aNodes) {
  aContext.raw("<ul>");
  for (const TWebTreeNode& node : aNodes) {
    aContext.raw("<li>").text(node.Caption);
    if (!node.Children.empty()) {
      renderTreeNodes(aContext, node.Children);
    }
    aContext.raw("</li>");
  }
  aContext.raw("</ul>");
}

} // namespace

void TWebTreeView::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<div");
  renderCommonAttributes(aContext, "wc-tree");
  aContext.raw(">");
  if (!Items.empty()) {
    renderTreeNodes(aContext, Items);
  }
  aContext.raw("</div>");
}

void TWebHRule::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<hr");
  renderCommonAttributes(aContext, "wc-hrule");
  aContext.raw(">");
}

void TWebImage::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<img");
  renderCommonAttributes(aContext, "wc-image");
  aContext.attribute("src", aContext.fileAddress(ImageFile)).attribute("alt", AltText);
  if (aContext.html32()) {
    aContext.attribute("title", Hint, true);
  }
  aContext.raw(">");
}
