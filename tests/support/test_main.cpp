// The tests' main: runs every test, then, under CI, fails the run when any
// test was skipped, so that a missing tool or display cannot pass unseen.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    if (!tda_test::running_under_ci()) return status;
    const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    int skipped = 0;
    for (int s = 0; s < unit->total_test_suite_count(); ++s) {
        const ::testing::TestSuite* suite = unit->GetTestSuite(s);
        for (int t = 0; t < suite->total_test_count(); ++t) {
            const ::testing::TestInfo* info = suite->GetTestInfo(t);
            if (info->should_run() && info->result()->Skipped()) {
                std::fprintf(stderr, "FAIL: %s.%s was skipped, and CI=true allows no skips\n", suite->name(),
                             info->name());
                ++skipped;
            }
        }
    }
    return skipped > 0 ? 1 : status;
}
