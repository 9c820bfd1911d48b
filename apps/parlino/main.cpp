// The server program: runs in the foreground until SIGTERM or SIGINT, then shuts down in order.
#include "ProgramArguments.h"
#include "logging/KvLogger.h"
#include "platform/Files.h"
#include "platform/ProcessInfo.h"
#include "platform/ServiceNotify.h"
#include "platform/StopSignals.h"
#include "server/ServerController.h"
#include "web/Navigation.h"
#include "webframework/WebApplication.h"
#include "webframework/WebServer.h"

#include <cstdio>
#include <thread>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
// The leak checker of clang 14 misreads the thread-local blocks the Firebird client leaves in
// a thread that attached the embedded engine, and crashes at exit while scanning them; in this
// program it does not follow pointers held only in thread-local storage.
extern "C" const char* __lsan_default_options() {
  return "use_tls=0";
}
#endif
#endif

namespace {

// The images and style sheets of the pages: www/ beside the program in the build tree,
// share/parlino/www beside bin/ when installed.
std::string findDataDir(const TProgramArguments& aArguments) {
  if (!aArguments.DataDir.empty()) {
    return aArguments.DataDir;
  }
  const std::string programDir = platform::extractFileDir(platform::programPath());
  if (platform::directoryExists(programDir + "/www")) {
    return programDir + "/www";
  }
  return programDir + "/../share/parlino/www";
}

// The HTTP port of the options: the framework's pages and the core's commands.
std::unique_ptr<TWebServer> startWebServer(TIWServerController& aController,
                                           TWebApplication& aPages) {
  const TServerOptions& options = aController.options();
  TWebServerSettings settings;
  settings.Port = options.HTTPPort;
  auto server = std::make_unique<TWebServer>(settings);
  TWebApplicationRouter& router = server->getRouter();
  router.setPaths({options.WebAppStartCmd, options.WebAppExecCmd, options.WebAppURLBase});
  router.OnInvalidCommand = [&aController](const TWebRequest& aRequest, TWebResponse& aResponse) {
    aController.IWServerControllerBaseInvalidCommand(aRequest, aResponse);
  };
  router.OnException = [&aController](const std::exception& aException, bool& aHandled) {
    aController.IWServerControllerBaseException(aException, aHandled);
  };
  aPages.attach(router);
  TWebStartResult started;
  try {
    started = server->start();
  } catch (const std::exception& e) { // no threads to be had, no memory
    started = {false, 0, e.what()};
  }
  if (!started) {
    Logger().error("servercontroller", "HTTP server NOT started on port " +
                                           std::to_string(settings.Port) + ": " + started.message);
    return nullptr;
  }
  Logger().info("servercontroller",
                "HTTP server listening on port " + std::to_string(server->getPort()));
  Logger().info("servercontroller",
                "administration pages at http://localhost:" + std::to_string(server->getPort()) +
                    router.getStartPagePath());
  return server;
}

int runServer(const TProgramArguments& aArguments) {
  TServerStartParameters parameters;
  if (!aArguments.OptionsFile.empty()) {
    parameters.OptionsFile = aArguments.OptionsFile;
  }
  parameters.StartupDelay = aArguments.StartupDelay;
  TIWServerController controller(parameters);

  std::atomic<bool> stopRequested{false};
  std::thread signalWaiter([&] {
    platform::waitForStopSignal();
    stopRequested = true;
    controller.interruptStartupDelay();
  });

  try {
    controller.IWServerControllerBaseCreate();
  } catch (const std::exception& e) {
    bool handled = false;
    controller.IWServerControllerBaseException(e, handled);
  }
  TAdministrationPages administration;
  TWebApplicationSettings pageSettings;
  pageSettings.FilesFolder = findDataDir(aArguments);
  pageSettings.Sessions.Timeout = aArguments.SessionTimeout;
  auto pages = std::make_unique<TWebApplication>(pageSettings);
  administration.registerWith(*pages, controller);
  pages->startSweeper(
      std::min<std::chrono::milliseconds>(std::chrono::seconds(30), aArguments.SessionTimeout / 4));
  int exitCode = 0;
  std::unique_ptr<TWebServer> webServer;
  if (!stopRequested) {
    webServer = startWebServer(controller, *pages);
  }
  if (webServer) {
    platform::notifyServiceReady("listening on port " + std::to_string(webServer->getPort()));
  } else if (!stopRequested) {
    // Without its HTTP port the gateway is of no use: it ends, and says so in its exit code.
    Logger().error("servercontroller", "the server ends: its HTTP port could not be opened");
    exitCode = 1;
    platform::requestStop();
  }
  signalWaiter.join(); // returns once a stop signal arrived
  platform::notifyServiceStopping();
  if (webServer) {
    webServer->stop(); // answers the requests under way, takes no new ones
  }
  pages.reset(); // the sessions' pages go while the core still stands
  controller.IWServerControllerBaseDestroy();
  return exitCode;
}

} // namespace

int main(int argc, char** argv) {
  const TProgramArguments arguments =
      parseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (arguments.ShowHelp) {
    std::fputs(programUsage().c_str(), stdout);
    return 0;
  }
  if (!arguments.Error.empty()) {
    std::fprintf(stderr, "parlino: %s\n%s", arguments.Error.c_str(), programUsage().c_str());
    return 2;
  }
  platform::blockStopSignals();
  if (!arguments.Home.empty()) {
    platform::setProgramHome(arguments.Home);
  }
  int exitCode = 1;
  try {
    exitCode = runServer(arguments);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "parlino: %s\n", e.what());
  }
  finalizeLogging();
  return exitCode;
}
