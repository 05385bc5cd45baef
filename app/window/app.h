// The date calculator: start-up, main loop and shut-down.
#pragma once

#include <cstdint>

// Result of dispatch_event that ends the main loop.
constexpr int DISPATCH_STOP = 0;

// Start-up steps up to the main loop: the runtime, the logos and fonts, the
// window filled with today's date. False when a gadget or the window could
// not be created (one line on stderr names it); the caller ends with 1.
bool app_start(int* argc, char*** argv);

// Shut-down after the main loop: the runtime, then the workspace key.
void app_stop();

// The program: the command line (terminal answers, --help, --version, usage
// errors, the display check), else start-up, main loop until the window
// closes, shut-down. Returns the exit status: 0 after the window closed or a
// real answer, 1 for no date, no display or a failed start-up, 2 for a usage
// error.
int app_run(int* argc, char*** argv);
