// The command line's display-free half: the program's options read by GLib's
// option parser, the terminal answers (all computed by the calculation
// library), and the output rules of every terminal line. Nothing here may use
// the toolkit: the command links this alone, so that a terminal answer loads
// no display library.
#include "app/command/terminal.h"

#include "app/calculation/calculation.h"
#include "app/calculation/i18n.h"
#include "app/version.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The first error of a write to stdout (errno), 0 while none failed.
int g_write_error = 0;

// Bytes to stdout; the first failure's errno is kept for
// terminal_check_output (a flush may lose it later).
void write_out(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() && g_write_error == 0)
        g_write_error = errno != 0 ? errno : EIO;
}

// UTF-8 text in the locale's encoding; the UTF-8 bytes when it has no form
// there.
std::string to_locale(const std::string& utf8) {
    g_autofree gchar* local = g_locale_from_utf8(utf8.c_str(), -1, nullptr, nullptr, nullptr);
    return local != nullptr ? std::string(local) : utf8;
}

bool c_locale() {
    const char* name = std::setlocale(LC_CTYPE, nullptr);
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

// Bytes in `charset` as UTF-8, each byte that starts no character of it as
// U+FFFD. When the conversion cannot be opened at all, read as UTF-8.
std::string decode(const char* bytes, const char* charset) {
    GIConv cd = g_iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<GIConv>(-1)) {
        g_autofree gchar* valid = g_utf8_make_valid(bytes, -1);
        return valid;
    }
    std::string out;
    gchar* in = const_cast<gchar*>(bytes);
    gsize in_left = std::strlen(bytes);
    while (in_left > 0) {
        char buffer[256];
        gchar* to = buffer;
        gsize to_left = sizeof buffer;
        const gsize done = g_iconv(cd, &in, &in_left, &to, &to_left);
        out.append(buffer, sizeof buffer - to_left);
        if (done == static_cast<gsize>(-1) && errno != E2BIG) {
            out += "\xEF\xBF\xBD"; // a byte that decodes to nothing
            ++in;
            --in_left;
            g_iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    g_iconv_close(cd);
    return out;
}

// A copy of argv for a reading that takes arguments out: the parser drops the
// pointers of the arguments it removes, so the strings are owned here, apart
// from the vector it changes. --help-gtk and --help-all, GTK's own help, are
// left out and counted in `gtk_help`.
struct ArgvCopy {
    std::vector<gchar*> owned;
    std::vector<gchar*> vector;
    gint count = 0;
    int gtk_help = 0;
    ArgvCopy(int argc, char** argv) {
        for (int i = 0; i < argc; ++i) {
            if (i > 0 && (std::strcmp(argv[i], "--help-gtk") == 0 || std::strcmp(argv[i], "--help-all") == 0)) {
                ++gtk_help;
                continue;
            }
            owned.push_back(g_strdup(argv[i]));
        }
        vector = owned;
        vector.push_back(nullptr);
        count = static_cast<gint>(owned.size());
    }
    ArgvCopy(const ArgvCopy&) = delete;
    ArgvCopy& operator=(const ArgvCopy&) = delete;
    ~ArgvCopy() {
        for (gchar* s : owned)
            g_free(s);
    }
};

// GTK's own options, as the window program's reading knows them, so that the
// command tells them from wrong ones without loading the toolkit, and its
// --help names them as the window program's does. Their values are GTK's
// business: they go to a sink.
struct GtkOptions {
    gchar* values[4] = {};
    gboolean fatal_warnings = FALSE;
    GtkOptions() = default;
    GtkOptions(const GtkOptions&) = delete;
    GtkOptions& operator=(const GtkOptions&) = delete;
    ~GtkOptions() {
        for (gchar* v : values)
            g_free(v);
    }
    bool given() const {
        for (gchar* v : values)
            if (v != nullptr) return true;
        return fatal_warnings;
    }
    // Adds them to `context` as GTK's group, its texts in GTK's domain.
    void add_to(GOptionContext* context) {
        const GOptionEntry entries[] = {
            {"class", 0, 0, G_OPTION_ARG_FILENAME, &values[0], "Program class as used by the window manager", "CLASS"},
            {"name", 0, 0, G_OPTION_ARG_FILENAME, &values[1], "Program name as used by the window manager", "NAME"},
            {"gtk-module", 0, 0, G_OPTION_ARG_FILENAME, &values[2], "Load additional GTK+ modules", "MODULES"},
            {"display", 0, G_OPTION_FLAG_IN_MAIN, G_OPTION_ARG_FILENAME, &values[3], "X display to use", "DISPLAY"},
            {"g-fatal-warnings", 0, 0, G_OPTION_ARG_NONE, &fatal_warnings, "Make all warnings fatal", nullptr},
            {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
        };
        bind_textdomain_codeset("gtk30", "UTF-8");
        GOptionGroup* gtk = g_option_group_new("gtk", "GTK+ Options", "Show GTK+ Options", nullptr, nullptr);
        g_option_group_set_translation_domain(gtk, "gtk30");
        g_option_group_add_entries(gtk, entries);
        g_option_context_add_group(context, gtk);
    }
};

// --help without the toolkit: the listing that the window's reading gives.
std::string help_text() {
    TerminalOptions options;
    GtkOptions gtk;
    g_autoptr(GOptionContext) context = terminal_context_new(options);
    gtk.add_to(context);
    g_autofree gchar* help = g_option_context_get_help(context, TRUE, nullptr);
    std::string text = help != nullptr ? help : "";
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

bool is_plain_help(const char* arg) {
    return std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-?") == 0 || std::strcmp(arg, "--help") == 0;
}

bool starts_like_option(const char* arg) {
    return arg[0] == '-' && arg[1] == '-' && g_ascii_isalpha(arg[2]);
}

// Answers one terminal calculation and prints it: the result date (or
// 0000/00/00) for --after/--before, the signed day count for --between.
// Returns the exit status: 0 for a real answer, 1 when there is none.
int answer(const TerminalOptions& options, const char* second) {
    if (options.between != nullptr) {
        const DateValue from = date_from_text(terminal_argument(options.between).c_str());
        const DateValue to = date_from_text(terminal_argument(second).c_str());
        for (const auto& [value, typed] : {std::pair<DateValue, const char*>{from, options.between},
                                           std::pair<DateValue, const char*>{to, second}}) {
            if (value == DATE_INVALID) {
                // TRANSLATORS: %s is the argument as the user typed it.
                terminal_complain(_("not a date from 1970/01/01 to 2038/01/19: %s"), typed);
                return 1;
            }
        }
        terminal_print(std::to_string(options.workdays ? workdays_between(from, to) : days_between(from, to)));
        return 0;
    }
    const char* date = options.after != nullptr ? options.after : options.before;
    const CountDirection direction = options.after != nullptr ? CountDirection::after : CountDirection::before;
    const std::string date_text = terminal_argument(date), count_text = terminal_argument(second);
    const DateValue result = options.workdays ? workdays_from_text(date_text.c_str(), count_text.c_str(), direction)
                                              : calculate_from_text(date_text.c_str(), count_text.c_str(), direction);
    const std::string note = options.weekday ? result_note(result) : "";
    terminal_print(note.empty() ? result_text(result) : result_text(result) + " " + note);
    return result == DATE_INVALID ? 1 : 0;
}

} // namespace

TerminalOptions::~TerminalOptions() {
    g_free(after);
    g_free(before);
    g_free(between);
}

GOptionContext* terminal_context_new(TerminalOptions& options) {
    const GOptionEntry entries[] = {
        {"after", 0, 0, G_OPTION_ARG_FILENAME, &options.after,
         N_("Print the date COUNT days after DATE (yyyy/mm/dd or yyyy-mm-dd) and exit"), N_("DATE COUNT")},
        {"before", 0, 0, G_OPTION_ARG_FILENAME, &options.before, N_("Print the date COUNT days before DATE and exit"),
         N_("DATE COUNT")},
        {"between", 0, 0, G_OPTION_ARG_FILENAME, &options.between,
         N_("Print the signed number of days from the first DATE to the second and exit"), N_("DATE DATE")},
        {"workdays", 0, 0, G_OPTION_ARG_NONE, &options.workdays,
         N_("With --after, --before or --between: count only workdays in Japan (Monday to Friday that are no "
            "national holiday)"),
         nullptr},
        {"weekday", 0, 0, G_OPTION_ARG_NONE, &options.weekday,
         N_("With --after or --before: print the result's weekday after it (under Japanese, its era date and "
            "any national holiday)"),
         nullptr},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options.version, N_("Print the version and exit"), nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext* context = g_option_context_new(_("- date calculator"));
    g_option_context_set_translation_domain(context, GETTEXT_PACKAGE);
    g_option_context_set_summary(context,
                                 _("Without options, opens the calculator's window. With --after, --before or "
                                   "--between,\nprints the answer in the terminal; no display is needed.\n"
                                   "Full-width digits, signs and letters, as a Japanese input method types them,\n"
                                   "count as their ASCII counterparts. Japan's national holidays are known from\n"
                                   "1948-07-20; after 2099 the equinox days are not."));
    g_option_context_add_main_entries(context, entries, GETTEXT_PACKAGE);
    return context;
}

void terminal_print(const std::string& line) {
    write_out(to_locale(line + "\n"));
}

void terminal_complain(const char* format, const char* typed) {
    std::string text = format;
    const std::size_t at = typed != nullptr ? text.find("%s") : std::string::npos;
    std::string line = std::string(PROGRAM_NAME) + ": ";
    if (at == std::string::npos) {
        line += to_locale(text);
    } else {
        line += to_locale(text.substr(0, at)) + typed + to_locale(text.substr(at + 2));
    }
    line += '\n';
    std::fflush(stdout); // the answer so far, then the complaint, in order
    std::fputs(line.c_str(), stderr);
}

void terminal_usage_error(const char* format, const char* typed) {
    const std::string with_hint = std::string(format) + " " + _("(try --help)");
    terminal_complain(with_hint.c_str(), typed);
}

std::string terminal_argument(const char* argument) {
    if (argument == nullptr) return "";
    const char* charset = nullptr;
    if (g_get_charset(&charset) || (c_locale() && g_utf8_validate(argument, -1, nullptr))) {
        g_autofree gchar* valid = g_utf8_make_valid(argument, -1);
        return valid;
    }
    return decode(argument, charset);
}

int terminal_check_output(int status) {
    if (std::fflush(stdout) != 0 && g_write_error == 0) g_write_error = errno;
    if (g_write_error == 0 && std::ferror(stdout)) g_write_error = EIO;
    if (g_write_error == 0) return status;
    const int reason = g_write_error;
    g_write_error = 0;
    std::clearerr(stdout);
    // TRANSLATORS: %s is the system's reason, such as "No space left on device".
    g_autofree gchar* line = g_strdup_printf(_("write error: %s"), g_strerror(reason));
    terminal_complain(line);
    return 1;
}

void terminal_check_output_at_exit() {
    // GLib's own printing (the option parser's help) goes through the same
    // writer, so that its first failure's errno is kept.
    g_set_print_handler([](const gchar* text) { write_out(to_locale(text)); });
    std::atexit([] {
        if (terminal_check_output(0) != 0) std::_Exit(1);
    });
}

TerminalOutcome terminal_read(int argc, char** argv) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr) return {false, 0};

    // A strict reading on a copy, with GTK's options known: is this a
    // terminal answer, the window's turn, or wrong? Unknown options stay in
    // the copy and are judged below, so that a count such as "-7" needs no
    // "--" in front of it.
    TerminalOptions options;
    GtkOptions gtk;
    g_autoptr(GOptionContext) context = terminal_context_new(options);
    gtk.add_to(context);
    g_option_context_set_help_enabled(context, FALSE);
    g_option_context_set_ignore_unknown_options(context, TRUE);
    ArgvCopy copy(argc, argv);
    gchar** copy_vector = copy.vector.data();
    g_autoptr(GError) error = nullptr;
    if (!g_option_context_parse(context, &copy.count, &copy_vector, &error)) {
        terminal_usage_error(error != nullptr ? error->message : _("cannot read the command line"));
        return {true, EXIT_USAGE};
    }
    std::vector<const char*> rest;
    for (gint i = 1; i < copy.count; ++i)
        if (std::strcmp(copy_vector[i], "--") != 0) rest.push_back(copy_vector[i]);
    bool help = false;
    for (const char* arg : rest)
        help = help || is_plain_help(arg);
    const int chosen = (options.after != nullptr) + (options.before != nullptr) + (options.between != nullptr);

    if (help || options.version) {
        if (argc != 2) {
            terminal_usage_error(_("--help and --version take no other argument"));
            return {true, EXIT_USAGE};
        }
        if (g_get_prgname() == nullptr) {
            g_autofree gchar* name = g_path_get_basename(argv[0]);
            g_set_prgname(name);
        }
        terminal_print(help ? help_text() : TDA_VERSION_LINE);
        return {true, 0};
    }
    if (chosen == 0 && (options.workdays || options.weekday)) {
        terminal_usage_error(_("--workdays and --weekday go with --after, --before or --between"));
        return {true, EXIT_USAGE};
    }
    if (options.between != nullptr && options.weekday) {
        terminal_usage_error(_("--weekday goes with --after or --before"));
        return {true, EXIT_USAGE};
    }
    if (chosen == 0) {
        if (rest.empty()) return {false, 0}; // the window, GTK's options, GTK's help
        if (starts_like_option(rest[0]) || (rest[0][0] == '-' && rest[0][1] != 0 && !g_ascii_isdigit(rest[0][1])))
            terminal_usage_error(_("unknown option %s"), rest[0]);
        else
            terminal_usage_error(_("unexpected argument %s"), rest[0]);
        return {true, EXIT_USAGE};
    }
    if (chosen > 1) {
        terminal_usage_error(_("use one of --after, --before and --between"));
        return {true, EXIT_USAGE};
    }
    if (gtk.given() || copy.gtk_help > 0) {
        terminal_usage_error(_("GTK's options and --help-gtk open the window; they take no --after, --before or "
                               "--between"));
        return {true, EXIT_USAGE};
    }
    for (const char* arg : rest) {
        if (starts_like_option(arg)) {
            terminal_usage_error(_("unknown option %s"), arg);
            return {true, EXIT_USAGE};
        }
    }
    if (rest.size() != 1) {
        const char* message = options.between ? _("--between needs two dates: --between DATE DATE")
                              : options.after ? _("--after needs a date and a count: --after DATE COUNT")
                                              : _("--before needs a date and a count: --before DATE COUNT");
        terminal_usage_error(message);
        return {true, EXIT_USAGE};
    }
    return {true, answer(options, rest[0])};
}

void terminal_open_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open gives the lowest free number, which is fd itself.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) close(opened);
    }
}
