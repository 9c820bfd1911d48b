#include "logging/KvLogAppenderFile.h"

#include "logging/KvLogger.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/ProcessInfo.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using namespace testsupport;

// A manual UTC clock for the whole process, restored to the system clock at the end.
class KvLogAppenderFileTest : public ::testing::Test {
protected:
  KvLogAppenderFileTest() {
    setNow(TDateTime::encode(2011, 3, 5, 23, 59, 58, 500));
    platform::setClockSource([this] { return fNow.load(); });
  }
  ~KvLogAppenderFileTest() override { platform::setClockSource({}); }

  void setNow(TDateTime aValue) { fNow = aValue.toSystemClock(); }
  TKvLoggerMessage message(const std::string& aText) {
    return TKvLoggerMessage("Parlino", "1", "u", KVLL_INFO, "mod", aText, "none", "", "2", nullptr);
  }
  std::unique_ptr<TKvLogAppenderFile> appender(TKvLogAppenderFileStrategy aStrategy) {
    auto result = std::make_unique<TKvLogAppenderFile>();
    result->setDirectory(fDir.path() + "/");
    result->setFilenameBase("Parlino");
    result->setStrategy(aStrategy);
    result->setRetryPauseMs(1);
    result->OnWriteFailed = [this](const std::string& aFailure) { fFailures.push_back(aFailure); };
    return result;
  }
  // The message texts of a file, line by line; fails the test on a line without CR LF.
  std::vector<std::string> texts(const std::string& aName) {
    const std::string content = readFile(fDir.file(aName));
    std::vector<std::string> result;
    TKvLogFormaterDefault formater;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
      auto parsed = formater.parseMessage(content.substr(start, end - start));
      result.push_back(parsed ? parsed->getLogMessage() : "<unparsable>");
    }
    EXPECT_EQ(start, content.size()) << aName << " ends in a partial line";
    return result;
  }

  std::atomic<std::chrono::system_clock::time_point> fNow;
  TTempDir fDir;
  std::vector<std::string> fFailures;
};

TEST_F(KvLogAppenderFileTest, StartsWithTheProgramsHomeNameAndDailyFiles) {
  TKvLogAppenderFile file;
  EXPECT_EQ(file.getDirectory(), platform::programHome());
  EXPECT_EQ(file.getFilenameBase(), platform::programFileStem());
  EXPECT_EQ(file.getRetryCount(), 10);
  EXPECT_EQ(file.getStrategy(), KVLFS_NEWFILES);
  EXPECT_EQ(file.currentFileName(),
            platform::programHome() + platform::programFileStem() + "_2011.03.05.kvlog");
}

TEST_F(KvLogAppenderFileTest, NewFilesWritesLinesInOrderAndChangesFileAtUtcMidnight) {
  auto file = appender(KVLFS_NEWFILES);
  file->append(message("first"));
  file->append(message("a|b"));
  setNow(TDateTime::encode(2011, 3, 6, 0, 0, 0, 1));
  file->append(message("next day"));
  EXPECT_EQ(listDirectory(fDir.path()),
            (std::vector<std::string>{"Parlino_2011.03.05.kvlog", "Parlino_2011.03.06.kvlog"}));
  EXPECT_EQ(texts("Parlino_2011.03.05.kvlog"), (std::vector<std::string>{"first", "a-b"}));
  EXPECT_EQ(texts("Parlino_2011.03.06.kvlog"), (std::vector<std::string>{"next day"}));
  const std::string line = readFile(fDir.file("Parlino_2011.03.06.kvlog"));
  EXPECT_EQ(line, "Parlino|2011.03.06 00:00:00.001|info.mod|next day|1|u|none||2\r\n");
  EXPECT_TRUE(fFailures.empty());
}

