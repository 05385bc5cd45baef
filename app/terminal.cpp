// The command line's display-free half: the program's options read by GLib's
// option parser, the terminal calculations that share the window's computing
// rule, and the output rules of every terminal line. Nothing here may use
// the toolkit: the entry program links this alone, so that a terminal answer
// loads no display library.
#include "app/terminal.h"

#include "app/compute.h"
#include "app/i18n.h"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* VERSION_LINE = "TovamiDaysAfter 1.0.0";
constexpr DateValue SECONDS_PER_DAY = 86400;

// The first error of a write to stdout (errno), 0 while none failed.
int g_write_error = 0;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct ContextFree {
    void operator()(GOptionContext* context) const { g_option_context_free(context); }
};
using Context = std::unique_ptr<GOptionContext, ContextFree>;
struct CharsFree {
    void operator()(gchar* text) const { g_free(text); }
};
using Chars = std::unique_ptr<gchar, CharsFree>;

// A copy of argv for a reading that may take arguments out: the parser drops
// the pointers of the arguments it removes, so the strings are owned here,
// apart from the vector it changes.
struct ArgvCopy {
    std::vector<gchar*> owned;
    std::vector<gchar*> vector;
    gint count;
    ArgvCopy(int argc, char** argv) : count(argc) {
        for (int i = 0; i < argc; ++i) owned.push_back(g_strdup(argv[i]));
        vector = owned;
        vector.push_back(nullptr);
    }
    ArgvCopy(const ArgvCopy&) = delete;
    ArgvCopy& operator=(const ArgvCopy&) = delete;
    ~ArgvCopy() {
        for (gchar* s : owned) g_free(s);
    }
};

// The text in the locale's encoding; the UTF-8 bytes when it has no form there.
std::string to_locale(const std::string& utf8) {
    const Chars local(g_locale_from_utf8(utf8.c_str(), -1, nullptr, nullptr, nullptr));
    return local ? std::string(local.get()) : utf8;
}

// A DATE's separators: "/" or "-", or their full-width forms as a Japanese
// input method types them. A date is split at the first one and at the next
// one of the same kind (half- or full-width alike).
struct Separator {
    const char* text;
    char kind;
};
constexpr Separator SEPARATORS[] = {{"/", '/'}, {"-", '-'}, {"\xEF\xBC\x8F", '/'}, {"\xEF\xBC\x8D", '-'}};

// The first separator at or after `from` (of `kind`, or any when 0): its
// offset and length; npos when there is none.
std::pair<std::size_t, std::size_t> find_separator(const std::string& date, std::size_t from, char kind,
                                                   char* found_kind) {
    std::pair<std::size_t, std::size_t> best{std::string::npos, 0};
    for (const Separator& s : SEPARATORS) {
        if (kind != 0 && s.kind != kind) continue;
        const std::size_t at = date.find(s.text, from);
        if (at < best.first) {
            best = {at, std::strlen(s.text)};
            if (found_kind) *found_kind = s.kind;
        }
    }
    return best;
}

// The three field texts of a DATE; a missing field is "", which names no date.
struct DateTexts {
    std::string year, month, day;
};

