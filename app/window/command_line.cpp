// The window program's reading of the command line: GTK's options, the
// program's name and class before the display connection, the display check,
// and the one line that a lost display leaves.
#include "app/window/command_line.h"

#include "app/calculation/i18n.h"
#include "app/window/identity.h"

#include "runtime/core/runtime_start.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The name of the open display, kept when it opened for the line that its
// loss leaves: by then GDK can no longer be asked.
char g_display_name[256] = "";

[[noreturn]] void display_lost() {
    // TRANSLATORS: %s is the display's name, such as ":0" or "wayland-0".
    terminal_complain(_("lost the connection to the display %s"), g_display_name);
    _exit(1);
}

#ifdef GDK_WINDOWING_X11
// Xlib calls this when the connection breaks; it must not return.
int x_connection_lost(Display*) {
    display_lost();
}
#endif

// GDK's Wayland backend reports a broken connection to the compositor in a
// message of its own, then ends the process; the line is ours instead. Every
// other log line goes out as GLib writes it.
GLogWriterOutput log_writer(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
    std::string_view domain, text;
    for (gsize i = 0; i < count; ++i) {
        const std::string_view key = fields[i].key;
        if (fields[i].length != -1 || fields[i].value == nullptr) continue;
        if (key == "GLIB_DOMAIN") domain = static_cast<const char*>(fields[i].value);
        if (key == "MESSAGE") text = static_cast<const char*>(fields[i].value);
    }
    const bool broken = domain == "Gdk" && (text.starts_with("Lost connection to Wayland compositor") ||
                                            text.find("dispatching to Wayland display") != std::string_view::npos ||
                                            text.starts_with("Error reading events from display") ||
                                            text.starts_with("Error flushing display"));
    if (broken) display_lost();
    return g_log_writer_default(level, fields, count, data);
}

void watch_display(GdkDisplay* display) {
    g_strlcpy(g_display_name, gdk_display_get_name(display), sizeof g_display_name);
#ifdef GDK_WINDOWING_X11
    if (GDK_IS_X11_DISPLAY(display)) XSetIOErrorHandler(x_connection_lost);
#endif
    g_log_set_writer_func(log_writer, nullptr, nullptr);
}

} // namespace

CommandLineOutcome command_line_read(int* argc, char*** argv) {
    if (*argc < 1 || *argv == nullptr || (*argv)[0] == nullptr) return {false, 0};
    terminal_check_output_at_exit();
    const TerminalOutcome terminal = terminal_read(*argc, *argv);
    if (terminal.answered) return {true, terminal_check_output(terminal.status)};

    bool class_given = false, name_given = false;
    for (int i = 1; i < *argc; ++i) {
        class_given = class_given || std::strncmp((*argv)[i], "--class", 7) == 0;
        name_given = name_given || std::strncmp((*argv)[i], "--name", 6) == 0;
    }

    // The full reading with GTK's options, strict; it prints GTK's help
    // (--help-gtk, --help-all) and exits. A reader gone from that help is a
    // write error like any other (one line, status 1), not a death by
    // SIGPIPE, so the signal is ignored while the parser may print. GDK reads
    // GDK_GL while GTK's options are read; nothing here draws with OpenGL, so
    // unless the user chose a mode, GDK is told to skip its probe of GL
    // visuals. The variable is changed only while the process has one thread
    // (nothing has started one yet: no toolkit, no D-Bus), and put back right
    // after, so that child processes see the user's environment.
    TerminalOptions options;
    g_autoptr(GOptionContext) context = terminal_context_new(options);
    g_option_context_add_group(context, gtk_get_option_group(FALSE));
    const bool gl_set = g_getenv("GDK_GL") == nullptr && process_single_threaded();
    if (gl_set) g_setenv("GDK_GL", "disable", FALSE);
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    g_autoptr(GError) error = nullptr;
    const bool parsed = g_option_context_parse(context, argc, argv, &error);
    sigaction(SIGPIPE, &previous, nullptr);
    if (gl_set) g_unsetenv("GDK_GL");
    if (!parsed) {
        terminal_usage_error(error != nullptr ? error->message : _("cannot read the command line"));
        return {true, EXIT_USAGE};
    }
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp((*argv)[i], "--") == 0) continue;
        terminal_usage_error(_("unexpected argument %s"), (*argv)[i]);
        return {true, EXIT_USAGE};
    }
    // Name and class before the display: GDK names the connection's client
    // leader window from them when the display opens. A --name or --class of
    // the user's stays.
    app_identity_keep_given(name_given, class_given);
    app_identity_name();
    if (!class_given) gdk_set_program_class(APP_ID);
    const char* wanted = gdk_get_display_arg_name();
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) display = gdk_display_open(wanted);
    if (display == nullptr) {
        if (wanted == nullptr) wanted = g_getenv("WAYLAND_DISPLAY");
        if (wanted == nullptr) wanted = g_getenv("DISPLAY");
        if (wanted != nullptr && *wanted != 0)
            // TRANSLATORS: %s is the display's name, such as ":0".
            terminal_complain(_("cannot open the display %s; use --after, --before or --between for a terminal "
                                "result"),
                              wanted);
        else
            terminal_complain(_("cannot open a display; set DISPLAY or WAYLAND_DISPLAY, or use --after, --before "
                                "or --between for a terminal result"));
        return {true, 1};
    }
    watch_display(display);
    return {false, 0};
}
