#include "webframework/WebDataControls.h"

#include "webframework/WebPage.h"
#include "webframework/WebSession.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace {

const char* const kButtonNames[] = {"first",  "prior", "next", "last",   "insert",
                                    "delete", "edit",  "post", "cancel", "refresh"};
const char* const kDefaultImages[] = {
    "nav-first.png",  "nav-prior.png", "nav-next.png", "nav-last.png",   "nav-insert.png",
    "nav-delete.png", "nav-edit.png",  "nav-post.png", "nav-cancel.png", "nav-refresh.png"};
const char* const kDefaultHints[] = {
    "Erster Datensatz",     "Vorheriger Datensatz", "Nächster Datensatz",   "Letzter Datensatz",
    "Datensatz einfügen",   "Datensatz löschen",    "Datensatz bearbeiten", "Änderungen speichern",
    "Änderungen verwerfen", "Daten aktualisieren"};
constexpr int kButtonCount = 10;

bool parseIndex(const std::string& aText, int& aValue) {
  const auto [end, ec] = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return !aText.empty() && ec == std::errc() && end == aText.data() + aText.size();
}

} // namespace

int TWebDataSet::fieldIndex(const std::string& aName) const {
  for (int i = 0; i < fieldCount(); ++i) {
    if (fieldName(i) == aName) {
      return i;
    }
  }
  return -1;
}

// --- memory data set --------------------------------------------------------------------

TWebMemoryDataSet::TWebMemoryDataSet(std::vector<std::string> aFieldNames)
    : fFieldNames(std::move(aFieldNames)) {}

void TWebMemoryDataSet::setRows(std::vector<std::vector<std::string>> aRows) {
  fRows = std::move(aRows);
  for (auto& row : fRows) {
    row.resize(fFieldNames.size());
  }
  fState = dsBrowse;
  fRecNo = fRows.empty() ? -1 : 0;
}

std::string TWebMemoryDataSet::fieldText(int aRecord, int aField) const {
  return fRows.at(aRecord).at(aField);
}

void TWebMemoryDataSet::moveTo(int aRecord) {
  if (fState != dsBrowse || fRows.empty()) {
    return;
  }
  fRecNo = std::clamp(aRecord, 0, static_cast<int>(fRows.size()) - 1);
}

void TWebMemoryDataSet::insert() {
  fBuffer.assign(fFieldNames.size(), std::string());
  fState = dsInsert;
}

void TWebMemoryDataSet::edit() {
  if (fRecNo < 0) {
    return;
  }
  fBuffer = fRows.at(fRecNo);
  fState = dsEdit;
}

std::string TWebMemoryDataSet::editText(int aField) const {
  return fState == dsBrowse ? std::string() : fBuffer.at(aField);
}

void TWebMemoryDataSet::setEditText(int aField, const std::string& aText) {
  if (fState == dsBrowse) {
    throw std::logic_error("the data set is not in edit mode");
  }
  fBuffer.at(aField) = aText;
}

void TWebMemoryDataSet::post() {
  if (fState == dsInsert) {
    fRows.push_back(fBuffer);
    fRecNo = static_cast<int>(fRows.size()) - 1;
  } else if (fState == dsEdit) {
    fRows.at(fRecNo) = fBuffer;
  }
  fState = dsBrowse;
}

void TWebMemoryDataSet::cancel() {
  fState = dsBrowse;
}

void TWebMemoryDataSet::deleteRecord() {
  if (fState != dsBrowse || fRecNo < 0) {
    return;
  }
  fRows.erase(fRows.begin() + fRecNo);
  fRecNo = std::min(fRecNo, static_cast<int>(fRows.size()) - 1);
}

// --- grid -------------------------------------------------------------------------------

std::string TWebDataGrid::editFieldName(const TWebGridColumn& aColumn) const {
  return getName() + "$" + aColumn.FieldName;
}

int TWebDataGrid::firstShownRecord() const {
  if (DataSet == nullptr || RowLimit <= 0 || DataSet->getRecNo() < 0) {
    return 0;
  }
  return DataSet->getRecNo() / RowLimit * RowLimit;
}

void TWebDataGrid::applySubmitted(const TWebFields& aFields) {
  if (DataSet == nullptr || DataSet->getState() == dsBrowse || DataSet->getState() == dsInactive) {
    return;
  }
  for (const TWebGridColumn& column : Columns) {
    const int field = DataSet->fieldIndex(column.FieldName);
    if (const TWebField* value = findWebField(aFields, editFieldName(column));
        value != nullptr && field >= 0) {
      DataSet->setEditText(field, value->Value);
    }
  }
}

void TWebDataGrid::prepare() {
  if (DataSet == nullptr || DataSet->getState() == dsInactive) {
    return;
  }
  const int count = DataSet->recordCount();
  const int first = firstShownRecord();
  DataSet->fetchWindow(first, (RowLimit > 0 ? std::min(count, first + RowLimit) : count) - first);
}

