// The program's command line from a terminal without a display: each line of
// the table runs the built program with DISPLAY and WAYLAND_DISPLAY removed
// and compares its stdout and exit status; every failure says why in exactly
// one line on stderr. The calculation rule itself is one table, run through
// the window and the command line alike (calculator_gui_test.cpp); here are
// the options, the forms only a command line has, and the errors.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <glib.h>

#include "app/version.h"

#include <cerrno>
#include <clocale>

#include <string>
#include <vector>

using namespace tda_test;

namespace {

const std::string NO_DISPLAY = "tovamidaysafter: cannot open a display; set DISPLAY or WAYLAND_DISPLAY, or use "
                               "--after, --before or --between for a terminal result\n";

struct Case {
    std::vector<std::string> args;
    std::string out; // exact stdout; "Usage:*" only asks for that beginning
    int status;
    const char* lc_all = nullptr; // the locale to run under, when not the test's
};

std::string shown(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args)
        line += " [" + (a.size() > 40 ? a.substr(0, 40) + "...(" + std::to_string(a.size()) + ")" : a) + "]";
    return line;
}

// Every case runs a copy of the command in a world-writable folder beside a
// planted "tovamidaysafter-window": the copy must answer each command line
// itself (or, for the window's turn, refuse to run the planted program).
TEST(CommandLine, TerminalAnswersHelpVersionAndErrorsWithoutADisplay) {
    const std::string many_digits(100000, '9');
    const std::string euc_date = "\xA3\xB2\xA3\xB0\xA3\xB2\xA3\xB4\xA1\xDD\xA3\xB0\xA3\xB1\xA1\xDD\xA3\xB0\xA3\xB2";
    const Case cases[] = {
        {{"--version"}, TDA_VERSION_LINE "\n", 0},
        {{"--help"}, "Usage:*", 0},
        {{"--after=2024-01-10", "-7"}, "2024/01/03\n", 0},
        {{"--before", "2024/01/10", "\t7"}, "2024/01/03\n", 0},
        {{"--before", "2024/01/10", "--", "-7"}, "2024/01/17\n", 0},
        {{"--after", "2024/01", "1"}, "0000/00/00\n", 1},
        {{"--after", "\xff\xfe/\xc0/1", "1"}, "0000/00/00\n", 1},  // not text: no date
        {{"--after", "2000/1/1", many_digits}, "1999/12/31\n", 0}, // 10^100000 - 1 wraps to -1
        {{"--between", "2024－01－01", "2024-01-02"}, "1\n", 0},
        {{"--between", "2025-01-01", "2024-01-01"}, "-366\n", 0},
        {{"--between", "1970/01/01", "2038/01/19"}, "24855\n", 0},
        {{"--between", "2024/01/01", "2024/02/30"}, "", 1},
        {{"--after", "2024/01/01", "1\xff"}, "2024/01/02\n", 0, "C.UTF-8"}, // an invalid byte stops the count
        {{"--after", euc_date, "1"}, "2024/01/03\n", 0, "ja_JP.EUC-JP"},    // the IME's date, with U+2212
        {{"--after", "２０２４/０１/０１", "1"}, "2024/01/02\n", 0, "C"},   // UTF-8 under C
        {{"--between", "é", "2024/01/01"}, "", 1, "C"},                     // the same text in either place
        {{"--between", "2024/01/01", "é"}, "", 1, "C"},
        {{"--after", "2026/12/08", "90", "--weekday"}, "2027/03/08 Monday\n", 0, "C"},
        {{"--after", "2026/12/08", "90", "--weekday"}, "2027/03/08 令和9年3月8日（月）\n", 0, "ja_JP.UTF-8"},
        {{"--before", "2024/05/07", "4", "--workdays"}, "2024/04/26\n", 0}, // over Golden Week
        {{"--between", "2024/04/26", "2024/05/07", "--workdays"}, "4\n", 0},
        {{"--after", "2024/01/01", "$7FFFFFFFFFFFFFFF", "--workdays"}, "0000/00/00\n", 1},
        {{"--between", "2024/01/01", "2024/01/02", "--weekday"}, "", 2},
        {{"--workdays"}, "", 2},
        {{"--after", "2024/01/10"}, "", 2}, // count missing
        {{"--after", "2024/01/10", "1", "2"}, "", 2},
        {{"--between", "2024/01/01"}, "", 2},
        {{"--after", "2024/01/10", "1", "--between", "2024/01/01"}, "", 2},
        {{"--after", "2024/01/10", "--frobnicate"}, "", 2},
        {{"--after"}, "", 2},
        {{"--after", "2024/01/01", "1", "--before"}, "", 2},
        {{"--after", "2024/01/10", "1", "--help"}, "", 2},
        {{"--version", "foo"}, "", 2},
        {{"--display", ":0", "--after", "2024/01/01", "1"}, "", 2},
        {{"--frobnicate"}, "", 2},
        {{"notes.txt"}, "", 2},
        {{}, "", 1}, // the window's turn: the planted program is not run
    };
    g_autofree gchar* folder = g_dir_make_tmp("tda-planted-XXXXXX", nullptr);
    ASSERT_NE(folder, nullptr);
    const std::string copy = std::string(folder) + "/tovamidaysafter", planted = copy + "-window";
    ASSERT_EQ(run_program({"/bin/sh", "-c",
                           "cp \"$0\" \"$1\" && printf '#!/bin/sh\\necho planted\\n' >\"$2\" && "
                           "chmod 755 \"$2\" && chmod 1777 \"$3\"",
                           calculator_program(), copy, planted, folder})
                  .status,
              0);
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.args) + (c.lc_all ? std::string(" under ") + c.lc_all : ""));
        std::vector<std::string> args{"/usr/bin/env", std::string("LC_ALL=") + (c.lc_all ? c.lc_all : ""), copy};
        if (c.lc_all == nullptr) args.erase(args.begin(), args.begin() + 2);
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun run = run_program(args, {"DISPLAY", "WAYLAND_DISPLAY"});
        EXPECT_EQ(run.status, c.status) << "stderr: " << run.err;
        if (c.out.ends_with('*')) {
            EXPECT_TRUE(run.out.starts_with(c.out.substr(0, c.out.size() - 1))) << run.out;
        } else {
            EXPECT_EQ(run.out, c.out);
        }
        if (c.status == 0) {
            EXPECT_EQ(run.err, "");
        } else if (c.out.empty()) {
            EXPECT_TRUE(run.err.starts_with("tovamidaysafter: ") && run.err.find('\n') == run.err.size() - 1)
                << "not one line: " << run.err;
        }
    }
    EXPECT_EQ(run_program({calculator_program()}, {"DISPLAY", "WAYLAND_DISPLAY"}).err, NO_DISPLAY);
    const ProgramRun unreachable =
        run_program({"/usr/bin/env", "DISPLAY=:7777", calculator_program()}, {"WAYLAND_DISPLAY"});
    EXPECT_EQ(unreachable.err, "tovamidaysafter: cannot open the display :7777; use --after, --before or --between "
                               "for a terminal result\n");
    run_program({"/bin/rm", "-rf", folder});
}

