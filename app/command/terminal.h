// The terminal command's half of the command line: the program's own options,
// the terminal answers, --help and --version, usage errors, and the output
// rules every terminal line follows (the locale's encoding, write errors, one
// line per failure). The command answers with these alone, without the
// toolkit; the window program reads the same options before GTK's
// (app/window/command_line.cpp).
#pragma once

#include <glib.h>

#include <string>

// Exit status of a usage error (unknown option, stray or missing argument).
constexpr int EXIT_USAGE = 2;

// The name every failure line starts with.
constexpr const char* PROGRAM_NAME = "tovamidaysafter";

// The values the option parser fills: the DATE arguments as the bytes typed
// (G_OPTION_ARG_FILENAME, so that the parser converts nothing), g_malloc'd
// and freed with the holder.
struct TerminalOptions {
    gchar* after = nullptr;
    gchar* before = nullptr;
    gchar* between = nullptr;
    gboolean version = FALSE;
    gboolean workdays = FALSE; // count Japan's workdays instead of days
    gboolean weekday = FALSE;  // the result's weekday (era, holiday) after it
    TerminalOptions() = default;
    TerminalOptions(const TerminalOptions&) = delete;
    TerminalOptions& operator=(const TerminalOptions&) = delete;
    ~TerminalOptions();
};

// A new option context with the program's own options bound to `options`,
// its summary, and its texts translated in the program's text domain. The
// caller frees it (g_option_context_free) before `options` goes.
GOptionContext* terminal_context_new(TerminalOptions& options);

// What the first reading of the command line found.
struct TerminalOutcome {
    bool answered; // true: finished, end with `status`; false: the window's turn
    int status;    // 0 done, 1 no date or a write error, 2 usage error
};

// The first reading, display-free: --after DATE COUNT, --before DATE COUNT,
// --between DATE DATE (each with --workdays; the first two with --weekday),
// --help (-h, -?) and --version alone are answered on
// stdout; every wrong command line is one line on stderr and EXIT_USAGE. What
// is left for the window (no argument, GTK's own options, --help-gtk,
// --help-all) comes back with answered = false. argv is not changed.
TerminalOutcome terminal_read(int argc, char** argv);

// One UTF-8 line to stdout in the locale's encoding (buffered; the error, if
// any, is found by terminal_check_output). A newline is added.
void terminal_print(const std::string& line);

// The one way a failure is told: one line "tovamidaysafter: MESSAGE" on
// stderr, in the locale's encoding. `format` is a translated UTF-8 text
// holding at most one "%s", which is replaced by `typed`: an argument as the
// user typed it, written back byte for byte. Null `typed` leaves the format
// as it is.
void terminal_complain(const char* format, const char* typed = nullptr);

// A usage error: terminal_complain's line with " (try --help)" after it.
void terminal_usage_error(const char* format, const char* typed = nullptr);

// An argument as text (UTF-8): decoded from the locale's encoding, under C and
// POSIX read as UTF-8 when it is valid UTF-8 (cron and systemd run under C
// while the text was typed in UTF-8). A byte that decodes to no character
// becomes U+FFFD, which every reading stops at.
std::string terminal_argument(const char* argument);

// Flushes stdout. When anything written to it was lost (a full disk, a
// closed pipe), says "tovamidaysafter: write error: REASON" on stderr and
// returns 1; otherwise returns `status`.
int terminal_check_output(int status);

// Makes every exit check stdout the same way, also one that bypasses the
// caller's return (the option parser's exit after printing help): an atexit
// hook that ends with status 1 when output was lost, and GLib's g_print
// routed through terminal_print's error record. Call once.
void terminal_check_output_at_exit();

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed, so
// that no file the program opens later (the display's socket) takes one of
// their numbers and receives what is written to stdout or stderr. Call first
// thing in main. Nothing happens for descriptors that are open.
void terminal_open_standard_streams();
