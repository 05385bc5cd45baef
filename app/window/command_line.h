// The window program's command line: the terminal answers first (shared with
// the entry program, terminal.h), then GLib's option parser with the
// program's options and GTK's, the program's name and class, and the display.
#pragma once

#include "app/command/terminal.h"

// What the program does after its command line was read.
struct CommandLineOutcome {
    bool finished; // true: end now with `status`; false: open the window
    int status;    // 0 done, 1 no date / no display, 2 usage error
};

// Reads the command line. Terminal calculations are answered as the entry
// program answers them; --help, --help-gtk, --help-all and --version print
// and finish with 0; a usage error prints one line on stderr and finishes
// with EXIT_USAGE. Otherwise the program's name and window class become the
// application id, GTK's own options are taken out of argc/argv and the
// display is opened; when none can be opened, one line on stderr and status
// 1. Once open, losing the display ends the program with one line naming it
// and status 1. Call once, first thing in main, while the process has one
// thread; the locale and the string workspace must be set up.
CommandLineOutcome command_line_read(int* argc, char*** argv);
