// Start-up, main loop and shut-down of the calculator.
#include "app/calculation/i18n.h"
#include "app/command/terminal.h"
#include "app/window/app.h"
#include "app/window/calculator.h"
#include "app/window/command_line.h"
#include "app/window/identity.h"

#include "runtime/core/linked_list.h"
#include "runtime/core/runtime_start.h"
#include "runtime/core/string_map.h"
#include "runtime/core/thread_slots.h"
#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"
#include "runtime/event/event_queue.h"
#include "runtime/event/event_wait.h"
#include "runtime/font/font.h"
#include "runtime/gadget/gadget.h"
#include "runtime/gadget/gadget_kinds.h"
#include "runtime/image/image.h"
#include "runtime/window/window.h"

#include <cerrno>
#include <cstdio>
#include <string>

#ifndef TDA_LOGO_DIR
#define TDA_LOGO_DIR "assets"
#endif

ObjectId logo_image;
ObjectId banner_image;

WideChar* logo_path(const char* file_name) {
    std::string path = TDA_LOGO_DIR;
    path += '/';
    path += file_name;
    return string_from_utf8_alloc(path.c_str());
}

// A logo that cannot be read leaves its place empty, and the window opens
// all the same; one line on stderr says which file and why, so that a broken
// installation does not pass for a deliberate design.
ObjectId load_logo(const char* file_name) {
    WideChar* path = logo_path(file_name);
    ObjectId id = path ? image_load(AUTO_NUMBER, path) : 0;
    string_free(path);
    if (id == 0) {
        const std::string name = std::string(TDA_LOGO_DIR) + '/' + file_name;
        std::FILE* file = std::fopen(name.c_str(), "rb");
        const std::string reason =
            file != nullptr ? _("not a PNG or BMP image this program can decode") : g_strerror(errno);
        if (file != nullptr) std::fclose(file);
        // TRANSLATORS: the first %s is the logo file's path, the second the reason.
        g_autofree gchar* line = g_strdup_printf(_("cannot read logo %s: %s"), name.c_str(), reason.c_str());
        terminal_complain(line);
    }
    return id;
}

std::int64_t on_main_window_size() {
    std::int64_t w = window_width(main_window);
    gadget_resize(after_result_field, 260, 160, static_cast<std::int32_t>(w - 630), 35);
    return 0;
}

std::int64_t dispatch_event(std::int64_t type) {
    if (type == EVENT_SIZE) {
        on_main_window_size();
        return 1;
    }
    if (type == EVENT_CLOSE) return DISPATCH_STOP;
    if (type == EVENT_GADGET) {
        ObjectId gadget = event_gadget();
        std::int64_t subtype = event_subtype();
        if (gadget == before_button)
            compute_date_before(subtype);
        else if (gadget == after_button)
            compute_date_after(subtype);
        // Enter in a count field presses that row's push button.
        else if (gadget == after_count_field && subtype == SUBTYPE_ENTER_KEY)
            compute_date_after(subtype);
        else if (gadget == before_count_field && subtype == SUBTYPE_ENTER_KEY)
            compute_date_before(subtype);
        else if (gadget == logo_gadget)
            show_about(subtype);
        else if (gadget == date_input_button)
            fill_date_from_calendar(subtype);
    }
    return 1;
}

bool app_start(int* argc, char*** argv) {
    app_identity_name();
    runtime_start(argc, argv);
    app_identity_class();
    logo_image = load_logo("TovamiLogoNeon100x49.png");
    banner_image = load_logo("TovamiHidukeGULogoColor.png");
    font_load(0, u"Sans", 10);
    font_load(1, u"Sans", 9);
    font_load(2, u"Sans", 8);
    font_load(3, JAPANESE_GOTHIC_FONT, 9);
    if (open_main_window(40, 40, 790, 400) != 0) return false;
    fill_date_from_calendar();
    return true;
}

void app_stop() {
    runtime_end();
    workspace_end();
}

int app_run(int* argc, char*** argv) {
    locale_init();
    i18n_init();
    workspace_init();
    const CommandLineOutcome outcome = command_line_read(argc, argv);
    if (outcome.finished) {
        thread_slots_end();
        workspace_end();
        return outcome.status;
    }
    if (!app_start(argc, argv)) {
        app_stop();
        return 1;
    }
    for (;;) {
        std::int64_t type = event_wait();
        if (dispatch_event(type) == DISPATCH_STOP) break;
    }
    app_stop();
    return 0;
}
