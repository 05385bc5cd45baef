// The application id as program name, window class and default window icon.
#include "app/identity.h"

#include <gtk/gtk.h>

void app_identity_name() {
    g_set_prgname(APP_ID);
}

void app_identity_class() {
    gdk_set_program_class(APP_ID);
    gtk_window_set_default_icon_name(APP_ID);
}
