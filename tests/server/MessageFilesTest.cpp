#include "server/MessageFiles.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

TEST(MessageFilesTest, NamesCarryLocalTimeAndNumber) {
  EXPECT_EQ(messageFileBaseName(TDateTime::encode(2011, 3, 5, 17, 4, 9), "4917112345"),
            "20110305 17-04-09_4917112345");
  EXPECT_EQ(messageFileBaseName(TDateTime::encodeDate(2011, 3, 5), "+4917"), "20110305_+4917");
  EXPECT_EQ(messageFileBaseName(TDateTime::encode(2011, 3, 5, 0, 0, 1), "../etc/x\\y:z"),
            "20110305 00-00-01____etc_x_y_z");
}

TEST(MessageFilesTest, TwoMessagesOfOneSecondKeepBothFiles) {
  TTempDir dir;
  const std::string folder = dir.file("received");
  std::string path, error;
  for (const char* content : {"first", "second", "third"}) {
    ASSERT_TRUE(writeMessageFile(folder, "20110305 17-04-09_4917", content, path, error)) << error;
  }
  EXPECT_EQ(listDirectory(folder), (std::vector<std::string>{"20110305 17-04-09_4917.kvsms",
                                                             "20110305 17-04-09_4917_2.kvsms",
                                                             "20110305 17-04-09_4917_3.kvsms"}));
  EXPECT_EQ(readFile(folder + "/20110305 17-04-09_4917.kvsms"), "first");
  EXPECT_EQ(path, folder + "/20110305 17-04-09_4917_3.kvsms");
}

TEST(MessageFilesTest, AnUnwritableFolderIsReported) {
  TTempDir dir;
  writeFile(dir.file("blocked"), "a file where the folder should be");
  std::string path, error;
  EXPECT_FALSE(writeMessageFile(dir.file("blocked/sent"), "x", "data", path, error));
  EXPECT_FALSE(error.empty());
}

} // namespace