DateTexts split_date(const std::string& date) {
    DateTexts texts;
    char kind = 0;
    const auto first = find_separator(date, 0, 0, &kind);
    if (first.first == std::string::npos) {
        texts.year = date;
        return texts;
    }
    texts.year = date.substr(0, first.first);
    const std::size_t month_at = first.first + first.second;
    const auto second = find_separator(date, month_at, kind, nullptr);
    if (second.first == std::string::npos) {
        texts.month = date.substr(month_at);
        return texts;
    }
    texts.month = date.substr(month_at, second.first - month_at);
    texts.day = date.substr(second.first + second.second);
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

bool is_plain_help(const char* arg) {
    return std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-?") == 0 || std::strcmp(arg, "--help") == 0;
}

// --help without the toolkit: the listing that the window's reading gives,
// with GTK's group named (its options are GTK's texts, in GTK's domain) so
// that --help-gtk and --display show as before; those themselves are read
// by the window program.
std::string help_text() {
    TerminalOptions options;
    Context context(terminal_context_new(options));
    gchar* ignored = nullptr;
    const GOptionEntry gtk_entries[] = {
        {"gtk-module", 0, 0, G_OPTION_ARG_STRING, &ignored, "Load additional GTK+ modules", "MODULES"},
        {"display", 0, G_OPTION_FLAG_IN_MAIN, G_OPTION_ARG_STRING, &ignored, "X display to use", "DISPLAY"},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    bind_textdomain_codeset("gtk30", "UTF-8");
    GOptionGroup* gtk = g_option_group_new("gtk", "GTK+ Options", "Show GTK+ Options", nullptr, nullptr);
    g_option_group_set_translation_domain(gtk, "gtk30");
    g_option_group_add_entries(gtk, gtk_entries);
    g_option_context_add_group(context.get(), gtk);
    const Chars help(g_option_context_get_help(context.get(), TRUE, nullptr));
    std::string text = help ? help.get() : "";
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

} // namespace

TerminalOptions::~TerminalOptions() {
    g_free(after);
    g_free(before);
    g_free(between);
}

GOptionContext* terminal_context_new(TerminalOptions& options) {
    const GOptionEntry entries[] = {
        {"after", 0, 0, G_OPTION_ARG_STRING, &options.after,
         N_("Print the date COUNT days after DATE (yyyy/mm/dd or yyyy-mm-dd) and exit"), N_("DATE COUNT")},
        {"before", 0, 0, G_OPTION_ARG_STRING, &options.before, N_("Print the date COUNT days before DATE and exit"),
         N_("DATE COUNT")},
        {"between", 0, 0, G_OPTION_ARG_STRING, &options.between,
         N_("Print the signed number of days from the first DATE to the second and exit"), N_("DATE DATE")},
        {"version", 0, 0, G_OPTION_ARG_NONE, &options.version, N_("Print the version and exit"), nullptr},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
    };
    GOptionContext* context = g_option_context_new(_("- date calculator"));
    g_option_context_set_translation_domain(context, GETTEXT_PACKAGE);
    g_option_context_set_summary(context,
                                 _("Without options, opens the calculator's window. With --after, --before or "
                                   "--between,\nprints the answer in the terminal; no display is needed.\n"
                                   "Full-width digits, signs and letters, as a Japanese input method types them,\n"
                                   "count as their ASCII counterparts."));
    g_option_context_add_main_entries(context, entries, GETTEXT_PACKAGE);
    return context;
}

void terminal_print(const std::string& line) {
    const std::string local = to_locale(line + "\n");
    if (std::fputs(local.c_str(), stdout) == EOF && g_write_error == 0) g_write_error = errno;
}

void terminal_complain(const std::string& message) { g_printerr("%s: %s\n", PROGRAM_NAME, message.c_str()); }

void terminal_usage_error(const std::string& message) {
    g_printerr("%s: %s %s\n", PROGRAM_NAME, message.c_str(), _("(try --help)"));
}

std::string terminal_argument(const char* argument) {
    if (argument == nullptr) return "";
    if (g_get_charset(nullptr)) return argument;
    const Chars utf8(g_locale_to_utf8(argument, -1, nullptr, nullptr, nullptr));
    return utf8 ? std::string(utf8.get()) : std::string(argument);
}

std::string terminal_option_error(const char* message, int argc, char** argv) {
    std::string text = message != nullptr ? message : _("cannot read the command line");
    if (g_get_charset(nullptr)) return text;
    for (int i = 1; i < argc; ++i) {
        const std::string raw = argv[i];
        const std::string typed = terminal_argument(argv[i]);
        if (raw == typed) continue;
        for (std::size_t at = text.find(raw); at != std::string::npos; at = text.find(raw, at + typed.size()))
            text.replace(at, raw.size(), typed);
    }
    return text;
}

int terminal_check_output(int status) {
    if (std::fflush(stdout) != 0 && g_write_error == 0) g_write_error = errno;
    if (g_write_error == 0 && std::ferror(stdout)) g_write_error = EIO;
    if (g_write_error == 0) return status;
    const int reason = g_write_error;
    g_write_error = 0;
    std::clearerr(stdout);
    g_printerr("%s: %s\n", PROGRAM_NAME, (std::string(_("write error: ")) + g_strerror(reason)).c_str());
    return 1;
}

void terminal_check_output_at_exit() {
    std::atexit([] {
        if (terminal_check_output(0) != 0) std::_Exit(1);
    });
}

int terminal_calculation(const char* operation, const char* first, const char* second) {
    const std::string date = first != nullptr ? first : "";
    const std::string other = second != nullptr ? second : "";
    if (std::strcmp(operation, "between") == 0) {
        const DateValue from = date_of(date);
        const DateValue to = date_of(other);
        for (const auto& [value, text] : {std::pair{from, &date}, std::pair{to, &other}}) {
            if (value == DATE_INVALID) {
                terminal_complain(std::string(_("not a date from 1970/01/01 to 2038/01/19: ")) + *text);
                return 1;
            }
        }
        terminal_print(std::to_string((to - from) / SECONDS_PER_DAY));
        return 0;
    }
    const DateTexts d = split_date(date);
    const WideTexts w{&d.year, &d.month, &d.day, &other};
    const CountDirection direction =
        std::strcmp(operation, "before") == 0 ? CountDirection::before : CountDirection::after;
    const DateValue result = calculate_date(w[0], w[1], w[2], w[3], direction);
    const std::int64_t start = workspace_position();
    char* utf8 = string_to_utf8(format_result(result, start));
    workspace_set_position(start);
    terminal_print(utf8 != nullptr ? utf8 : "");
    std::free(utf8);
    return result == DATE_INVALID ? 1 : 0;
}

TerminalOutcome terminal_read(int argc, char** argv, bool plain_help_and_version) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr) return {false, 0};

    if (plain_help_and_version && argc > 1) {
        bool help = false, only_plain = true;
        for (int i = 1; i < argc; ++i) {
            help = help || is_plain_help(argv[i]);
            only_plain = only_plain && (is_plain_help(argv[i]) || std::strcmp(argv[i], "--version") == 0);
        }
        if (only_plain) {
            const Chars name(g_path_get_basename(argv[0]));
            if (g_get_prgname() == nullptr) g_set_prgname(name.get());
            terminal_print(help ? help_text() : VERSION_LINE);
            return {true, 0};
        }
    }

    // A reading on a copy and without GTK's options: is this a terminal
    // calculation? Unknown options stay in the copy, so that a count such as
    // "-7" needs no "--" in front of it.
    TerminalOptions options;
    Context context(terminal_context_new(options));
    g_option_context_set_help_enabled(context.get(), FALSE);
    g_option_context_set_ignore_unknown_options(context.get(), TRUE);
    ArgvCopy copy(argc, argv);
    gchar** copy_vector = copy.vector.data();
    GError* raw_error = nullptr;
    const bool parsed = g_option_context_parse(context.get(), &copy.count, &copy_vector, &raw_error);
    std::unique_ptr<GError, ErrorFree> error(raw_error);
    const int chosen = (options.after != nullptr) + (options.before != nullptr) + (options.between != nullptr);
    bool wants_help = false;
    for (gint i = 1; i < copy.count; ++i) wants_help = wants_help || is_help_option(copy_vector[i]);
    if (chosen == 0 || wants_help) return {false, 0};
    if (!parsed) {
        terminal_usage_error(terminal_option_error(error ? error->message : nullptr, argc, argv));
        return {true, EXIT_USAGE};
    }
    if (chosen > 1) {
        terminal_usage_error(_("use one of --after, --before and --between"));
        return {true, EXIT_USAGE};
    }
    std::vector<std::string> operands;
    for (gint i = 1; i < copy.count; ++i) {
        if (std::strcmp(copy_vector[i], "--") == 0) continue;
        if (starts_like_option(copy_vector[i])) {
            terminal_usage_error(std::string(_("unknown option ")) + terminal_argument(copy_vector[i]));
            return {true, EXIT_USAGE};
        }
        operands.push_back(terminal_argument(copy_vector[i]));
    }
    if (operands.size() != 1) {
        const char* message = options.between  ? _("--between needs two dates: --between DATE DATE")
                              : options.after ? _("--after needs a date and a count: --after DATE COUNT")
                                              : _("--before needs a date and a count: --before DATE COUNT");
        terminal_usage_error(message);
        return {true, EXIT_USAGE};
    }
    const char* operation = options.after ? "after" : options.before ? "before" : "between";
    const char* date = options.after ? options.after : options.before ? options.before : options.between;
    return {true, terminal_calculation(operation, date, operands[0].c_str())};
}
