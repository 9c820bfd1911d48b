#include "tests/support/TestRun.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

class TFailedSetUpListener : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& aTest) override {
    const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    if (suite != nullptr && suite->ad_hoc_test_result().Failed()) {
      ADD_FAILURE() << "the set-up of " << aTest.test_suite_name()
                    << " failed (see SetUpTestSuite above)";
    }
  }
};

} // namespace

int runAllTests() {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TFailedSetUpListener);
  return RUN_ALL_TESTS();
}

} // namespace testsupport
