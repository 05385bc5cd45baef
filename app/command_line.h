// The program's command line: GLib's option parser with the program's own
// options and GTK's, the terminal calculations, and the display check.
#pragma once

// What the program does after its command line was read.
struct CommandLineOutcome {
    bool finished; // true: end now with `status`; false: open the window
    int status;    // 0 done, 1 no date / no display, 2 usage error
};

// Exit status of a usage error (unknown option, stray or missing argument).
constexpr int EXIT_USAGE = 2;

// Reads the command line. --after DATE COUNT, --before DATE COUNT and
// --between DATE DATE are answered on stdout without touching GTK; --help and
// --version print and finish with 0; a usage error prints one line on stderr
// and finishes with EXIT_USAGE. Otherwise GTK's own options are taken out of
// argc/argv and the display is opened; when none can be opened, one line on
// stderr and status 1. Call once, first thing in main; the locale and the
// string workspace must be set up (locale_init, workspace_init).
CommandLineOutcome command_line_read(int* argc, char*** argv);

// Answers one terminal calculation and prints it: the result date (or
// 0000/00/00) for "after"/"before", the signed day count for "between".
// `first` is the DATE, `second` the COUNT or the second DATE, both UTF-8.
// Returns the exit status: 0 for a real answer, 1 when there is none.
int terminal_calculation(const char* operation, const char* first, const char* second);
