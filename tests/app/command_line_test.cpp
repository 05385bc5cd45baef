// The program's command line from a terminal without a display: each line of
// the table runs the built program with DISPLAY and WAYLAND_DISPLAY removed
// and compares its stdout and exit status; every failure says why in exactly
// one line on stderr. The calculation rule itself is one table, run through
// the window and the command line alike (calculator_gui_test.cpp); here are
// the options, the forms only a command line has, and the errors.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tda_test;

namespace {

const std::string NO_DISPLAY =
    "cannot open a display; set DISPLAY or WAYLAND_DISPLAY, or use --after/--before for a terminal result\n";

struct Case {
    std::vector<std::string> args;
    std::string out; // exact stdout; "Usage:*" only asks for that beginning
    int status;
};

std::string shown(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) line += " [" + (a.size() > 40 ? a.substr(0, 40) + "...(" + std::to_string(a.size()) + ")" : a) + "]";
    return line;
}

TEST(CommandLine, TerminalAnswersHelpVersionAndErrorsWithoutADisplay) {
    const std::string many_digits(100000, '9');
    const Case cases[] = {
        {{"--version"}, "TovamiDaysAfter 1.0.0\n", 0},
        {{"--help"}, "Usage:*", 0},
        {{"--after", "2024/01/10", "1", "--help"}, "Usage:*", 0},
        {{"--after=2024-01-10", "-7"}, "2024/01/03\n", 0},
        {{"--before", "2024/01/10", "\t7"}, "2024/01/03\n", 0},
        {{"--before", "2024/01/10", "--", "-7"}, "2024/01/17\n", 0},
        {{"--after", "2024/01", "1"}, "0000/00/00\n", 1},
        {{"--after", "", "1"}, "0000/00/00\n", 1},
        {{"--after", "\xff\xfe/\xc0/1", "1"}, "", 2},                 // not text: the option parser refuses it
        {{"--after", "4294969320/1/1", "1"}, "0000/00/00\n", 1},     // a year beyond 32 bits is no year
        {{"--after", "2000/1/1", many_digits}, "1999/12/31\n", 0}, // 10^100000 - 1 wraps to -1
        {{"--between", "2024-01-01", "2025-01-01"}, "366\n", 0},
        {{"--between", "2025-01-01", "2024-01-01"}, "-366\n", 0},
        {{"--between", "1970/01/01", "2038/01/19"}, "24855\n", 0},
        {{"--between", "2024/01/01", "2024/02/30"}, "", 1},
        {{"--after", "2024/01/10"}, "", 2},                         // count missing
        {{"--after", "2024/01/10", "1", "2"}, "", 2},
        {{"--between", "2024/01/01"}, "", 2},
        {{"--after", "2024/01/10", "1", "--between", "2024/01/01"}, "", 2},
        {{"--after", "2024/01/10", "--frobnicate"}, "", 2},
        {{"--after"}, "", 2},
        {{"--frobnicate"}, "", 2},
        {{"notes.txt"}, "", 2},
        {{}, "", 1},                                                 // the window, but no display
    };
    const std::string program = calculator_program();
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.args));
        std::vector<std::string> args{program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun run = run_program(args, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(run.status, c.status) << "stderr: " << run.err;
        if (c.out.ends_with('*')) {
            EXPECT_TRUE(run.out.starts_with(c.out.substr(0, c.out.size() - 1))) << run.out;
        } else {
            EXPECT_EQ(run.out, c.out);
        }
        if (c.args.empty()) {
            EXPECT_EQ(run.err, NO_DISPLAY);
        } else if (c.status == 0) {
            EXPECT_EQ(run.err, "");
        } else if (c.out.empty()) {
            EXPECT_TRUE(!run.err.empty() && run.err.find('\n') == run.err.size() - 1) << "not one line: " << run.err;
        }
    }
}

} // namespace