TEST_F(KvLogAppenderFileTest, SingleFileTakesEveryDay) {
  auto file = appender(KVLFS_SINGLEFILE);
  file->append(message("one"));
  setNow(TDateTime::encode(2011, 3, 9, 12, 0, 0));
  file->append(message("two"));
  EXPECT_EQ(listDirectory(fDir.path()), (std::vector<std::string>{"Parlino_all.kvlog"}));
  EXPECT_EQ(texts("Parlino_all.kvlog"), (std::vector<std::string>{"one", "two"}));
}

TEST_F(KvLogAppenderFileTest, RenameMovesTheCurrentFileAwayAtTheFirstMessageOfANewDay) {
  // A "current" file of an earlier day is not renamed at start: the appender starts today.
  writeFile(fDir.file("Parlino_current.kvlog"), "");
  auto file = appender(KVLFS_RENAME);
  file->append(message("day1"));
  EXPECT_EQ(listDirectory(fDir.path()), (std::vector<std::string>{"Parlino_current.kvlog"}));
  setNow(TDateTime::encode(2011, 3, 6, 0, 0, 1));
  file->append(message("day2 a"));
  file->append(message("day2 b"));
  EXPECT_EQ(listDirectory(fDir.path()), (std::vector<std::string>{
                                            "Parlino_current.kvlog",
                                            "Parlino_from_2011.03.06.kvlog",
                                        }));
  EXPECT_EQ(texts("Parlino_from_2011.03.06.kvlog"), (std::vector<std::string>{"day1"}));
  EXPECT_EQ(texts("Parlino_current.kvlog"), (std::vector<std::string>{"day2 a", "day2 b"}));
  EXPECT_TRUE(fFailures.empty());
}

TEST_F(KvLogAppenderFileTest, AFailedRenameKeepsWritingIntoTheCurrentFile) {
  auto file = appender(KVLFS_RENAME);
  file->append(message("day1"));
  setNow(TDateTime::encode(2011, 3, 6, 8, 0, 0));
  writeFile(fDir.file("Parlino_from_2011.03.06.kvlog"), "taken\r\n");
  file->append(message("day2"));
  file->append(message("day2 again"));
  const std::string from = fDir.path() + "/Parlino_from_2011.03.06.kvlog";
  const std::string current = fDir.path() + "/Parlino_current.kvlog";
  EXPECT_EQ(fFailures, (std::vector<std::string>{"could not rename logfile \"" + current +
                                                 "\" to \"" + from + "\"."}));
  EXPECT_EQ(texts("Parlino_current.kvlog"),
            (std::vector<std::string>{"day1", "day2", "day2 again"}));
  EXPECT_EQ(readFile(from), "taken\r\n");
}

TEST_F(KvLogAppenderFileTest, CreatesTheDirectoryAndUsesItAsAPlainPrefix) {
  auto file = appender(KVLFS_NEWFILES);
  file->setDirectory(fDir.path() + "\\deep\\log\\");
  file->append(message("windows style"));
  EXPECT_EQ(texts("deep/log/Parlino_2011.03.05.kvlog"),
            (std::vector<std::string>{"windows style"}));
  file->setDirectory(fDir.path() + "/logs");
  file->append(message("no separator"));
  EXPECT_EQ(texts("logsParlino_2011.03.05.kvlog"), (std::vector<std::string>{"no separator"}));
}

TEST_F(KvLogAppenderFileTest, InitializeFileLoggingWithARelativeDirectoryWritesBelowTheCwd) {
  const std::string previous = std::filesystem::current_path();
  ASSERT_EQ(::chdir(fDir.path().c_str()), 0);
  {
    TKvLogger logger;
    logger.initializeFileLogging("Parlino", ".\\log\\", "Parlino", 10, KVLFS_NEWFILES);
    EXPECT_FALSE(platform::directoryExists(fDir.file("log")));
    logger.info("mod", "relative");
  }
  ASSERT_EQ(::chdir(previous.c_str()), 0);
  EXPECT_EQ(texts("log/Parlino_2011.03.05.kvlog"), (std::vector<std::string>{"relative"}));
}