bool TWebDataGrid::fireEvent(const std::string& aParam) {
  if (DataSet == nullptr) {
    return false;
  }
  if (aParam == "page:prior" || aParam == "page:next") {
    if (DataSet->getState() == dsBrowse && RowLimit > 0) {
      const int step = aParam == "page:next" ? RowLimit : -RowLimit;
      const int target = firstShownRecord() + step;
      if (target >= 0 && target < DataSet->recordCount()) {
        DataSet->moveTo(target);
      }
    }
    return true;
  }
  int record = -1;
  if (aParam.rfind("row:", 0) != 0 || !parseIndex(aParam.substr(4), record)) {
    return false;
  }
  if (DataSet->getState() == dsBrowse && record >= 0 && record < DataSet->recordCount()) {
    DataSet->moveTo(record);
  }
  return true;
}

void TWebDataGrid::renderEventLink(TWebRenderContext& aContext, const std::string& aParam,
                                   const std::string& aCaption) const {
  aContext.raw("<a");
  if (aContext.html32()) {
    aContext.attribute("href", aContext.eventAddress(getName(), aParam));
  } else {
    aContext.raw(" href=\"#\"").attribute("data-event", getName()).attribute("data-param", aParam);
  }
  aContext.raw(">").text(aCaption).raw("</a>");
}

void TWebDataGrid::renderPager(TWebRenderContext& aContext, int aFirst, int aEnd,
                               int aCount) const {
  aContext.raw(aContext.html32() ? "<p>" : "<div class=\"wc-grid-pager\">");
  const bool browsing = DataSet->getState() == dsBrowse && Enabled;
  const auto pageLink = [&](bool aUsable, const std::string& aParam, const std::string& aText) {
    if (browsing && aUsable) {
      renderEventLink(aContext, aParam, aText);
    } else {
      aContext.raw("<span class=\"wc-disabled\">").text(aText).raw("</span>");
    }
  };
  pageLink(aFirst > 0, "page:prior", "\u00ab Vorherige Seite");
  aContext.raw(" <span class=\"wc-grid-position\">");
  aContext.text(aCount == 0 ? std::string("Keine Datensätze")
                            : "Datensätze " + std::to_string(aFirst + 1) + " bis " +
                                  std::to_string(aEnd) + " von " + std::to_string(aCount));
  aContext.raw("</span> ");
  pageLink(aEnd < aCount, "page:next", "Nächste Seite \u00bb");
  aContext.raw(aContext.html32() ? "</p>" : "</div>");
}

void TWebDataGrid::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<table");
  renderCommonAttributes(aContext, "wc-grid");
  if (aContext.html32()) {
    aContext.raw(" border=\"1\" cellpadding=\"2\"");
  }
  aContext.raw(">\n");
  if (!Caption.empty()) {
    aContext.raw("<caption>").text(Caption).raw("</caption>\n");
  }
  aContext.raw("<tr>");
  for (const TWebGridColumn& column : Columns) {
    aContext.raw("<th>").text(column.Title).raw("</th>");
  }
  aContext.raw("</tr>\n");
  if (DataSet == nullptr || DataSet->getState() == dsInactive) {
    aContext.raw("</table>");
    return;
  }
  const TWebDataSetState state = DataSet->getState();
  const auto editRow = [&] {
    aContext.raw("<tr class=\"wc-grid-current\">");
    for (const TWebGridColumn& column : Columns) {
      const int field = DataSet->fieldIndex(column.FieldName);
      aContext.raw("<td><input type=\"text\"")
          .attribute("name", editFieldName(column))
          .attribute("value", field >= 0 ? DataSet->editText(field) : std::string())
          .raw("></td>");
    }
    aContext.raw("</tr>\n");
  };
  const int count = DataSet->recordCount();
  const int first = firstShownRecord();
  const int end = RowLimit > 0 ? std::min(count, first + RowLimit) : count;
  const int current = DataSet->getRecNo();
  for (int record = first; record < end; ++record) {
    if (record == current && state == dsEdit) {
      editRow();
      continue;
    }
    aContext.raw(record == current ? "<tr class=\"wc-grid-current\">" : "<tr>");
    for (std::size_t c = 0; c < Columns.size(); ++c) {
      const int field = DataSet->fieldIndex(Columns[c].FieldName);
      const std::string text = field >= 0 ? DataSet->fieldText(record, field) : std::string();
      aContext.raw("<td>");
      if (c == 0 && state == dsBrowse && Enabled) {
        renderEventLink(aContext, "row:" + std::to_string(record),
                        text.empty() ? std::string("-") : text);
      } else {
        aContext.text(text);
      }
      aContext.raw("</td>");
    }
    aContext.raw("</tr>\n");
  }
  if (state == dsInsert) {
    editRow();
  }
  aContext.raw("</table>");
  if (RowLimit > 0) {
    renderPager(aContext, first, end, count);
  }
}

// --- navigator --------------------------------------------------------------------------

TWebDataNavigator::TWebDataNavigator(TWebPage& aPage, std::string aName)
    : TWebControl(aPage, std::move(aName)),
      ImageFiles(std::begin(kDefaultImages), std::end(kDefaultImages)),
      ButtonHints(std::begin(kDefaultHints), std::end(kDefaultHints)) {}

