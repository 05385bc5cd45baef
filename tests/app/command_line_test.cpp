// The program's command line from a terminal without a display: each line of
// the table runs the built program with DISPLAY and WAYLAND_DISPLAY removed
// and compares its stdout and exit status; every failure says why in exactly
// one line on stderr. The calculation rule itself is one table, run through
// the window and the command line alike (calculator_gui_test.cpp); here are
// the options, the forms only a command line has, and the errors.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <clocale>

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
        {{"--after", "2024／02／28", "1"}, "2024/02/29\n", 0},        // full-width separators
        {{"--between", "2024－01－01", "2024-01-02"}, "1\n", 0},
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

// Lines that cannot be written are reported, and every line comes out in
// the locale's encoding, arguments as they were typed.
TEST(CommandLine, WriteErrorsAndTheLocalesEncoding) {
    const std::string program = calculator_program();
    for (const char* args : {"--version", "--help", "--after 2024/01/01 1"}) {
        SCOPED_TRACE(args);
        const ProgramRun full = run_program({"/bin/sh", "-c", "exec \"$0\" " + std::string(args) + " >/dev/full", program});
        EXPECT_EQ(full.status, 1);
        EXPECT_TRUE(full.err.starts_with("tovamidaysafter: write error: ") && full.err.ends_with("\n")) << full.err;
    }
    locale_t euc = newlocale(LC_ALL_MASK, "ja_JP.EUC-JP", nullptr);
    ASSERT_NE(euc, nullptr) << "the locale ja_JP.EUC-JP is missing (scripts/setup.sh generates it)";
    freelocale(euc);
    const std::string typed = "\xC6\xFC\xC9\xD5"; // "日付" in EUC-JP
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--between", "2024/01/01", typed}, {"--" + typed}, {"--after"}}) {
        std::vector<std::string> line{"/usr/bin/env", "LC_ALL=ja_JP.EUC-JP", program};
        line.insert(line.end(), args.begin(), args.end());
        const ProgramRun run = run_program(line, {"DISPLAY", "WAYLAND_DISPLAY"});
        gchar* utf8 = g_convert(run.err.data(), static_cast<gssize>(run.err.size()), "UTF-8", "EUC-JP", nullptr,
                                nullptr, nullptr);
        EXPECT_NE(utf8, nullptr) << "not EUC-JP: " << run.err;
        if (utf8 != nullptr && args.back() != "--after") {
            EXPECT_NE(std::string(utf8).find("日付"), std::string::npos);
        }
        g_free(utf8);
    }
}

} // namespace
