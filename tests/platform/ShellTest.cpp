#include "platform/Shell.h"

#include "platform/Files.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(ShellTest, ExecuteReportsTheExitCode) {
  const auto shell = platform::createPosixShell();
  const struct {
    const char* script;
    int exitCode;
  } cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"kill -KILL $$", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(shell->execute("/bin/sh", {"-c", c.script}, {}, true, {}), c.exitCode) << c.script;
  }
  EXPECT_EQ(shell->execute("/nonexistent/installer", {}, {}, true, {}), -1);
  EXPECT_EQ(shell->execute("/bin/true", {}, "/nonexistent-folder", true, {}), -1);
}

TEST(ShellTest, ExecuteRunsInTheFolderAndLetsTheCallerWorkWhileItWaits) {
  const auto shell = platform::createPosixShell();
  testsupport::TTempDir temp;
  // The program ends only after the caller's wait step has run, so the step must come.
  const std::string go = temp.file("go");
  int steps = 0;
  const int exitCode = shell->execute(
      "/bin/sh", {"-c", "pwd > where; while [ ! -e go ]; do sleep 0.01; done; exit 7"}, temp.path(),
      true, [&] {
        ++steps;
        testsupport::writeFile(go, "");
      });
  EXPECT_EQ(exitCode, 7);
  EXPECT_GE(steps, 1);
  EXPECT_EQ(testsupport::readFile(temp.file("where")), temp.path() + "\n");
}

TEST(ShellTest, OpenAddressHandsTheAddressToXdgOpen) {
  const auto shell = platform::createPosixShell();
  testsupport::TTempDir temp;
  const std::string opened = temp.file("opened");
  testsupport::writeFile(temp.file("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > " + opened + "\n");
  ASSERT_TRUE(platform::makeExecutable(temp.file("xdg-open")));
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (temp.path() + ":" + path).c_str(), 1);
  const int result = shell->openAddress("https://firebird.example/a b?x=1&y=$HOME");
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(result, 0);
  // The opener runs in the background; wait for what it writes.
  EXPECT_TRUE(testsupport::waitFor([&] { return platform::fileExists(opened); }));
  EXPECT_TRUE(testsupport::waitFor(
      [&] { return testsupport::readFile(opened) == "https://firebird.example/a b?x=1&y=$HOME"; }));
}

} // namespace
