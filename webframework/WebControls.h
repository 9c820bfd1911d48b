#pragma once

#include "common/DateTime.h"
#include "webframework/WebRequest.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TWebPage;

// Field names the framework itself writes into every page form; no control may use them.
inline constexpr const char* SC_WEBFIELD_PAGE = "_page";
inline constexpr const char* SC_WEBFIELD_EVENT = "_event";
inline constexpr const char* SC_WEBFIELD_PARAM = "_param";

// What a control needs to know to write itself: the markup level and the addresses of the
// session's page and of the static files. Controls never write outside text themselves: they
// go through text() and attribute(), which escape.
class TWebRenderContext {
public:
  TWebRenderContext(bool aHTML32, std::string aPageAddress, std::string aFilesAddress,
                    std::string aPageName)
      : fHTML32(aHTML32), fPageAddress(std::move(aPageAddress)),
        fFilesAddress(std::move(aFilesAddress)), fPageName(std::move(aPageName)) {}

  // The reduced markup for browsers without script and style sheets.
  bool html32() const { return fHTML32; }
  // The address the page form posts to.
  const std::string& pageAddress() const { return fPageAddress; }
  // The address of a static file of the data folder.
  std::string fileAddress(const std::string& aFileName) const;
  // An address that fires aControl's event with aParam when followed (for browsers without
  // script).
  std::string eventAddress(const std::string& aControl, const std::string& aParam = {}) const;

  std::string& out() { return fOut; }
  // Appends markup that is ours (tags, fixed attribute names).
  TWebRenderContext& raw(const std::string& aMarkup);
  // Appends outside text as element content, escaped.
  TWebRenderContext& text(const std::string& aText);
  // Appends ` name="value"` with the value escaped; nothing when aOmitEmpty and it is empty.
  TWebRenderContext& attribute(const char* aName, const std::string& aValue,
                               bool aOmitEmpty = false);

private:
  bool fHTML32;
  std::string fPageAddress;
  std::string fFilesAddress;
  std::string fPageName;
  std::string fOut;
};

// How a text is shown: a CSS colour name or #rrggbb, bold, size in pixels (0: the page's).
struct TWebFont {
  std::string Color;
  bool Bold = false;
  int Size = 0;
};

// A named element of a page. The page owns its controls; properties are plain fields that
// page handlers set and the framework reads when it renders. Used on the worker thread of the
// session's current request only.
class TWebControl {
public:
  TWebControl(TWebPage& aPage, std::string aName);
  virtual ~TWebControl() = default;
  TWebControl(const TWebControl&) = delete;
  TWebControl& operator=(const TWebControl&) = delete;

  const std::string& getName() const { return fName; }
  TWebPage& getPage() const { return fPage; }

  bool Visible = true;
  bool Enabled = true;
  std::string Hint;     // shown when the pointer rests on the control
  std::string CssClass; // extra style class of the element
  TWebFont Font;

  // Writes the control when it is visible.
  void render(TWebRenderContext& aContext) const;
  // Takes the control's value from a submitted form of its page.
  virtual void applySubmitted(const TWebFields& /*aFields*/) {}
  // Whether the form was submitted by this control without script (a submit button's own
  // field, an image button's click position); aParam receives the event's parameter.
  virtual bool submittedBy(const TWebFields& /*aFields*/, std::string& /*aParam*/) const {
    return false;
  }
  // Runs the control's event for a submission that names it; false when it has none.
  virtual bool fireEvent(const std::string& /*aParam*/) { return false; }

protected:
  virtual void renderControl(TWebRenderContext& aContext) const = 0;
  // ` id=".." class=".." title=".." style=".."` of the element (HTML 4), from the fields above.
  void renderCommonAttributes(TWebRenderContext& aContext, const std::string& aBaseClass) const;
  // The font as HTML 3.2 markup around a text: <font color><b>...</b></font>.
  void renderFontText32(TWebRenderContext& aContext, const std::string& aText) const;
  const TWebField* ownField(const TWebFields& aFields) const;

private:
  TWebPage& fPage;
  std::string fName;
};

