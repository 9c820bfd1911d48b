#include "webframework/WebApplication.h"

#include "tests/support/TestSupport.h"
#include "webframework/WebDataControls.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::vector<std::string>* gEvents = nullptr;

void record(const std::string& aEvent) {
  gEvents->push_back(aEvent);
}

// A page with a control of each kind that fires events; "Other" is a second page kind.
class TTestForm : public TWebPage {
public:
  explicit TTestForm(TWebSession& aSession) : TWebPage(aSession, "TestForm") {
    Title = "Test <Seite>";
    auto& area = add<TWebRegion>("area");
    name = &add<TWebEdit>("edtName", &area);
    name->OnSubmit = [this] { record("enter:" + name->Text); };
    password = &add<TWebPasswordEdit>("edtPassword", &area);
    auto& button = add<TWebButton>("btnGo", &area);
    button.Caption = "Los";
    button.OnClick = [this] { record("click:" + name->Text + "/" + password->Text); };
    auto& image = add<TWebImageButton>("imgGo");
    image.ImageFile = "go.png";
    image.OnClick = [] { record("image"); };
    auto& link = add<TWebLink>("lnkThrow");
    link.Caption = "throw";
    link.OnClick = [] { throw std::runtime_error("handler failed"); };
    list = &add<TWebListBox>("lbItems");
    list->Items = {"a", "b"};
    list->OnChange = [this] { record("select:" + std::to_string(list->ItemIndex)); };
    hidden = &add<TWebRegion>("hiddenArea");
    hidden->Visible = false;
    auto& hiddenButton = add<TWebButton>("btnHidden", hidden);
    hiddenButton.OnClick = [] { record("hidden"); };
    label = &add<TWebLabel>("lblOut");
  }
  void onRender() override { record("render"); }
  TWebEdit* name;
  TWebEdit* password;
  TWebListBox* list;
  TWebRegion* hidden;
  TWebLabel* label;
};

class TOtherForm : public TWebPage {
public:
  explicit TOtherForm(TWebSession& aSession) : TWebPage(aSession, "OtherForm") {
    auto& button = add<TWebButton>("btnOther");
    button.OnClick = [] { record("other"); };
  }
};

class WebApplicationTest : public ::testing::Test {
protected:
  void SetUp() override {
    gEvents = &fEvents;
    fApp.pageClasses().registerClass(
        "TTestForm", [](TWebSession& aSession) { return std::make_unique<TTestForm>(aSession); });
    fApp.pageClasses().registerClass(
        "TOtherForm", [](TWebSession& aSession) { return std::make_unique<TOtherForm>(aSession); });
    fApp.OnNewSession = [](TWebSession& aSession) {
      aSession.showPage(*aSession.createPage("TTestForm"));
    };
    fApp.OnException = [this](const std::exception& aException, bool& aHandled) {
      record(std::string("exception:") + aException.what());
      aHandled = fHandleExceptions;
    };
    fApp.attach(fRouter);
  }
  void TearDown() override { gEvents = nullptr; }

  TWebResponse request(const std::string& aMethod, const std::string& aPath,
                       const TWebFields& aFields = {}) {
    TWebRequest request;
    request.Method = aMethod;
    request.ProtocolVersion = "HTTP/1.1";
    request.Path = aPath;
    request.Headers.push_back({"User-Agent", fAgent});
    (aMethod == "POST" ? request.FormFields : request.QueryFields) = aFields;
    TWebResponse response;
    fRouter.handleRequest(request, response);
    return response;
  }
  // A new session; returns its page address.
  std::string start() {
    const TWebResponse response = request("GET", "/");
    EXPECT_EQ(response.Status, 303);
    return response.getHeader("Location");
  }
  TWebSession& session(const std::string& aAddress) {
    fClaim = fApp.sessions().claim(aAddress.substr(aAddress.rfind('/') + 1));
    EXPECT_TRUE(fClaim);
    return *fClaim;
  }
  TTestForm& form(const std::string& aAddress) {
    return dynamic_cast<TTestForm&>(*session(aAddress).findPage("TTestForm"));
  }

  std::vector<std::string> fEvents;
  bool fHandleExceptions = true;
  std::string fAgent = "Mozilla/5.0";
  TWebApplicationRouter fRouter;
  TWebApplication fApp;
  TWebSessionStore::TClaim fClaim;
};

