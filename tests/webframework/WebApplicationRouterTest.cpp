#include "webframework/WebApplicationRouter.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(WebApplicationRouterTest, KnowsTheFrameworksOwnPages) {
  TWebApplicationRouter router;
  struct TCase {
    TWebApplicationPaths paths;
    std::string path;
    std::optional<EWebPageRequest> kind;
    std::string subPath;
  };
  const TCase cases[] = {
      {{}, "/", EWebPageRequest::StartPage, ""},
      {{}, "/EXEC", EWebPageRequest::ExecCommand, ""},
      {{}, "/exec/0a1b/page", EWebPageRequest::ExecCommand, "/0a1b/page"},
      {{}, "/EXECUTE", std::nullopt, ""},
      {{}, "/sendsms", std::nullopt, ""},
      {{"start", "", ""}, "/START", EWebPageRequest::StartPage, ""}, // empty exec: "EXEC"
      {{"start", "", ""}, "/EXEC/x", EWebPageRequest::ExecCommand, "/x"},
      {{"", "run", "/admin/"}, "/admin", EWebPageRequest::StartPage, ""},
      {{"", "run", "admin"}, "/admin/", EWebPageRequest::StartPage, ""},
      {{"", "run", "admin"}, "/Admin/RUN/t", EWebPageRequest::ExecCommand, "/t"},
      {{"", "run", "admin"}, "/", std::nullopt, ""},
      {{"", "run", "admin"}, "/run", std::nullopt, ""},
      {{"", "run", "admin"}, "/adminx", std::nullopt, ""},
  };
  for (const TCase& c : cases) {
    router.setPaths(c.paths);
    const auto route = router.matchPageRequest(c.path);
    ASSERT_EQ(route.has_value(), c.kind.has_value()) << c.path;
    if (route) {
      EXPECT_EQ(route->Kind, *c.kind) << c.path;
      EXPECT_EQ(route->SubPath, c.subPath) << c.path;
    }
  }
  router.setPaths({"", "", "admin"});
  EXPECT_EQ(router.getStartPagePath(), "/admin/");
  EXPECT_EQ(router.getExecCommandPath(), "/admin/EXEC");
}

TEST(WebApplicationRouterTest, HandsEverythingElseToTheCore) {
  TWebApplicationRouter router;
  TWebRequest request;
  TWebResponse response;
  request.Path = "/sendsms";
  router.handleRequest(request, response);
  EXPECT_EQ(response.Status, 404); // no hook: nobody serves it

  std::vector<std::string> core;
  router.OnInvalidCommand = [&](const TWebRequest& aRequest, TWebResponse& aResponse) {
    core.push_back(aRequest.Path);
    aResponse.Status = 501;
  };
  request.Path = "/";
  router.handleRequest(request, response); // no page handler yet: the core answers
  EXPECT_EQ(response.Status, 501);

  std::vector<std::string> pages;
  router.OnPageRequest = [&](const TWebPageRoute& aRoute, const TWebRequest&,
                             TWebResponse& aResponse) {
    pages.push_back(aRoute.SubPath);
    aResponse.Status = 200;
  };
  request.Path = "/EXEC/token";
  router.handleRequest(request, response);
  request.Path = "/getnewsms";
  router.handleRequest(request, response);
  EXPECT_EQ(pages, std::vector<std::string>{"/token"});
  EXPECT_EQ(core, (std::vector<std::string>{"/", "/getnewsms"}));
}

TEST(WebApplicationRouterTest, AFailingHookIsReportedAndAnswered500) {
  TWebApplicationRouter router;
  router.OnInvalidCommand = [](const TWebRequest&, TWebResponse& aResponse) {
    aResponse.setHeader("X-Half", "done");
    throw std::runtime_error("boom");
  };
  std::string reported;
  router.OnException = [&](const std::exception& aException, bool& aHandled) {
    reported = aException.what();
    aHandled = true;
  };
  TWebRequest request;
  TWebResponse response;
  router.handleRequest(request, response);
  EXPECT_EQ(reported, "boom");
  EXPECT_EQ(response.Status, 500);
  EXPECT_TRUE(response.Headers.empty()); // nothing of the half-made answer goes out

  router.OnInvalidCommand = [](const TWebRequest&, TWebResponse&) { throw 42; };
  router.handleRequest(request, response);
  EXPECT_EQ(response.Status, 500);
}

} // namespace
