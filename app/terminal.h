// The display-free half of the command line: the program's own options, the
// terminal calculations, --help and --version, usage errors, and the output
// rules every terminal line follows (the locale's encoding, write errors).
// The entry program answers with these alone, without the toolkit; the
// window program reads the same options before GTK's (command_line.cpp).
#pragma once

#include <glib.h>

#include <string>

// Exit status of a usage error (unknown option, stray or missing argument).
constexpr int EXIT_USAGE = 2;

// The name every terminal line starts with.
constexpr const char* PROGRAM_NAME = "tovamidaysafter";

// The values the option parser fills; strings are UTF-8, g_malloc'd and
// freed with the holder.
struct TerminalOptions {
    gchar* after = nullptr;
    gchar* before = nullptr;
    gchar* between = nullptr;
    gboolean version = FALSE;
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
    int status;    // 0 done, 1 no date, 2 usage error
};

// First reading, display-free: --after DATE COUNT, --before DATE COUNT and
// --between DATE DATE are answered on stdout; a usage error among them is one
// line on stderr and EXIT_USAGE. With `plain_help_and_version`, arguments
// that are only -h, -?, --help and --version are answered too (help first).
// Everything else (no option, GTK's options, --help-gtk, stray arguments) is
// left to the window's reading: answered = false. argv is not changed.
TerminalOutcome terminal_read(int argc, char** argv, bool plain_help_and_version);

// Answers one terminal calculation and prints it: the result date (or
// 0000/00/00) for "after"/"before", the signed day count for "between".
// `first` is the DATE, `second` the COUNT or the second DATE, both UTF-8.
// Returns the exit status: 0 for a real answer, 1 when there is none.
int terminal_calculation(const char* operation, const char* first, const char* second);

// One UTF-8 line to stdout in the locale's encoding (buffered; the error, if
// any, is found by terminal_check_output). A newline is added.
void terminal_print(const std::string& line);

// One line "tovamidaysafter: MESSAGE" on stderr in the locale's encoding.
void terminal_complain(const std::string& message);

// A usage error: "tovamidaysafter: MESSAGE (try --help)" on stderr.
void terminal_usage_error(const std::string& message);

// An argument as the user typed it, as UTF-8 for the lines above: converted
// from the locale's encoding; kept as it is when that fails, so that its
// bytes come out unchanged.
std::string terminal_argument(const char* argument);

// A message from the option parser with the arguments it quotes (raw bytes
// in the locale's encoding) turned into UTF-8, so that the whole line
// converts back to what the user typed.
std::string terminal_option_error(const char* message, int argc, char** argv);

// Flushes stdout. When anything written to it was lost (a full disk, a
// closed pipe), says "tovamidaysafter: write error: REASON" on stderr and
// returns 1; otherwise returns `status`.
int terminal_check_output(int status);

// Makes a process exit that bypasses the caller's return (the option
// parser's exit after printing help) check stdout the same way: an atexit
// hook that ends with status 1 when output was lost. Call once.
void terminal_check_output_at_exit();
