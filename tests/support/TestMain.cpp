// gtest's main, except that a failure of ours that escapes a test is shown whole: where it was
// raised, its class, description and call stack, readable, instead of its what() alone. The run
// stops there; ctest runs each test in a process of its own.
#include <gtest/gtest.h>

#include <iostream>

#include "Orvane/Exception.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  GTEST_FLAG_SET(catch_exceptions, false);
  try {
    return RUN_ALL_TESTS();
  } catch (const boost::exception& e) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::cerr << (test ? std::string(test->test_suite_name()) + "." + test->name() : "A test") << " failed:\n"
              << Orvane::DiagnosticInformation(e);
  }
  return 1;
}
