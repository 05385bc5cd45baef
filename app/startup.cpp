// Start-up and shut-down sequences of the runtime, and the program's frame.
#include "app/app.h"

#include "runtime/core/runtime_start.h"
#include "runtime/core/thread_slots.h"
#include "runtime/core/wide_string.h"

void runtime_start(int* argc, char*** argv) {
    runtime_args_set(argc, argv);
    locale_init();
    workspace_init();
    gui_start();
}

void runtime_end() {
    gui_stop();
    thread_slots_end();
}

int app_run(int* argc, char*** argv) {
    runtime_start(argc, argv);
    runtime_end();
    workspace_end();
    return 0;
}
