// tomvek: checks the prerequisites an installer names on the command line and offers to
// resolve those that are missing. The checks run before anything graphical starts, so that
// "autoclose" ends at once, without a window or a display, when nothing is missing.
#include "platform/LibraryProbe.h"
#include "platform/ProcessInfo.h"
#include "platform/ServiceState.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "prereq/KVPrereqRegistry.h"
#include "prereq/KVPrereqRun.h"
#include "prereq/KVPrereqSettings.h"
#include "prereq/window/MainForm.h"
#include "prereq/window/QtHttpDownload.h"

#include <QApplication>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
  TKVPrereqRun run(std::vector<std::string>(argv + 1, argv + argc));
  TKVPrereqFirebirdSettings settings;
  const std::string settingsFile = platform::programHome() + SC_PREREQSETTINGSFILE;
  if (!readPrereqSettingsFile(settingsFile, settings)) {
    std::cerr << "tomvek: cannot read " << settingsFile << "\n";
  }
  applyPrereqSettingsArguments(run.Params(), settings);

  const auto libraries = platform::createDlopenLibraryProbe();
  const auto services = platform::createSystemdServiceStates();
  const auto system = platform::createUnameSystemInfo();
  const auto shell = platform::createPosixShell();
  TKVPrereqServices prereqServices;
  prereqServices.Libraries = libraries.get();
  prereqServices.Services = services.get();
  prereqServices.System = system.get();
  prereqServices.Shell = shell.get();
  prereqServices.TempDirectory = platform::tempDirectory();
  TKVPrereqRegistry registry(prereqServices, settings);

  try {
    run.check(registry);
  } catch (const std::exception&) {
    // Loaded checks again and shows the error in the window.
  }
  if (run.EndsAtOnce()) {
    return 0;
  }

  QApplication application(argc, argv);
  TQtHttpDownload download;
  prereqServices.Download = &download;
  TMainForm form(run, registry, prereqServices);
  form.Loaded();
  form.show();
  return application.exec();
}