TEST_F(WebApplicationTest, ASessionLivesInItsAddressAndItsPageIsEscapedAndNeverCached) {
  const std::string address = start();
  ASSERT_EQ(address.rfind("/EXEC/", 0), 0u);
  EXPECT_EQ(address.size(), 6u + 32u);
  form(address).label->Caption = "<b>x</b>";
  fClaim.release();
  const TWebResponse page = request("GET", address);
  EXPECT_EQ(page.Status, 200);
  EXPECT_EQ(page.getHeader("Cache-Control"), "no-store");
  EXPECT_EQ(page.getHeader("Referrer-Policy"), "no-referrer");
  EXPECT_NE(page.Body.find("<title>Test &lt;Seite&gt;</title>"), std::string::npos);
  EXPECT_NE(page.Body.find("&lt;b&gt;x&lt;/b&gt;"), std::string::npos);
  EXPECT_EQ(page.Body.find("<b>x</b>"), std::string::npos);
  EXPECT_NE(page.Body.find("action=\"" + address + "\""), std::string::npos);
  EXPECT_EQ(page.Body.find("btnHidden"), std::string::npos);
  EXPECT_EQ(fEvents, std::vector<std::string>{"render"});
}

TEST_F(WebApplicationTest, SubmissionsRunTheEventOfTheControlThatFired) {
  const std::string address = start();
  struct TCase {
    TWebFields fields;
    std::string event;
  };
  const TCase cases[] = {
      {{{"_page", "TestForm"}, {"edtName", "anna"}, {"btnGo", "Los"}}, "click:anna/"},
      {{{"_page", "TestForm"}, {"edtName", "bert"}, {"_event", "edtName"}}, "enter:bert"},
      {{{"_page", "TestForm"}, {"imgGo.x", "3"}, {"imgGo.y", "4"}}, "image"},
      {{{"_page", "TestForm"}, {"lbItems", "1"}, {"_event", "lbItems"}}, "select:1"},
      {{{"_page", "TestForm"}, {"lbItems", "7"}, {"_event", "lbItems"}}, "select:-1"},
      // A control the page does not show takes neither values nor events.
      {{{"_page", "TestForm"}, {"btnHidden", "x"}}, ""},
      {{{"_page", "TestForm"}, {"_event", "btnHidden"}}, ""},
      {{{"_page", "TestForm"}, {"_event", "nosuchcontrol"}}, ""},
  };
  for (const TCase& c : cases) {
    fEvents.clear();
    const TWebResponse answer = request("POST", address, c.fields);
    EXPECT_EQ(answer.Status, 303);
    EXPECT_EQ(answer.getHeader("Location"), address);
    EXPECT_EQ(fEvents,
              c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event})
        << c.event;
  }
  // Browsers without script follow links with the event in the address.
  fEvents.clear();
  request("GET", address, {{"_page", "TestForm"}, {"_event", "btnGo"}});
  EXPECT_EQ(fEvents, std::vector<std::string>{"click:bert/"});
}

TEST_F(WebApplicationTest, APasswordNeverGoesBackToTheBrowser) {
  const std::string address = start();
  request("POST", address, {{"_page", "TestForm"}, {"edtPassword", "geheim"}});
  const TWebResponse page = request("GET", address);
  EXPECT_EQ(page.Body.find("geheim"), std::string::npos);
  // What comes back unchanged keeps the text; something typed replaces it.
  const std::string shown = "\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022";
  ASSERT_NE(page.Body.find(shown), std::string::npos);
  fEvents.clear();
  request("POST", address, {{"_page", "TestForm"}, {"edtPassword", shown}, {"btnGo", ""}});
  request("POST", address, {{"_page", "TestForm"}, {"edtPassword", "neu"}, {"btnGo", ""}});
  EXPECT_EQ(fEvents, (std::vector<std::string>{"click:/geheim", "click:/neu"}));
}

