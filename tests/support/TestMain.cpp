// The main of the test programs.
#include "tests/support/TestRun.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return testsupport::runAllTests();
}
