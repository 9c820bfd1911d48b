#include "platform/Files.h"

#include "tests/support/SmallDisk.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using testsupport::listDirectory;
using testsupport::readFile;

// On a disk too small for the data: an append leaves the file as it was (no cut record), a
// new file is not left behind at all (neither empty nor cut), and the space is free again.
TEST(FilesTest, WritesThatDoNotFitLeaveNoCutOrEmptyFile) {
  testsupport::TTempDir dir;
  testsupport::TSmallDisk disk(dir.file("disk"), 64 * 1024);
  if (!disk.mounted()) {
    GTEST_SKIP() << disk.error();
  }
  const std::string log = disk.folder() + "/a.kvlog";
  ASSERT_TRUE(platform::appendToFileExclusive(log, "first record\r\n"));
  const std::string big(256 * 1024, 'x');
  const platform::TFileResult appended = platform::appendToFileExclusive(log, big);
  EXPECT_FALSE(appended);
  EXPECT_EQ(appended.error, ENOSPC);
  EXPECT_EQ(readFile(log), "first record\r\n");

  const platform::TFileResult created = platform::createNewFile(disk.folder() + "/b.kvsms", big);
  EXPECT_FALSE(created);
  EXPECT_EQ(listDirectory(disk.folder()), (std::vector<std::string>{"a.kvlog"}));

  const platform::TFileResult replaced = platform::replaceFile(log, big);
  EXPECT_FALSE(replaced);
  EXPECT_EQ(readFile(log), "first record\r\n");
  EXPECT_EQ(listDirectory(disk.folder()), (std::vector<std::string>{"a.kvlog"}));

  ASSERT_TRUE(platform::createNewFile(disk.folder() + "/c.kvsms", "small"));
  EXPECT_EQ(readFile(disk.folder() + "/c.kvsms"), "small");
  EXPECT_EQ(platform::createNewFile(disk.folder() + "/c.kvsms", "again").error, EEXIST);
  EXPECT_EQ(readFile(disk.folder() + "/c.kvsms"), "small");
  EXPECT_EQ(listDirectory(disk.folder()), (std::vector<std::string>{"a.kvlog", "c.kvsms"}));
}

} // namespace