TEST_F(WebApplicationTest, ASubmittedPageThatIsNotTheActiveOneGoesToTheBackButtonHook) {
  const std::string address = start();
  std::vector<std::string> asked;
  fApp.OnBackButton = [&](TWebSession& aSession, const std::string& aPageName, bool& aHandled,
                          bool& aExecute) {
    asked.push_back(aPageName);
    TWebPage* page = aSession.findPage("T" + aPageName);
    if (page == nullptr) {
      page = aSession.createPage("T" + aPageName);
    }
    aHandled = page != nullptr;
    aExecute = true;
    if (page != nullptr) {
      aSession.setActivePage(*page);
    }
  };
  request("POST", address, {{"_page", "OtherForm"}, {"btnOther", "x"}});
  EXPECT_EQ(asked, std::vector<std::string>{"OtherForm"});
  EXPECT_EQ(fEvents, std::vector<std::string>{"other"});
  EXPECT_EQ(session(address).getActivePage()->getName(), "OtherForm");
  fClaim.release();

  fEvents.clear();
  request("POST", address, {{"_page", "NoSuchForm"}, {"btnGo", "x"}}); // not handled: dropped
  EXPECT_TRUE(fEvents.empty());
  EXPECT_EQ(session(address).getActivePage()->getName(), "OtherForm");
}

TEST_F(WebApplicationTest, ThePageGuardReplacesAPageBeforeItsEventsRun) {
  const std::string address = start();
  fApp.OnCheckPage = [](TWebSession& aSession, TWebPage* aPage) -> TWebPage* {
    if (aPage != nullptr && aPage->getName() == "TestForm") {
      TWebPage* other = aSession.findPage("TOtherForm");
      return other != nullptr ? other : aSession.createPage("TOtherForm");
    }
    return aPage;
  };
  request("POST", address, {{"_page", "TestForm"}, {"btnGo", "x"}});
  EXPECT_TRUE(fEvents.empty());
  const TWebResponse page = request("GET", address);
  EXPECT_NE(page.Body.find("btnOther"), std::string::npos);
}

TEST_F(WebApplicationTest, HandlerExceptionsGoToTheExceptionHook) {
  const std::string address = start();
  EXPECT_EQ(request("POST", address, {{"_page", "TestForm"}, {"_event", "lnkThrow"}}).Status, 303);
  EXPECT_EQ(fEvents, std::vector<std::string>{"exception:handler failed"});
  fHandleExceptions = false;
  EXPECT_EQ(request("POST", address, {{"_page", "TestForm"}, {"_event", "lnkThrow"}}).Status, 500);
}

TEST_F(WebApplicationTest, UnknownTokensGetTheTimedOutPageAndFilesStayInTheirFolder) {
  const TWebResponse expired = request("GET", "/EXEC/0123456789abcdef0123456789abcdef");
  EXPECT_EQ(expired.Status, 200);
  EXPECT_NE(expired.Body.find("Sitzung abgelaufen"), std::string::npos);
  EXPECT_NE(expired.Body.find("href=\"/\""), std::string::npos);
  EXPECT_EQ(fApp.sessions().count(), 0u);

  EXPECT_EQ(request("GET", "/EXEC/files/webframework.js").Status, 200);
  EXPECT_EQ(request("GET", "/EXEC/files/..%2Fsecret").Status, 404);
  EXPECT_EQ(request("GET", "/EXEC/files/../secret").Status, 404);
  EXPECT_EQ(request("GET", "/EXEC/files/.hidden").Status, 404);
}

TEST_F(WebApplicationTest, OtherMethodsChangeNothing) {
  const std::string address = start();
  fEvents.clear();
  struct TCase {
    const char* Method;
    std::string Path;
    int Status;
    const char* Allow;
  } cases[] = {
      {"HEAD", "/", 405, "GET, POST"},
      {"DELETE", "/", 405, "GET, POST"},
      {"PUT", "/EXEC", 405, "GET, POST"},
      {"HEAD", address, 405, "GET, POST"},
      {"OPTIONS", address, 405, "GET, POST"},
      {"PATCH", address, 405, "GET, POST"},
      {"HEAD", "/EXEC/files/webframework.js", 200, ""},
      {"POST", "/EXEC/files/webframework.js", 405, "GET, HEAD"},
  };
  for (const TCase& c : cases) {
    const TWebResponse response = request(c.Method, c.Path, {{"btnGo", "1"}});
    EXPECT_EQ(response.Status, c.Status) << c.Method << " " << c.Path;
    EXPECT_EQ(response.getHeader("Allow"), c.Allow) << c.Method << " " << c.Path;
  }
  EXPECT_EQ(fApp.sessions().count(), 1u); // no new session
  EXPECT_TRUE(fEvents.empty());           // no event, not even a page rendered
}

