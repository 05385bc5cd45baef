// The runtime's start-up and shut-down in their fixed order; the toolkit's
// part of the duties (gui_start) is in gui_start_gtk.cpp, the display-free
// ones in runtime_start.cpp.
#include "runtime/core/runtime_start.h"

#include "runtime/core/linked_list.h"
#include "runtime/core/string_map.h"
#include "runtime/core/thread_slots.h"
#include "runtime/core/wide_string.h"
#include "runtime/event/event_queue.h"
#include "runtime/font/font.h"
#include "runtime/gadget/gadget.h"
#include "runtime/image/image.h"
#include "runtime/window/window.h"

void runtime_start(int* argc, char*** argv) {
    runtime_args_set(argc, argv);
    locale_init();
    workspace_init();
    image_decoders_init();
    gui_start();
    font_init();
    map_hooks_init();
    event_queue_init();
    image_drawing_init();
    bmp_decoder_register();
    list_hooks_init();
    image_init();
    window_init();
    gadget_init();
    png_decoder_register();
}

void runtime_end() {
    window_end();
    image_end();
    event_queue_end();
    font_end();
    gui_stop();
    thread_slots_end();
}
