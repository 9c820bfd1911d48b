#include "logging/KvLogger.h"

#include "logging/KvLogAppenderFile.h"
#include "platform/ProcessInfo.h"
#include "tests/logging/MemoryAppender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

TEST(KvLoggerTypesTest, ParsesLevelNamesInAnyCaseAndUnknownNamesAsFatal) {
  const std::vector<std::pair<std::string, TKvLoggerLevel>> cases = {
      {"trace", KVLL_TRACE}, {"FINEST", KVLL_TRACE},   {"Debug", KVLL_DEBUG},
      {"info", KVLL_INFO},   {"Warning", KVLL_WARN},   {"WARN", KVLL_WARN},
      {"warn", KVLL_WARN},   {"error", KVLL_ERROR},    {"Exception", KVLL_ERROR},
      {"fatal", KVLL_FATAL}, {"critical", KVLL_FATAL}, {"verbose", KVLL_FATAL},
      {"", KVLL_FATAL},      {" info", KVLL_FATAL}};
  for (const auto& [text, level] : cases) {
    EXPECT_EQ(convertToLevel(text), level) << text;
  }
}

TEST(KvLoggerTypesTest, WritesLevelTextsAndExceptionForAnErrorWithException) {
  EXPECT_EQ(convertLevelToString(KVLL_TRACE, false), "trace");
  EXPECT_EQ(convertLevelToString(KVLL_DEBUG, true), "debug");
  EXPECT_EQ(convertLevelToString(KVLL_WARN, false), "warn");
  EXPECT_EQ(convertLevelToString(KVLL_ERROR, false), "error");
  EXPECT_EQ(convertLevelToString(KVLL_ERROR, true), "exception");
  EXPECT_EQ(convertLevelToString(KVLL_FATAL, true), "fatal");
  for (int level = KVLL_TRACE; level <= KVLL_FATAL; ++level) {
    const auto value = static_cast<TKvLoggerLevel>(level);
    EXPECT_EQ(convertToLevel(convertLevelToString(value, true)), value);
  }
}

TEST(KvLoggerTypesTest, ParsesCategoriesAndWritesTheirTexts) {
  EXPECT_EQ(convertToCategory("None"), KVLCAT_NONE);
  EXPECT_EQ(convertToCategory("xyz"), KVLCAT_NONE);
  EXPECT_EQ(convertToCategory(""), KVLCAT_NONE);
  EXPECT_EQ(convertToCategory("OPTIONS"), KVLCAT_OPTIONS);
  EXPECT_EQ(convertToCategory("Plugin"), KVLCAT_PLUGIN);
  for (int category = KVLCAT_NONE; category <= KVLCAT_PLUGIN; ++category) {
    const auto value = static_cast<TKvLoggerCategory>(category);
    EXPECT_EQ(convertToCategory(convertCategoryToString(value)), value);
  }
  EXPECT_EQ(convertCategoryToString(KVLCAT_STARTUP), "startup");
  EXPECT_EQ(convertCategoryToString(static_cast<TKvLoggerCategory>(11)), "");
  EXPECT_EQ(convertCategoryToString(static_cast<TKvLoggerCategory>(-1)), "");
}

TEST(KvLoggerMessageTest, AssignToCopiesAllThirteenFields) {
  const std::runtime_error problem("x");
  TKvLoggerMessage source("app", "42", "user", KVLL_ERROR, "mod", "text", "startup", "de", "7",
                          &problem);
  source.setStackTrace("trace");
  source.setLogTimestamp(TDateTime::encode(2011, 3, 5, 16, 4, 9, 250));
  TKvLoggerMessage target("", "", "", KVLL_TRACE, "");
  source.AssignTo(target);
  EXPECT_EQ(target.getApplicationId(), "app");
  EXPECT_EQ(target.getInstanceId(), "42");
  EXPECT_EQ(target.getLogUser(), "user");
  EXPECT_EQ(target.getThreadId(), "7");
  EXPECT_EQ(target.getLogLevel(), KVLL_ERROR);
  EXPECT_EQ(target.getLogCategory(), "startup");
  EXPECT_EQ(target.getLogModule(), "mod");
  EXPECT_EQ(target.getLogMessage(), "text");
  EXPECT_EQ(target.getLogTimestamp(), TDateTime::encode(2011, 3, 5, 16, 4, 9, 250));
  EXPECT_EQ(target.getLogException(), &problem);
  EXPECT_EQ(target.getLogExceptionClassName(), "std::runtime_error");
  EXPECT_EQ(target.getLanguage(), "de");
  EXPECT_EQ(target.getStackTrace(), "trace");
}

