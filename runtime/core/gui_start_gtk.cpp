// GTK start-up and shut-down, and the GDK lock.
//
// The GDK lock is a GLib static recursive mutex installed as GDK's lock
// functions; the main thread enters it in gui_start and holds it until
// gui_stop, and widget changes from program code nest inside it.
#include "runtime/core/runtime_start.h"

// The GDK threads API and GLib's static mutexes are deprecated but are what
// this runtime's locking is built on; silence their warnings in this file.
#define GLIB_DISABLE_DEPRECATION_WARNINGS
#include <gtk/gtk.h>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

GStaticRecMutex g_gdk_lock = G_STATIC_REC_MUTEX_INIT; // the GDK lock
bool g_gui_started = false;                           // set once by gui_start
bool g_gui_holds_lock = false;                        // main thread holds the lock entered by gui_start

} // namespace

void gdk_lock_enter() {
    g_static_rec_mutex_lock(&g_gdk_lock);
}

void gdk_lock_leave() {
    g_static_rec_mutex_unlock(&g_gdk_lock);
}

void gui_start() {
    if (g_gui_started) return;
    gdk_threads_set_lock_functions(G_CALLBACK(gdk_lock_enter), G_CALLBACK(gdk_lock_leave));
    gdk_threads_init();
    // Nothing here draws with OpenGL. Unless the user chose a GL mode, tell
    // GDK before it opens the display, so that it skips the probe that loads
    // the GL driver to pick GL-capable visuals (about 54 MiB and 35 ms when
    // the display has no cached visuals); the window looks the same. GDK
    // takes the choice from the environment when it parses its arguments,
    // which gdk_parse_args does here; the variable is then taken away again,
    // so that child processes see the user's environment unchanged. The
    // environment is changed only while the process has one thread (another
    // one could be reading it), and not at all when the display is already
    // open (the program's command line opened it, having made the same
    // choice itself): GDK would not read it any more.
    if (g_getenv("GDK_GL") == nullptr && gdk_display_get_default() == nullptr && process_single_threaded()) {
        g_setenv("GDK_GL", "disable", FALSE);
        gdk_parse_args(runtime_args_count(), runtime_args_vector());
        g_unsetenv("GDK_GL");
    }
    gtk_init(runtime_args_count(), runtime_args_vector());
    g_gui_started = true;
    gdk_threads_enter();
    g_gui_holds_lock = true;
}

// Leaves only the entry made by gui_start, so a second call cannot unlock a
// mutex this thread no longer holds.
void gui_stop() {
    if (!g_gui_started || !g_gui_holds_lock) return;
    g_gui_holds_lock = false;
    gdk_threads_leave();
}

bool gui_started() {
    return g_gui_started;
}
