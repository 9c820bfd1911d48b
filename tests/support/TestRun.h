#pragma once

namespace testsupport {

// RUN_ALL_TESTS(), with one change: when a fixture's SetUpTestSuite fails, googletest skips
// the tests of that suite, and ctest would report a skip; here each of those tests fails
// instead, naming the failed set-up. Tests that skip themselves (GTEST_SKIP) still skip.
int runAllTests();

} // namespace testsupport
