#pragma once

#include "platform/HttpDownload.h"
#include "platform/LibraryProbe.h"
#include "platform/ServiceState.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "prereq/KVPrereqDialogs.h"

#include <functional>
#include <string>

// What the prerequisites reach of the machine and of the user. Every pointer is non-owning:
// the program (or a test) owns the parts and keeps them for the whole run. Download and
// Dialogs may be set later, once the window exists; the checks need neither.
struct TKVPrereqServices {
  platform::ILibraryProbe* Libraries = nullptr;
  platform::IServiceStates* Services = nullptr;
  platform::ISystemInfo* System = nullptr;
  platform::IHttpDownload* Download = nullptr;
  platform::IShell* Shell = nullptr;
  IKVPrereqDialogs* Dialogs = nullptr;
  // Called while an installer runs, every IShell::IC_WAITSTEPMS: the window repaints there.
  std::function<void()> OnWaitStep;
  // Where downloads go; ends in "/".
  std::string TempDirectory;
};
