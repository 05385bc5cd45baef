// The command line: the program's options read by GLib's option parser, the
// terminal calculations that share the window's computing rule, and the check
// for a display before the window is built.
#include "app/command_line.h"

#include "app/compute.h"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* PROGRAM = "tovamidaysafter";
constexpr const char* VERSION_LINE = "TovamiDaysAfter 1.0.0";
constexpr const char* NO_DISPLAY_LINE =
    "cannot open a display; set DISPLAY or WAYLAND_DISPLAY, or use --after/--before for a terminal result";
constexpr DateValue SECONDS_PER_DAY = 86400;

// The values the option parser fills; strings are g_malloc'd.
struct Options {
    gchar* after = nullptr;
    gchar* before = nullptr;
    gchar* between = nullptr;
    gboolean version = FALSE;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() {
        g_free(after);
        g_free(before);
        g_free(between);
    }
};

struct ContextFree {
    void operator()(GOptionContext* context) const { g_option_context_free(context); }
};
using Context = std::unique_ptr<GOptionContext, ContextFree>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

struct StrvFree {
    void operator()(gchar** strv) const { g_strfreev(strv); }
};

Context make_context(Options& options) {
    const GOptionEntry entries[] = {
        {"after", 0, 0, G_OPTION_ARG_STRING, &options.after,
         "Print the date COUNT days after DATE (yyyy/mm/dd or yyyy-mm-dd) and exit", "DATE COUNT"},
        {"before", 0, 0, G_OPTION_ARG_STRING, &options.before, "Print the date COUNT days before DATE and exit",
         "DATE COUNT"},
        {"between", 0, 0, G_OPTION_ARG_STRING, &options.between,
         "Print the signed number of days from the first DATE to the second and exit", "DATE DATE"},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options.version, "Print the version and exit", nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    Context context(g_option_context_new("- date calculator"));
    g_option_context_set_summary(context.get(),
                                 "Without options, opens the calculator's window. With --after, --before or "
                                 "--between,\nprints the answer in the terminal; no display is needed.");
    g_option_context_add_main_entries(context.get(), entries, nullptr);
    return context;
}

void usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s (try --help)\n", PROGRAM, message.c_str());
}

// A line of a UTF-16 result on stdout.
void print_wide(const WideChar* text) {
    char* utf8 = string_to_utf8(text);
    std::printf("%s\n", utf8 != nullptr ? utf8 : "");
    std::free(utf8);
}

// The three field texts of a DATE, "yyyy/mm/dd" or "yyyy-mm-dd": split at the
// first "/" or "-" and at the next one of the same kind. A missing field is
// "", which names no date.
struct DateTexts {
    std::string year, month, day;
};

DateTexts split_date(const std::string& date) {
    DateTexts texts;
    const std::size_t first = date.find_first_of("/-");
    if (first == std::string::npos) {
        texts.year = date;
        return texts;
    }
    texts.year = date.substr(0, first);
    const std::size_t second = date.find(date[first], first + 1);
    if (second == std::string::npos) {
        texts.month = date.substr(first + 1);
        return texts;
    }
    texts.month = date.substr(first + 1, second - first - 1);
    texts.day = date.substr(second + 1);
    return texts;
}

// UTF-8 texts as WideStrings for the computing rule; freed with the holder.
struct WideTexts {
    std::vector<WideChar*> texts;
    explicit WideTexts(std::initializer_list<const std::string*> from) {
        for (const std::string* s : from) texts.push_back(string_from_utf8_alloc(s->c_str()));
    }
    WideTexts(const WideTexts&) = delete;
    WideTexts& operator=(const WideTexts&) = delete;
    ~WideTexts() {
        for (WideChar* t : texts) string_free(t);
    }
    const WideChar* operator[](std::size_t i) const { return texts[i]; }
};

DateValue date_of(const std::string& text) {
    const DateTexts d = split_date(text);
    const WideTexts w{&d.year, &d.month, &d.day};
    return entered_date(w[0], w[1], w[2]);
}

bool starts_like_option(const char* arg) { return arg[0] == '-' && arg[1] == '-' && g_ascii_isalpha(arg[2]); }

// -h, -? and --help, --help-all, --help-gtk ...: the full reading shows them.
bool is_help_option(const char* arg) {
    return std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-?") == 0 || std::strncmp(arg, "--help", 6) == 0;
}

} // namespace

