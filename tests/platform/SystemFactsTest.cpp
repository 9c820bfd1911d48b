#include "platform/Files.h"
#include "platform/LibraryProbe.h"
#include "platform/ServiceState.h"
#include "platform/SystemInfo.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(SystemFactsTest, MachineNamesOf64BitSystems) {
  for (const char* machine : {"x86_64", "aarch64", "ppc64le", "s390x", "riscv64", "mips64"}) {
    EXPECT_TRUE(platform::isMachine64Bit(machine)) << machine;
  }
  for (const char* machine : {"i686", "i386", "armv7l", "mips", "ppc", ""}) {
    EXPECT_FALSE(platform::isMachine64Bit(machine)) << machine;
  }
  EXPECT_TRUE(platform::createUnameSystemInfo()->is64BitOperatingSystem().has_value());
}

TEST(SystemFactsTest, ServiceStateOfSystemdUnits) {
  const struct {
    const char* load;
    const char* active;
    const char* sub;
    platform::TServiceState state;
  } cases[] = {
      {"loaded", "active", "running", platform::svsRunning},
      {"loaded", "active", "exited", platform::svsStopped},
      {"loaded", "inactive", "dead", platform::svsStopped},
      {"loaded", "failed", "failed", platform::svsStopped},
      {"loaded", "activating", "start-pre", platform::svsStartPending},
      {"loaded", "reloading", "reload", platform::svsStartPending},
      {"loaded", "deactivating", "stop-sigterm", platform::svsStopPending},
      {"not-found", "inactive", "dead", platform::svsUnknown},
      {"masked", "inactive", "dead", platform::svsUnknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::serviceStateOfUnit(c.load, c.active, c.sub), c.state)
        << c.load << " " << c.active << " " << c.sub;
  }
  // With or without systemd on this machine: a unit nobody has is unknown.
  EXPECT_EQ(platform::createSystemdServiceStates()->serviceState("parlino-no-such-unit.service"),
            platform::svsUnknown);
}

TEST(SystemFactsTest, LibraryProbeLoadsByName) {
  const auto probe = platform::createDlopenLibraryProbe();
  EXPECT_TRUE(probe->canLoad("libm.so.6"));
  EXPECT_FALSE(probe->canLoad("libparlino-no-such-library.so.1"));
}

TEST(SystemFactsTest, RemoveMakeExecutableAndUniqueDirectories) {
  testsupport::TTempDir temp;
  const std::string file = temp.file("installer");
  testsupport::writeFile(file, "#!/bin/sh\n");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  ASSERT_TRUE(platform::makeExecutable(file));
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  EXPECT_FALSE(platform::makeExecutable(temp.file("missing")));
  EXPECT_TRUE(platform::removeFile(file));
  EXPECT_FALSE(platform::fileExists(file));
  EXPECT_TRUE(platform::removeFile(file)); // gone already counts as removed

  std::string first;
  std::string second;
  ASSERT_TRUE(platform::createUniqueDirectory(temp.file("product-"), first));
  ASSERT_TRUE(platform::createUniqueDirectory(temp.file("product-"), second));
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(temp.file("product-"), 0), 0u);
  EXPECT_TRUE(platform::directoryExists(first));
  EXPECT_FALSE(platform::createUniqueDirectory(temp.file("missing/product-"), first));
}

} // namespace