// Holds the exclusive lock another writer would hold on a log file.
class TForeignWriter {
public:
  explicit TForeignWriter(const std::string& aPath)
      : fFd(::open(aPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644)) {
    EXPECT_EQ(::flock(fFd, LOCK_EX), 0);
  }
  ~TForeignWriter() { release(); }
  void release() {
    if (fFd >= 0) {
      ::close(fFd);
      fFd = -1;
    }
  }

private:
  int fFd;
};

TEST_F(KvLogAppenderFileTest, RetriesALockedFileThenDropsTheMessage) {
  auto file = appender(KVLFS_NEWFILES);
  const std::string name = fDir.file("Parlino_2011.03.05.kvlog");
  {
    TForeignWriter other(name);
    file->append(message("lost"));
    EXPECT_EQ(fFailures.size(), 11u) << "one attempt and ten retries";
    file->setRetryCount(0);
    file->append(message("lost too"));
    EXPECT_EQ(fFailures.size(), 12u);
  }
  fFailures.clear();
  file->setRetryCount(10);
  file->append(message("kept"));
  EXPECT_TRUE(fFailures.empty());
  EXPECT_EQ(
      texts("Parlino_2011.03.05.kvlog"),
      (std::vector<std::string>{"2 log messages lost while the log file could not be written: " +
                                    std::string(std::strerror(EWOULDBLOCK)),
                                "kept"}));
}

// A full disk (the daily file is /dev/full): one attempt, no retries, then a pause in which
// messages are counted without touching the disk; the first line written afterwards comes
// after the report of what was lost.
TEST_F(KvLogAppenderFileTest, AFullDiskIsNotRetriedButRestedAndTheLostLinesReported) {
  auto file = appender(KVLFS_NEWFILES);
  file->setFailurePauseMs(60'000);
  const std::string name = fDir.file("Parlino_2011.03.05.kvlog");
  ASSERT_EQ(::symlink("/dev/full", name.c_str()), 0);
  file->append(message("a"));
  EXPECT_EQ(fFailures.size(), 1u) << "no retry";
  file->append(message("b"));
  file->append(message("c"));
  EXPECT_EQ(fFailures.size(), 1u) << "the disk is left alone during the pause";
  EXPECT_EQ(file->getLostMessageCount(), 3u);

  ASSERT_EQ(::unlink(name.c_str()), 0); // space again
  setNow(TDateTime::encode(2011, 3, 5, 23, 59, 59, 0));
  file->append(message("still resting"));
  setNow(TDateTime::encode(2011, 3, 6, 0, 0, 59, 0));
  file->append(message("d"));
  EXPECT_EQ(
      texts("Parlino_2011.03.06.kvlog"),
      (std::vector<std::string>{"4 log messages lost while the log file could not be written: " +
                                    name + ": " + std::strerror(ENOSPC),
                                "d"}));
  EXPECT_EQ(file->getLostMessageCount(), 0u);
  EXPECT_FALSE(platform::fileExists(name));
}

TEST_F(KvLogAppenderFileTest, ALineIsWrittenOnceTheOtherWriterLetsGo) {
  auto file = appender(KVLFS_NEWFILES);
  file->setRetryCount(1000);
  file->setRetryPauseMs(5);
  auto other = std::make_unique<TForeignWriter>(fDir.file("Parlino_2011.03.05.kvlog"));
  std::atomic<bool> failedOnce{false};
  file->OnWriteFailed = [&](const std::string&) { failedOnce = true; };
  std::thread writer([&] { file->append(message("late")); });
  ASSERT_TRUE(waitFor([&] { return failedOnce.load(); }));
  other->release();
  writer.join();
  EXPECT_EQ(texts("Parlino_2011.03.05.kvlog"), (std::vector<std::string>{"late"}));
}

} // namespace
