#pragma once

#include "platform/Files.h"
#include "platform/HttpDownload.h"
#include "platform/LibraryProbe.h"
#include "platform/ServiceState.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "prereq/InformationAdapter.h"
#include "prereq/KVPrereqDialogs.h"
#include "prereq/KVPrereqServices.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Stand-ins for the machine and the user of the prerequisites tool, for tests.
namespace prereqfakes {

struct TFakeLibraryProbe : platform::ILibraryProbe {
  std::set<std::string> Loadable;
  std::vector<std::string> Asked;
  bool canLoad(const std::string& aName) override {
    Asked.push_back(aName);
    return Loadable.count(aName) > 0;
  }
};

struct TFakeServiceStates : platform::IServiceStates {
  std::map<std::string, platform::TServiceState> States; // missing names are unknown (0)
  platform::TServiceState serviceState(const std::string& aName) override {
    const auto found = States.find(aName);
    return found == States.end() ? platform::svsUnknown : found->second;
  }
};

struct TFakeSystemInfo : platform::ISystemInfo {
  std::optional<bool> Is64 = true;
  std::optional<bool> is64BitOperatingSystem() override { return Is64; }
};

// Writes Body into the file in Chunks pieces, reporting Total at the start; a set Failure
// makes it fail after writing the first piece.
struct TFakeHttpDownload : platform::IHttpDownload {
  std::string Body = "#!/bin/sh\nexit 0\n";
  std::int64_t Total = -2; // -2: the body's size
  int Chunks = 2;
  std::optional<platform::TDownloadResult> Failure;
  std::vector<std::string> URLs;
  std::vector<std::string> Files;

  platform::TDownloadResult download(const std::string& aURL, const std::string& aFile,
                                     const platform::TDownloadProgress& aProgress) override {
    URLs.push_back(aURL);
    Files.push_back(aFile);
    aProgress.OnStart(Total == -2 ? static_cast<std::int64_t>(Body.size()) : Total);
    const std::size_t piece = (Body.size() + Chunks - 1) / Chunks;
    std::string written;
    for (std::size_t offset = 0; offset < Body.size(); offset += piece) {
      written += Body.substr(offset, piece);
      (void)platform::writeWholeFile(aFile, written);
      aProgress.OnReceived(static_cast<std::int64_t>(written.size()));
      if (Failure) {
        return *Failure;
      }
    }
    if (Body.empty()) {
      (void)platform::writeWholeFile(aFile, "");
    }
    return {};
  }
};

struct TShellCall {
  std::string Program;
  std::vector<std::string> Arguments;
  std::string Directory;
  bool Wait = false;
};

// Answers every start with ExitCode (or what OnExecute returns) and records the calls.
struct TFakeShell : platform::IShell {
  int ExitCode = 0;
  std::function<int(const TShellCall&)> OnExecute;
  std::vector<TShellCall> Calls;
  std::vector<std::string> Opened;

  int execute(const std::string& aProgram, const std::vector<std::string>& aArguments,
              const std::string& aDirectory, bool aWait,
              const std::function<void()>& aOnWaitStep) override {
    Calls.push_back({aProgram, aArguments, aDirectory, aWait});
    if (aOnWaitStep) {
      aOnWaitStep();
    }
    return OnExecute ? OnExecute(Calls.back()) : ExitCode;
  }
  int openAddress(const std::string& aURL) override {
    Opened.push_back(aURL);
    return 0;
  }
};

// Answers the questions from a script (no answers left: no) and records them and the errors.
struct TFakeDialogs : IKVPrereqDialogs {
  std::deque<bool> Answers;
  std::vector<std::pair<TKind, std::string>> Questions;
  std::vector<std::string> Errors;

  bool askYesNo(TKind aKind, const std::string& aText) override {
    Questions.emplace_back(aKind, aText);
    if (Answers.empty()) {
      return false;
    }
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void showError(const std::string& aText) override { Errors.push_back(aText); }
};

// Records every report as one line: "begin", "end", "text Download...", "progress 5 -1 -1".
struct TRecordingAdapter : IInformationAdapter {
  std::vector<std::string> Calls;
  void beginAction() override { Calls.push_back("begin"); }
  void endAction() override { Calls.push_back("end"); }
  void setActionText(const std::string& aText) override { Calls.push_back("text " + aText); }
  void setProgress(std::int64_t aPosition, std::int64_t aMin, std::int64_t aMax) override {
    Calls.push_back("progress " + std::to_string(aPosition) + " " + std::to_string(aMin) + " " +
                    std::to_string(aMax));
  }
};

// All fakes wired into one services record; the client library loads and the server runs
// unless a test says otherwise.
struct TFakeMachine {
  TFakeLibraryProbe Libraries;
  TFakeServiceStates Services;
  TFakeSystemInfo System;
  TFakeHttpDownload Download;
  TFakeShell Shell;
  TFakeDialogs Dialogs;
  int WaitSteps = 0;
  TKVPrereqServices Wired;

  explicit TFakeMachine(const std::string& aTempDirectory) {
    Libraries.Loadable.insert("libfbclient.so.2");
    Services.States["firebird3.0.service"] = platform::svsRunning;
    Wired.Libraries = &Libraries;
    Wired.Services = &Services;
    Wired.System = &System;
    Wired.Download = &Download;
    Wired.Shell = &Shell;
    Wired.Dialogs = &Dialogs;
    Wired.OnWaitStep = [this] { ++WaitSteps; };
    Wired.TempDirectory = aTempDirectory + "/";
  }
  TFakeMachine(const TFakeMachine&) = delete;
  TFakeMachine& operator=(const TFakeMachine&) = delete;
};

} // namespace prereqfakes
