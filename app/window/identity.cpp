// The application id as program name, window class and default window icon.
#include "app/window/identity.h"

#include <gtk/gtk.h>

namespace {
bool g_name_given = false;  // the user named the program (--name)
bool g_class_given = false; // the user chose the window class (--class)
} // namespace

void app_identity_name() {
    if (!g_name_given) g_set_prgname(APP_ID);
}

void app_identity_keep_given(bool name, bool klass) {
    g_name_given = name;
    g_class_given = klass;
}

void app_identity_class() {
    if (!g_class_given) gdk_set_program_class(APP_ID);
    gtk_window_set_default_icon_name(APP_ID);
}