// A block that groups other controls for the layout (top bar, main area, footer).
class TWebRegion : public TWebControl {
public:
  using TWebControl::TWebControl;
  void addChild(TWebControl& aControl) { fChildren.push_back(&aControl); }
  const std::vector<TWebControl*>& getChildren() const { return fChildren; }

protected:
  void renderControl(TWebRenderContext& aContext) const override;

private:
  std::vector<TWebControl*> fChildren; // owned by the page
};

class TWebLabel : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string Caption;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

// A one-line text box; with Password the typed text is hidden and never sent back to the
// browser. OnSubmit, when set, runs on the Enter key in the box.
class TWebEdit : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string Text;
  int MaxLength = 0; // 0: no limit
  bool Password = false;
  std::function<void()> OnSubmit;

  void applySubmitted(const TWebFields& aFields) override;
  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebPasswordEdit : public TWebEdit {
public:
  TWebPasswordEdit(TWebPage& aPage, std::string aName) : TWebEdit(aPage, std::move(aName)) {
    Password = true;
  }
};

// A multi-line text box. Lines are kept without their line ends.
class TWebMemo : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::vector<std::string> Lines;
  int Rows = 6;
  int Columns = 40;
  bool VerticalScrollBar = true;

  void applySubmitted(const TWebFields& aFields) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebButton : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string Caption;
  std::function<void()> OnClick;

  bool submittedBy(const TWebFields& aFields, std::string& aParam) const override;
  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

// A picture that submits the page when clicked. ImageFile names a static file.
class TWebImageButton : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string ImageFile;
  std::string AltText;
  std::function<void()> OnClick;

  bool submittedBy(const TWebFields& aFields, std::string& aParam) const override;
  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

// A text link: either it runs OnClick on the server, or, with URL set, it opens that address
// (in a new browser window when NewWindow).
class TWebLink : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string Caption;
  std::string URL;
  bool NewWindow = false;
  std::function<void()> OnClick;

  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebCheckBox : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string Caption;
  bool Checked = false;
  std::function<void()> OnClick; // when set, a click submits the page

  void applySubmitted(const TWebFields& aFields) override;
  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

// A list of texts with at most one selected entry (ItemIndex, -1 for none). OnChange, when
// set, submits the page as soon as the selection changes (with script).
class TWebListControl : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::vector<std::string> Items;
  int ItemIndex = -1;
  std::function<void()> OnChange;

  void applySubmitted(const TWebFields& aFields) override;
  bool fireEvent(const std::string& aParam) override;

protected:
  // aNoSelectionText: the entry of a drop-down list while nothing is selected.
  void renderList(TWebRenderContext& aContext, int aSize,
                  const std::string& aNoSelectionText) const;
};

// A drop-down list; NoSelectionText is the entry shown while nothing is selected.
class TWebComboBox : public TWebListControl {
public:
  using TWebListControl::TWebListControl;
  std::string NoSelectionText = "-";

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebListBox : public TWebListControl {
public:
  using TWebListControl::TWebListControl;
  int VisibleRows = 8;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

// A month sheet: a click on a day selects it, the arrows show the month before or after.
// StartDate names the month shown; SelectedDate is the picked day, if any. German day and
// month names.
class TWebCalendar : public TWebControl {
public:
  using TWebControl::TWebControl;
  TDateTime StartDate;
  std::optional<TDateTime> SelectedDate;
  std::function<void()> OnDateChange;

  bool fireEvent(const std::string& aParam) override;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

struct TWebTreeNode {
  std::string Caption;
  std::vector<TWebTreeNode> Children;
};

// A tree of texts, shown expanded.
class TWebTreeView : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::vector<TWebTreeNode> Items;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebHRule : public TWebControl {
public:
  using TWebControl::TWebControl;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};

class TWebImage : public TWebControl {
public:
  using TWebControl::TWebControl;
  std::string ImageFile;
  std::string AltText;

protected:
  void renderControl(TWebRenderContext& aContext) const override;
};