class KvLoggerTest : public ::testing::Test {
protected:
  KvLoggerTest() {
    fLogger.addAppender(&fFirst);
    fLogger.addAppender(&fSecond);
  }
  TKvLogger fLogger;
  TMemoryAppender fFirst;
  TMemoryAppender fSecond;
};

TEST_F(KvLoggerTest, DropsMessagesBelowTheCurrentLevelAndDeliversTheRestToEveryAppender) {
  fLogger.setCurrentLevel(KVLL_WARN);
  fLogger.info("x");
  fLogger.debug("mod", "x");
  EXPECT_EQ(fFirst.count(), 0u);
  fLogger.error("x");
  fLogger.warn("mod", "y");
  fLogger.log(TKvLoggerMessage("a", "b", "c", KVLL_INFO, "dropped"));
  fLogger.log(TKvLoggerMessage("a", "b", "c", KVLL_FATAL, "kept"));
  ASSERT_EQ(fFirst.count(), 3u);
  EXPECT_EQ(fSecond.count(), 3u);
  EXPECT_EQ(fFirst.messages()[2].getLogMessage(), "kept");
  EXPECT_FALSE(fLogger.isInfo());
  EXPECT_TRUE(fLogger.isWarn());
  EXPECT_TRUE(fLogger.isError());
  EXPECT_TRUE(fLogger.isFatal());
  fLogger.setCurrentLevel(KVLL_FATAL);
  EXPECT_FALSE(fLogger.isError());
  EXPECT_TRUE(fLogger.isFatal());
  fLogger.setCurrentLevel(KVLL_TRACE);
  EXPECT_TRUE(fLogger.isTrace());
  EXPECT_TRUE(fLogger.isDebug());
  EXPECT_TRUE(TKvLogger::isImportantLogLevel(KVLL_WARN, KVLL_WARN));
  EXPECT_FALSE(TKvLogger::isImportantLogLevel(KVLL_WARN, KVLL_INFO));
}

TEST_F(KvLoggerTest, ShorthandsFillTheMessageFromTheLoggerAndTheCallingThread) {
  long callerThread = 0;
  std::thread caller([&] {
    callerThread = platform::threadId();
    fLogger.info("servercontroller", "text");
  });
  caller.join();
  ASSERT_EQ(fFirst.count(), 1u);
  const TKvLoggerMessage message = fFirst.messages()[0];
  EXPECT_EQ(message.getLogCategory(), "none");
  EXPECT_EQ(message.getLanguage(), "");
  EXPECT_EQ(message.getLogModule(), "servercontroller");
  EXPECT_EQ(message.getLogMessage(), "text");
  EXPECT_EQ(message.getThreadId(), std::to_string(callerThread));
  EXPECT_EQ(message.getLogException(), nullptr);
  EXPECT_EQ(message.getLogExceptionClassName(), "");
  EXPECT_EQ(message.getApplicationId(), platform::programFileStem());
  EXPECT_EQ(message.getInstanceId(), std::to_string(platform::processId()));
  EXPECT_EQ(message.getLogUser(), platform::userName());
  EXPECT_EQ(message.getLogLevel(), KVLL_INFO);
}

TEST_F(KvLoggerTest, EachLogFormSetsCategoryLanguageAndException) {
  const std::invalid_argument problem("bad");
  fLogger.error("db.checkaccount", "failed", KVLCAT_STARTUP, &problem);
  fLogger.warn("plain");
  fLogger.log(KVLL_INFO, "mod", "free", "my category", nullptr);
  fLogger.log(KVLL_INFO, "mod", "lang", "c", "en", nullptr);
  fLogger.log(KVLL_INFO, "mod", "three");
  const auto messages = fFirst.messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0].getLogCategory(), "startup");
  EXPECT_EQ(messages[0].getLogException(), &problem);
  EXPECT_EQ(messages[0].getLogExceptionClassName(), "std::invalid_argument");
  EXPECT_EQ(messages[1].getLogCategory(), "");
  EXPECT_EQ(messages[1].getLogModule(), "");
  EXPECT_EQ(messages[2].getLogCategory(), "my category");
  EXPECT_EQ(messages[3].getLanguage(), "en");
  EXPECT_EQ(messages[4].getLogCategory(), "none");
}

