// Start-up when a creation fails: the main window's routine stops at the
// first gadget (or the window) that could not be made, names it in one line
// on stderr and reports failure, so nothing meant for a lost gadget lands on
// the before button, whose number 0 is also the failure value.
#include "app_test_support.h"
#include "runtime/core/runtime_start.h"
#include "support/allocation_failure.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace tda_test;

namespace {

TEST(StartUp, EachFailedCreationIsNamedAndStopsTheWindow) {
    ASSERT_TRUE(display_start()) << "no display could be had";
    static int argc = 1;
    static char name[] = "tovamidaysafter";
    static char* args[] = {name, nullptr};
    static char** argv = args;
    runtime_start(&argc, &argv);

    // Fail after 0, 1, 2 ... allocations, until the window is built whole.
    const std::string prefix = "tovamidaysafter: cannot create the ";
    std::set<std::string> named;
    bool built = false;
    for (int successes = 0; successes < 20000 && !built; ++successes) {
        SCOPED_TRACE("allocations allowed: " + std::to_string(successes));
        main_window = 0;
        ::testing::internal::CaptureStderr();
        std::int64_t result;
        {
            AllocationFailureScope fail(successes);
            result = open_main_window(40, 40, 790, 400);
        }
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (result == 0) {
            built = true;
            EXPECT_EQ(err, "");
            break;
        }
        EXPECT_EQ(result, 1);
        ASSERT_TRUE(err.starts_with(prefix) && err.find('\n') == err.size() - 1) << "not one naming line: " << err;
        named.insert(err.substr(prefix.size(), err.size() - prefix.size() - 1));
        gadget_free(before_button); // so that each round creates it afresh
    }
    EXPECT_TRUE(built) << "the window was never built whole";
    // Gadget records and events come from pooled blocks, so which creations
    // have an allocation of their own to fail varies from run to run; the
    // window's comes first, and many others are reached.
    std::string all;
    for (const std::string& n : named)
        all += "[" + n + "] ";
    EXPECT_TRUE(named.contains("main window")) << all;
    EXPECT_GE(named.size(), 5u) << all;
}

TEST(StartUp, AnUnreadableLogoIsNamedInOneLine) {
    ASSERT_TRUE(display_start()) << "no display could be had";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(load_logo("no-such-logo.png"), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(err.starts_with("tovamidaysafter: cannot read logo /") &&
                err.ends_with("/no-such-logo.png: No such file or directory\n") && err.find('\n') == err.size() - 1)
        << err;
}

} // namespace
