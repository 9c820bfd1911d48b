#include "platform/LibraryProbe.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The program itself on this machine: with the client library installed and "autoclose" it
// ends at once, before anything graphical starts. Without a display an attempt to open a
// window would abort the program.
TEST(TomvekProgramTest, AutoCloseWithTheClientLibraryInstalledEndsAtOnceWithoutAWindow) {
  if (!platform::createDlopenLibraryProbe()->canLoad("libfbclient.so.2")) {
    GTEST_SKIP() << "the Firebird client library is not installed here";
  }
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  testsupport::TChildProcess tomvek(testsupport::buildPath("apps/tomvek/tomvek"),
                                    {"prereqs=FirebirdClient", "autoclose"});
  EXPECT_EQ(tomvek.wait(), 0);
}

} // namespace