bool TWebDataNavigator::submittedBy(const TWebFields& aFields, std::string& aParam) const {
  const auto pressed = [&](const std::string& aAction) {
    const std::string field = getName() + "$" + aAction;
    return findWebField(aFields, field) != nullptr ||
           findWebField(aFields, field + ".x") != nullptr;
  };
  for (const char* action : {"yes", "no"}) {
    if (pressed(action)) {
      aParam = action;
      return true;
    }
  }
  for (const char* action : kButtonNames) {
    if (pressed(action)) {
      aParam = action;
      return true;
    }
  }
  return false;
}

bool TWebDataNavigator::fireEvent(const std::string& aParam) {
  if (aParam == "yes") {
    const int pending = std::exchange(fPending, -1);
    if (pending >= 0 && isButtonEnabled(static_cast<TWebNavigateButton>(pending))) {
      perform(static_cast<TWebNavigateButton>(pending));
    }
    return true;
  }
  if (aParam == "no") {
    fPending = -1;
    return true;
  }
  for (int i = 0; i < kButtonCount; ++i) {
    if (aParam == kButtonNames[i]) {
      click(static_cast<TWebNavigateButton>(i));
      return true;
    }
  }
  return false;
}

bool TWebDataNavigator::isButtonEnabled(TWebNavigateButton aButton) const {
  if (DataSet == nullptr || DataSet->getState() == dsInactive) {
    return false;
  }
  const bool browsing = DataSet->getState() == dsBrowse;
  const int count = DataSet->recordCount();
  const int current = DataSet->getRecNo();
  switch (aButton) {
  case nbFirst:
  case nbPrior:
    return browsing && current > 0;
  case nbNext:
  case nbLast:
    return browsing && current >= 0 && current < count - 1;
  case nbInsert:
  case nbRefresh:
    return browsing;
  case nbDelete:
  case nbEdit:
    return browsing && current >= 0;
  case nbPost:
  case nbCancel:
    return !browsing;
  }
  return false;
}

std::string TWebDataNavigator::pendingQuestion() const {
  switch (fPending) {
  case nbDelete:
    return ConfirmDelete;
  case nbPost:
    return ConfirmPost;
  case nbCancel:
    return ConfirmCancel;
  default:
    return {};
  }
}

void TWebDataNavigator::click(TWebNavigateButton aButton) {
  fPending = -1;
  if (!isButtonEnabled(aButton)) {
    return;
  }
  const std::string question = aButton == nbDelete   ? ConfirmDelete
                               : aButton == nbPost   ? ConfirmPost
                               : aButton == nbCancel ? ConfirmCancel
                                                     : std::string();
  if (!question.empty()) {
    fPending = aButton;
    return;
  }
  perform(aButton);
}

void TWebDataNavigator::perform(TWebNavigateButton aButton) {
  try {
    switch (aButton) {
    case nbFirst:
      DataSet->moveTo(0);
      break;
    case nbPrior:
      DataSet->moveTo(DataSet->getRecNo() - 1);
      break;
    case nbNext:
      DataSet->moveTo(DataSet->getRecNo() + 1);
      break;
    case nbLast:
      DataSet->moveTo(DataSet->recordCount() - 1);
      break;
    case nbInsert:
      DataSet->insert();
      break;
    case nbDelete:
      DataSet->deleteRecord();
      break;
    case nbEdit:
      DataSet->edit();
      break;
    case nbPost:
      DataSet->post();
      break;
    case nbCancel:
      DataSet->cancel();
      break;
    case nbRefresh:
      DataSet->refresh();
      break;
    }
  } catch (const EWebDataSetError& e) {
    getPage().getSession().showMessage(e.what());
  }
}

void TWebDataNavigator::renderControl(TWebRenderContext& aContext) const {
  aContext.raw("<div");
  renderCommonAttributes(aContext, "wc-navigator");
  aContext.raw(">");
  for (int i = 0; i < kButtonCount; ++i) {
    const auto button = static_cast<TWebNavigateButton>(i);
    const std::string image = i < static_cast<int>(ImageFiles.size()) ? ImageFiles[i] : "";
    const std::string hint = i < static_cast<int>(ButtonHints.size()) ? ButtonHints[i] : "";
    aContext.raw("<input type=\"image\"")
        .attribute("name", getName() + "$" + kButtonNames[i])
        .attribute("src", aContext.fileAddress(image))
        .attribute("alt", hint)
        .attribute("title", hint);
    if (!Enabled || !isButtonEnabled(button)) {
      aContext.raw(" disabled");
    }
    aContext.raw(">");
  }
  const std::string question = pendingQuestion();
  if (!question.empty()) {
    aContext.raw(aContext.html32() ? "<p>" : "<div class=\"wc-question\">");
    aContext.text(question).raw(" ");
    aContext.raw("<input type=\"submit\"")
        .attribute("name", getName() + "$yes")
        .attribute("value", "Ja")
        .raw("> <input type=\"submit\"")
        .attribute("name", getName() + "$no")
        .attribute("value", "Nein")
        .raw(">");
    aContext.raw(aContext.html32() ? "</p>" : "</div>");
  }
  aContext.raw("</div>");
}