int terminal_calculation(const char* operation, const char* first, const char* second) {
    const std::string date = first != nullptr ? first : "";
    const std::string other = second != nullptr ? second : "";
    if (std::strcmp(operation, "between") == 0) {
        const DateValue from = date_of(date);
        const DateValue to = date_of(other);
        for (const auto& [value, text] : {std::pair{from, &date}, std::pair{to, &other}}) {
            if (value == DATE_INVALID) {
                std::fprintf(stderr, "%s: not a date from 1970/01/01 to 2038/01/19: %s\n", PROGRAM, text->c_str());
                return 1;
            }
        }
        std::printf("%lld\n", static_cast<long long>((to - from) / SECONDS_PER_DAY));
        return 0;
    }
    const DateTexts d = split_date(date);
    const WideTexts w{&d.year, &d.month, &d.day, &other};
    const CountDirection direction =
        std::strcmp(operation, "before") == 0 ? CountDirection::before : CountDirection::after;
    const DateValue result = calculate_date(w[0], w[1], w[2], w[3], direction);
    const std::int64_t start = workspace_position();
    print_wide(format_result(result, start));
    workspace_set_position(start);
    return result == DATE_INVALID ? 1 : 0;
}

CommandLineOutcome command_line_read(int* argc, char*** argv) {
    if (*argc < 1 || *argv == nullptr || (*argv)[0] == nullptr) return {false, 0};

    // First reading, on a copy and without GTK's options: is this a terminal
    // calculation? Unknown options stay in the copy, so that a count such as
    // "-7" needs no "--" in front of it.
    {
        Options options;
        Context context = make_context(options);
        g_option_context_set_help_enabled(context.get(), FALSE);
        g_option_context_set_ignore_unknown_options(context.get(), TRUE);
        // The parse drops the options it reads from the array without freeing
        // them, so it gets a second array of the same pointers and `copy`
        // still frees every string.
        std::unique_ptr<gchar*, StrvFree> copy(g_strdupv(*argv));
        std::vector<gchar*> shallow(copy.get(), copy.get() + g_strv_length(copy.get()) + 1);
        gint copy_count = *argc;
        gchar** copy_vector = shallow.data();
        GError* raw_error = nullptr;
        const bool parsed = g_option_context_parse(context.get(), &copy_count, &copy_vector, &raw_error);
        std::unique_ptr<GError, ErrorFree> error(raw_error);
        const int chosen = (options.after != nullptr) + (options.before != nullptr) + (options.between != nullptr);
        bool wants_help = false;
        for (gint i = 1; i < copy_count; ++i) wants_help = wants_help || is_help_option(copy_vector[i]);
        if (chosen > 0 && !wants_help) {
            if (!parsed) {
                usage_error(error ? error->message : "cannot read the command line");
                return {true, EXIT_USAGE};
            }
            if (chosen > 1) {
                usage_error("use one of --after, --before and --between");
                return {true, EXIT_USAGE};
            }
            std::vector<const char*> operands;
            for (gint i = 1; i < copy_count; ++i) {
                if (std::strcmp(copy_vector[i], "--") == 0) continue;
                if (starts_like_option(copy_vector[i])) {
                    usage_error(std::string("unknown option ") + copy_vector[i]);
                    return {true, EXIT_USAGE};
                }
                operands.push_back(copy_vector[i]);
            }
            const char* operation = options.after ? "after" : options.before ? "before" : "between";
            if (operands.size() != 1) {
                usage_error(options.between ? "--between needs two dates: --between DATE DATE"
                                            : std::string("--") + operation + " needs a date and a count: --" +
                                                  operation + " DATE COUNT");
                return {true, EXIT_USAGE};
            }
            const char* date = options.after ? options.after : options.before ? options.before : options.between;
            return {true, terminal_calculation(operation, date, operands[0])};
        }
    }

    // The window: the full reading with GTK's options, strict. GDK reads
    // GDK_GL while GTK's options are read; nothing here draws with OpenGL, so
    // unless the user chose a mode, GDK is told to skip its probe of GL
    // visuals. The process has one thread here, so the environment may change.
    Options options;
    Context context = make_context(options);
    g_option_context_add_group(context.get(), gtk_get_option_group(FALSE));
    const bool gl_chosen = g_getenv("GDK_GL") != nullptr;
    if (!gl_chosen) g_setenv("GDK_GL", "disable", FALSE);
    GError* raw_error = nullptr;
    const bool parsed = g_option_context_parse(context.get(), argc, argv, &raw_error);
    if (!gl_chosen) g_unsetenv("GDK_GL");
    std::unique_ptr<GError, ErrorFree> error(raw_error);
    if (!parsed) {
        usage_error(error ? error->message : "cannot read the command line");
        return {true, EXIT_USAGE};
    }
    if (options.version) {
        std::printf("%s\n", VERSION_LINE);
        return {true, 0};
    }
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp((*argv)[i], "--") == 0) continue;
        usage_error(std::string("unexpected argument ") + (*argv)[i]);
        return {true, EXIT_USAGE};
    }
    if (gdk_display_get_default() == nullptr && gdk_display_open(gdk_get_display_arg_name()) == nullptr) {
        std::fprintf(stderr, "%s\n", NO_DISPLAY_LINE);
        return {true, 1};
    }
    return {false, 0};
}
