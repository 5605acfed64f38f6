#pragma once
#include <string>

namespace veltrum::test {

// The project's own vectors (tests/data).
std::string TestDataDir();

// ../shared/testdata beside the project, or $VELTRUM_SHARED_TESTDATA; empty
// when neither exists (a user's clone), in which case tests that need it skip.
std::string SharedTestDataDir();

} // namespace veltrum::test

// Skips the current test with a clear message when the shared material is absent.
#define VELTRUM_REQUIRE_SHARED_TESTDATA(dir)                                                                 \
    const std::string dir = ::veltrum::test::SharedTestDataDir();                                            \
    if (dir.empty())                                                                                         \
    GTEST_SKIP() << "../shared/testdata is not beside this clone (set VELTRUM_SHARED_TESTDATA to use it)"
