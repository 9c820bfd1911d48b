#pragma once

#include "webframework/WebControls.h"

#include <memory>
#include <string>
#include <vector>

class TWebSession;

// A server-side page of a session: a title, named controls whose state lives here between
// requests, and a render hook. The session owns its pages; a page owns its controls. The
// page's name ("MainForm") is what its form submits; "T" and the name is its class name, the
// key under which the session keeps it.
// Threads: used only by the request of its session being handled (one at a time).
class TWebPage {
public:
  TWebPage(TWebSession& aSession, std::string aName);
  virtual ~TWebPage();
  TWebPage(const TWebPage&) = delete;
  TWebPage& operator=(const TWebPage&) = delete;

  const std::string& getName() const { return fName; }
  std::string getClassName() const { return "T" + fName; }
  TWebSession& getSession() const { return fSession; }

  std::string Title;
  std::string CssClass;                 // style class of the page body
  std::vector<std::string> StyleSheets; // static files the full markup links

  // Creates a control owned by the page, placed in aParent or at the page's top level, in
  // the order of creation. Names are unique within the page.
  template <class T>
  T& add(const std::string& aName, TWebRegion* aParent = nullptr) {
    auto control = std::make_unique<T>(*this, aName);
    T& result = *control;
    adopt(std::move(control), aParent);
    return result;
  }
  TWebControl* findControl(const std::string& aName) const;
  const std::vector<TWebControl*>& getTopControls() const { return fTopControls; }

  // Runs before every delivery of the page.
  virtual void onRender() {}

  // Gives the submitted values to the controls the browser showed (visible, enabled and not
  // inside a hidden region), in the order of creation.
  void applySubmitted(const TWebFields& aFields);
  // The shown control that aEvent names, else the one that submitted the form by itself
  // (a submit or image button); aParam receives the event parameter. Null when none.
  TWebControl* findEventControl(const TWebFields& aFields, const std::string& aEvent,
                                std::string& aParam) const;
  // Whether the browser showed the control: it and every region around it are visible.
  bool isShown(const TWebControl& aControl) const;

private:
  void adopt(std::unique_ptr<TWebControl> aControl, TWebRegion* aParent);

  TWebSession& fSession;
  std::string fName;
  std::vector<std::unique_ptr<TWebControl>> fControls;
  std::vector<TWebControl*> fTopControls;
  std::vector<std::pair<const TWebControl*, const TWebRegion*>> fParents;
};
