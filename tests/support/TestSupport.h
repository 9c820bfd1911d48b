#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder below $TMPDIR for one test, removed with everything in it at the end.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& path() const { return fPath; } // without trailing "/"
  std::string file(const std::string& aName) const { return fPath + "/" + aName; }

private:
  std::string fPath;
};

std::string readFile(const std::string& aPath);
void writeFile(const std::string& aPath, const std::string& aContent);
std::vector<std::string> listDirectory(const std::string& aPath); // names, sorted

// Polls aCondition every 10 ms until it holds or aTimeout passes; returns its last value.
bool waitFor(const std::function<bool()>& aCondition,
             std::chrono::milliseconds aTimeout = std::chrono::seconds(10));

// A program started with arguments; killed (SIGKILL) when still running at destruction.
class TChildProcess {
public:
  TChildProcess(const std::string& aProgram, const std::vector<std::string>& aArguments,
                const std::string& aWorkingDirectory = {}, const std::string& aOutputFile = {});
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;
  int pid() const { return fPid; }
  bool running();
  void signal(int aSignal);
  // Waits for the exit; returns the exit code, 128+signal, or -1 on time-out.
  int wait(std::chrono::milliseconds aTimeout = std::chrono::seconds(30));

private:
  int fPid = -1;
  int fStatus = -1;
  bool fExited = false;
};

// A path of the build tree ("apps/parlino/parlino") or the source tree.
std::string buildPath(const std::string& aRelative);
std::string sourcePath(const std::string& aRelative);

} // namespace testsupport
