#pragma once

#include "webframework/WebControls.h"

#include <stdexcept>
#include <string>
#include <vector>

enum TWebDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// An action on a data set refused for a reason the user can mend or retry (a value that does
// not fit its column, a row someone else holds); nothing was written. The navigator shows the
// text in a message box and the data set keeps its state.
class EWebDataSetError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Rows of named fields with a current row, as the grid shows them and the navigator moves
// through and edits them. Texts are what the grid shows and what an edit writes back. An
// implementation raises what its store raises; the page's exception hook gets it.
class TWebDataSet {
public:
  virtual ~TWebDataSet() = default;

  virtual TWebDataSetState getState() const = 0;
  virtual int fieldCount() const = 0;
  virtual std::string fieldName(int aField) const = 0;
  virtual int recordCount() const = 0;
  virtual std::string fieldText(int aRecord, int aField) const = 0;
  // The current record, -1 when there is none.
  virtual int getRecNo() const = 0;
  virtual void moveTo(int aRecord) = 0;

  // A new empty record that post adds.
  virtual void insert() = 0;
  // Changes of the current record until post or cancel.
  virtual void edit() = 0;
  // The edit buffer while inserting or editing.
  virtual std::string editText(int aField) const = 0;
  virtual void setEditText(int aField, const std::string& aText) = 0;
  virtual void post() = 0;
  virtual void cancel() = 0;
  virtual void deleteRecord() = 0;
  virtual void refresh() = 0;
  // Reads the records aFirst to aFirst + aCount - 1 ahead of rendering, so that fieldText
  // finds them at hand; a data set that holds its rows does nothing.
  virtual void fetchWindow(int /*aFirst*/, int /*aCount*/) {}

  int fieldIndex(const std::string& aName) const;
};

// A data set held in memory: for pages whose rows come from elsewhere, and for tests.
class TWebMemoryDataSet : public TWebDataSet {
public:
  explicit TWebMemoryDataSet(std::vector<std::string> aFieldNames);
  void setRows(std::vector<std::vector<std::string>> aRows);
  const std::vector<std::vector<std::string>>& getRows() const { return fRows; }

  TWebDataSetState getState() const override { return fState; }
  int fieldCount() const override { return static_cast<int>(fFieldNames.size()); }
  std::string fieldName(int aField) const override { return fFieldNames.at(aField); }
  int recordCount() const override { return static_cast<int>(fRows.size()); }
  std::string fieldText(int aRecord, int aField) const override;
  int getRecNo() const override { return fRecNo; }
  void moveTo(int aRecord) override;
  void insert() override;
  void edit() override;
  std::string editText(int aField) const override;
  void setEditText(int aField, const std::string& aText) override;
  void post() override;
  void cancel() override;
  void deleteRecord() override;
  void refresh() override {}

private:
  std::vector<std::string> fFieldNames;
  std::vector<std::vector<std::string>> fRows;
  std::vector<std::string> fBuffer;
  TWebDataSetState fState = dsBrowse;
  int fRecNo = -1;
};

struct TWebGridColumn {
  std::string FieldName;
  std::string Title;
};

// A table of a data set's rows: a caption, a title row and the rows of a window around the
// current record (RowLimit rows, 0: all of them), with a line under it that tells which
// records are shown and leads to the window before and after. A click on a row makes it
// current; while the data set inserts or edits, the current row holds text boxes for its
// fields. Texts are shown as they are (escaped), whatever markup they hold.
class TWebDataGrid : public TWebControl {
public:
  using TWebControl::TWebControl;
  TWebDataSet* DataSet = nullptr; // not owned; outlives the grid (the page owns both)
  std::vector<TWebGridColumn> Columns;
  std::string Caption;
  int RowLimit = 0;

  void applySubmitted(const TWebFields& aFields) override;
  bool fireEvent(const std::string& aParam) override;
  // The first record the grid shows.
  int firstShownRecord() const;
  // Has the data set read the rows the grid shows next (for a page's render hook, where a
  // failure reaches the exception hook).
  void prepare();

protected:
  void renderControl(TWebRenderContext& aContext) const override;

private:
  std::string editFieldName(const TWebGridColumn& aColumn) const;
  void renderEventLink(TWebRenderContext& aContext, const std::string& aParam,
                       const std::string& aCaption) const;
  void renderPager(TWebRenderContext& aContext, int aFirst, int aEnd, int aCount) const;
};

enum TWebNavigateButton {
  nbFirst,
  nbPrior,
  nbNext,
  nbLast,
  nbInsert,
  nbDelete,
  nbEdit,
  nbPost,
  nbCancel,
  nbRefresh
};

// The buttons that move through and edit a data set. Delete, post and cancel ask first when
// their question is set: the question shows on the page with "Ja" and "Nein", and the action
// runs on "Ja" only. An action the data set refuses (EWebDataSetError) shows its text in the
// session's message box. Buttons show the images named in ImageFiles (static files).
class TWebDataNavigator : public TWebControl {
public:
  TWebDataNavigator(TWebPage& aPage, std::string aName);
  TWebDataSet* DataSet = nullptr; // not owned
  std::string ConfirmDelete = "Are you sure you want to delete this record?";
  std::string ConfirmPost = "Are you sure you want to update this record?";
  std::string ConfirmCancel = "Are you sure you want to cancel your changes to this record?";
  std::vector<std::string> ImageFiles;  // by TWebNavigateButton
  std::vector<std::string> ButtonHints; // by TWebNavigateButton

  bool submittedBy(const TWebFields& aFields, std::string& aParam) const override;
  bool fireEvent(const std::string& aParam) override;
  // Whether the button can act in the data set's present state.
  bool isButtonEnabled(TWebNavigateButton aButton) const;
  // The question waiting for an answer, or "".
  std::string pendingQuestion() const;
  void click(TWebNavigateButton aButton);

protected:
  void renderControl(TWebRenderContext& aContext) const override;

private:
  void perform(TWebNavigateButton aButton);

  int fPending = -1; // the button whose question waits
};