TEST_F(WebApplicationTest, TheReducedMarkupWorksWithoutScript) {
  fAgent = "Lynx/2.9";
  const std::string address = start();
  const TWebResponse page = request("GET", address);
  EXPECT_NE(page.Body.find("HTML 3.2 Final"), std::string::npos);
  EXPECT_EQ(page.Body.find("<script"), std::string::npos);
  EXPECT_EQ(page.Body.find("data-event"), std::string::npos);
  EXPECT_NE(page.Body.find("href=\"" + address + "?_page=TestForm&amp;_event=lnkThrow\""),
            std::string::npos);
}

TEST(WebDataControlsTest, TheNavigatorAsksBeforeDeletingAndTheGridShowsAWindow) {
  TWebSession session("t", 1);
  TWebPage page(session, "ListForm");
  TWebMemoryDataSet data({"ID", "Text"});
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 25; ++i) {
    rows.push_back({std::to_string(i), "<t" + std::to_string(i) + ">"});
  }
  data.setRows(rows);
  auto& grid = page.add<TWebDataGrid>("grdMessages");
  grid.DataSet = &data;
  grid.Columns = {{"ID", "ID"}, {"Text", "Text"}};
  grid.RowLimit = 10;
  auto& navigator = page.add<TWebDataNavigator>("dbnavMessages");
  navigator.DataSet = &data;

  std::string param;
  ASSERT_TRUE(navigator.submittedBy({{"dbnavMessages$last.x", "1"}}, param));
  navigator.fireEvent(param);
  EXPECT_EQ(data.getRecNo(), 24);
  EXPECT_EQ(grid.firstShownRecord(), 20);
  EXPECT_FALSE(navigator.isButtonEnabled(nbNext));

  navigator.fireEvent("delete");
  EXPECT_EQ(navigator.pendingQuestion(), "Are you sure you want to delete this record?");
  EXPECT_EQ(data.recordCount(), 25);
  navigator.fireEvent("no");
  EXPECT_EQ(data.recordCount(), 25);
  navigator.fireEvent("delete");
  navigator.fireEvent("yes");
  EXPECT_EQ(data.recordCount(), 24);

  navigator.fireEvent("edit");
  grid.applySubmitted({{"grdMessages$Text", "neu"}});
  navigator.fireEvent("post");
  EXPECT_EQ(navigator.pendingQuestion(), "Are you sure you want to update this record?");
  navigator.fireEvent("yes");
  EXPECT_EQ(data.fieldText(23, 1), "neu");

  TWebRenderContext context(false, "/EXEC/t", "/EXEC/files", "ListForm");
  grid.render(context);
  EXPECT_NE(context.out().find("&lt;t20&gt;"), std::string::npos);
  EXPECT_EQ(context.out().find("&lt;t19&gt;"), std::string::npos);
  EXPECT_NE(context.out().find("Datensätze 21 bis 24 von 24"), std::string::npos);

  // The pager moves a window at a time.
  ASSERT_TRUE(grid.fireEvent("page:prior"));
  EXPECT_EQ(data.getRecNo(), 10);
  grid.fireEvent("page:prior");
  grid.fireEvent("page:prior");
  EXPECT_EQ(data.getRecNo(), 0);
}

// A data set whose post refuses the value typed.
class TRefusingDataSet : public TWebMemoryDataSet {
public:
  using TWebMemoryDataSet::TWebMemoryDataSet;
  void post() override { throw EWebDataSetError("Der Wert passt nicht in die Spalte \"ID\"."); }
};

TEST(WebDataControlsTest, ARefusedActionShowsItsTextInTheMessageBox) {
  TWebSession session("t", 1);
  TWebPage page(session, "ListForm");
  TRefusingDataSet data({"ID"});
  data.setRows({{"1"}});
  auto& navigator = page.add<TWebDataNavigator>("dbnavMessages");
  navigator.DataSet = &data;
  navigator.fireEvent("edit");
  navigator.fireEvent("post");
  navigator.fireEvent("yes");
  EXPECT_EQ(session.takeMessage(), "Der Wert passt nicht in die Spalte \"ID\".");
  EXPECT_EQ(data.getState(), dsEdit);
}

} // namespace
