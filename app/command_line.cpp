// The window program's reading of the command line: GTK's options, the
// program's name and class before the display connection, the display check,
// and the one line that a lost display leaves.
#include "app/command_line.h"

#include "app/i18n.h"
#include "app/identity.h"

#include "runtime/core/runtime_start.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#endif

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct ContextFree {
    void operator()(GOptionContext* context) const { g_option_context_free(context); }
};
using Context = std::unique_ptr<GOptionContext, ContextFree>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// The name of the open display, kept when it opened for the line that its
// loss leaves: by then GDK can no longer be asked.
char g_display_name[256] = "";

[[noreturn]] void display_lost() {
    g_printerr("%s: %s%s\n", PROGRAM_NAME, _("lost the connection to the display "), g_display_name);
    _exit(1);
}

#ifdef GDK_WINDOWING_X11
// Xlib calls this when the connection breaks; it must not return.
int x_connection_lost(Display*) { display_lost(); }
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
    const TerminalOutcome terminal = terminal_read(*argc, *argv, false);
    if (terminal.answered) return {true, terminal.status};

    bool class_given = false;
    for (int i = 1; i < *argc; ++i) class_given = class_given || std::strncmp((*argv)[i], "--class", 7) == 0;

    // The full reading with GTK's options, strict. GDK reads GDK_GL while
    // GTK's options are read; nothing here draws with OpenGL, so unless the
    // user chose a mode, GDK is told to skip its probe of GL visuals. The
    // variable is changed only while the process has one thread (nothing has
    // started one yet: no toolkit, no D-Bus), and put back right after, so
    // that child processes see the user's environment.
    TerminalOptions options;
    Context context(terminal_context_new(options));
    g_option_context_add_group(context.get(), gtk_get_option_group(FALSE));
    const bool gl_set = g_getenv("GDK_GL") == nullptr && process_single_threaded();
    if (gl_set) g_setenv("GDK_GL", "disable", FALSE);
    // The arguments as given, for quoting them in an error (the parser
    // rearranges the vector it reads).
    std::vector<char*> original(*argv, *argv + *argc);
    GError* raw_error = nullptr;
    const bool parsed = g_option_context_parse(context.get(), argc, argv, &raw_error);
    if (gl_set) g_unsetenv("GDK_GL");
    std::unique_ptr<GError, ErrorFree> error(raw_error);
    if (!parsed) {
        terminal_usage_error(terminal_option_error(error ? error->message : nullptr, static_cast<int>(original.size()),
                                                   original.data()));
        return {true, EXIT_USAGE};
    }
    if (options.version) {
        terminal_print("TovamiDaysAfter 1.0.0");
        return {true, terminal_check_output(0)};
    }
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp((*argv)[i], "--") == 0) continue;
        terminal_usage_error(std::string(_("unexpected argument ")) + terminal_argument((*argv)[i]));
        return {true, EXIT_USAGE};
    }
    // Name and class before the display: GDK names the connection's client
    // leader window from them when the display opens. (The option parser
    // named the program after argv[0] for --help; a --class of the user's
    // stays.)
    app_identity_name();
    if (!class_given) gdk_set_program_class(APP_ID);
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) display = gdk_display_open(gdk_get_display_arg_name());
    if (display == nullptr) {
        g_printerr("%s\n", _("cannot open a display; set DISPLAY or WAYLAND_DISPLAY, or use --after/--before for a "
                             "terminal result"));
        return {true, 1};
    }
    watch_display(display);
    return {false, 0};
}
