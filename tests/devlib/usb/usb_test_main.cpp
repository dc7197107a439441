// Test main of the emulated-unit programs: they need the umockdev preload,
// and without it report themselves skipped (exit code 77).
#include <gtest/gtest.h>

#include <cstdio>

#include "emulated_bus.h"

#if defined(__SANITIZE_THREAD__)
// umockdev and GLib are not instrumented, and they hand data between the
// testbed's worker thread and the test through GLib's own futex locks and a
// socket, which ThreadSanitizer cannot see. Reports whose stacks pass through
// them concern the emulation's plumbing, not the code under test.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libumockdev.so.0\n"
         "race:libumockdev-preload.so.0\n"
         "race:libglib-2.0.so.0\n"
         "race:libgobject-2.0.so.0\n"
         "race:libgio-2.0.so.0\n";
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests) && !brisko::test::InMockEnvironment()) {
    std::fprintf(stderr, "not running under libumockdev-preload.so.0: skipped\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