// Lines that cannot be written are reported, and every line comes out in
// the locale's encoding, arguments as they were typed.
TEST(CommandLine, WriteErrorsAndTheLocalesEncoding) {
    const std::string program = calculator_program();
    const std::string failed = "tovamidaysafter: write error: "; // status 1 and this line
    // A pipe whose reader has gone before the program starts; SIGPIPE at its default.
    const char* closed_pipe =
        "import os, signal, sys; signal.signal(signal.SIGPIPE, signal.SIG_DFL); r, w = os.pipe(); "
        "os.close(r); os.dup2(w, 1); os.execv(sys.argv[1], sys.argv[1:])";
    for (const char* args : {"--version", "--help", "--help-gtk", "--help-all", "--after 2024/01/01 1"}) {
        SCOPED_TRACE(args);
        const std::string line = "exec \"$0\" " + std::string(args);
        const ProgramRun full = run_program({"/bin/sh", "-c", line + " >/dev/full", program});
        const ProgramRun gone = run_program({"/usr/bin/python3", "-c", closed_pipe, "/bin/sh", "-c", line, program});
        EXPECT_EQ(std::to_string(full.status) + full.err, "1" + failed + g_strerror(ENOSPC) + "\n");
        EXPECT_EQ(std::to_string(gone.status) + gone.err, "1" + failed + g_strerror(EPIPE) + "\n");
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