TEST_F(KvLoggerTest, AppenderListHoldsReferencesAndIgnoresBadIndexes) {
  EXPECT_EQ(fLogger.deleteAppender(-1), nullptr);
  EXPECT_EQ(fLogger.deleteAppender(2), nullptr);
  EXPECT_EQ(fLogger.getAppenderCount(), 2);
  EXPECT_EQ(fLogger.getAppender(1), &fSecond);
  EXPECT_EQ(fLogger.getAppender(2), nullptr);
  EXPECT_EQ(fLogger.deleteAppender(0), &fFirst);
  ASSERT_EQ(fLogger.getAppenderCount(), 1);
  EXPECT_EQ(fLogger.getAppender(0), &fSecond);
  fLogger.addAppender(&fSecond); // no duplicate check: the appender now gets each message twice
  fLogger.error("twice");
  EXPECT_EQ(fSecond.count(), 2u);
  EXPECT_EQ(fFirst.count(), 0u);
  fLogger.clearAppenders();
  EXPECT_EQ(fLogger.getAppenderCount(), 0);
  fLogger.error("nobody");
  EXPECT_EQ(fSecond.count(), 2u);
}

TEST_F(KvLoggerTest, InitializeFileLoggingReconfiguresTheOneFileAppender) {
  fLogger.initializeFileLogging("Parlino", "/tmp/a/", "Base", 3, KVLFS_RENAME);
  fLogger.initializeFileLogging("Parlino2", "/tmp/b/", "Base2", 4, KVLFS_SINGLEFILE);
  ASSERT_EQ(fLogger.getAppenderCount(), 3);
  auto* file = dynamic_cast<TKvLogAppenderFile*>(fLogger.getAppender(2));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->getDirectory(), "/tmp/b/");
  EXPECT_EQ(file->getFilenameBase(), "Base2");
  EXPECT_EQ(file->getRetryCount(), 4);
  EXPECT_EQ(file->getStrategy(), KVLFS_SINGLEFILE);
  EXPECT_EQ(fLogger.getApplicationID(), "Parlino2");
  fLogger.clearAppenders(); // the file appender belongs to the logger and goes with it
}

// Counts its calls and answers as told, to see the order and the short cut of the filter walk.
class TCountingFilter : public TKvLoggerMessageFilter {
public:
  TCountingFilter(bool aAnswer, int& aCalls) : fAnswer(aAnswer), fCalls(aCalls) {}
  void reset() override {}
  bool match(const TKvLoggerMessage&) const override {
    ++fCalls;
    return fAnswer;
  }
  void saveToStream(std::ostream&) const override {}
  void loadFromStream(std::istream&) override {}
  std::unique_ptr<TKvLoggerMessageFilter> clone() const override {
    return std::make_unique<TCountingFilter>(*this);
  }
  std::string getClassName() const override { return "TCountingFilter"; }

private:
  bool fAnswer;
  int& fCalls;
};

TEST_F(KvLoggerTest, FiltersAreAskedInOrderUntilTheFirstRefuses) {
  int first = 0, second = 0, third = 0;
  fLogger.error("no filters yet");
  fLogger.addFilter(std::make_unique<TCountingFilter>(true, first));
  fLogger.addFilter(std::make_unique<TCountingFilter>(false, second));
  fLogger.addFilter(std::make_unique<TCountingFilter>(true, third));
  fLogger.error("refused");
  fLogger.debug("below the level: no filter is asked");
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(third, 0);
  EXPECT_EQ(fFirst.count(), 1u);
}

class TThrowingAppender : public TKvLogAppender {
public:
  void append(const TKvLoggerMessage&) override { throw std::runtime_error("appender failed"); }
};

TEST_F(KvLoggerTest, AnAppenderFailureReachesTheCallerAndReleasesTheDeliveryLock) {
  TThrowingAppender failing;
  fLogger.addAppender(&failing);
  EXPECT_THROW(fLogger.error("boom"), std::runtime_error);
  fLogger.deleteAppender(2);
  std::thread other([&] { fLogger.error("after"); });
  other.join();
  EXPECT_EQ(fFirst.count(), 2u);
  EXPECT_EQ(fSecond.count(), 2u); // both came before the failing appender in the list
}

// Fails the test when two deliveries overlap.
class TOverlapAppender : public TKvLogAppender {
public:
  void append(const TKvLoggerMessage&) override {
    if (fInside.exchange(true)) {
      fOverlaps++;
    }
    std::this_thread::yield();
    fCount++;
    fInside = false;
  }
  std::atomic<bool> fInside{false};
  std::atomic<int> fOverlaps{0};
  std::atomic<int> fCount{0};
};

TEST(KvLoggerConcurrencyTest, ManyThreadsLogAndAppendersNeverOverlap) {
  TKvLogger logger;
  TOverlapAppender first, second;
  logger.addAppender(&first);
  logger.addAppender(&second);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        logger.warn("concurrency", "message " + std::to_string(i));
        if (i % 100 == 0) {
          logger.setCurrentLevel(KVLL_INFO);
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(first.fCount, 4000);
  EXPECT_EQ(second.fCount, 4000);
  EXPECT_EQ(first.fOverlaps + second.fOverlaps, 0);
}

} // namespace
