// Test main of the emulated-unit programs: they need the umockdev preload,
// and without it report themselves skipped (exit code 77).
#include <gtest/gtest.h>

#include <cstdio>

#include "emulated_bus.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests) && !brisko::test::InMockEnvironment()) {
    std::fprintf(stderr, "not running under libumockdev-preload.so.0: skipped\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
