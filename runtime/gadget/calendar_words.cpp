// The calendar's selected day in words (see calendar_words.h).
#include "runtime/gadget/calendar_words.h"

#include <glib.h>

#include <langinfo.h>

#include <cstring>
#include <string>

namespace {

// Conversions that write the time of day (or a time zone, or both date and time).
constexpr const char* TIME_CONVERSIONS = "HIklMSpPrRTXZzsc";

struct Conversion {
    std::size_t length; // from the "%" up to and including the conversion letter
    char modifier;      // 'E', 'O' or 0
    char letter;        // 0 when the text ends inside the conversion
};

Conversion read_conversion(const std::string& word, std::size_t at) {
    std::size_t i = at + 1;
    while (i < word.size() && std::strchr("-_0^#", word[i]) != nullptr)
        ++i;
    while (i < word.size() && g_ascii_isdigit(word[i]))
        ++i;
    char modifier = 0;
    if (i < word.size() && (word[i] == 'E' || word[i] == 'O')) modifier = word[i++];
    return {i < word.size() ? i + 1 - at : word.size() - at, modifier, i < word.size() ? word[i] : '\0'};
}

bool writes_time(const std::string& word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') continue;
        const Conversion c = read_conversion(word, i);
        if (c.letter != '\0' && c.letter != '%' && std::strchr(TIME_CONVERSIONS, c.letter) != nullptr) return true;
        i += c.length - 1;
    }
    return false;
}

// Names in full (%a, %b, %h), numbers unpadded (%d, %e, %m), the year whole
// (%y); every other conversion and all text as they are.
std::string spelled_out(const std::string& word) {
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            out += word[i];
            continue;
        }
        const Conversion c = read_conversion(word, i);
        const std::string modifier = c.modifier != 0 ? std::string(1, c.modifier) : "";
        switch (c.letter) {
        case 'a':
            out += "%" + modifier + "A";
            break;
        case 'b':
        case 'h':
            out += "%" + modifier + "B";
            break;
        case 'd':
        case 'e':
            out += "%-" + modifier + "d";
            break;
        case 'm':
            out += "%-" + modifier + "m";
            break;
        case 'y':
            out += "%" + modifier + "Y";
            break;
        default:
            out += word.substr(i, c.length);
            break;
        }
        i += c.length - 1;
    }
    return out;
}

} // namespace

char* calendar_locale_day_format() {
    const char* source = nullptr;
#ifdef _DATE_FMT
    source = nl_langinfo(_DATE_FMT); // the GNU C library's format of date(1)
#endif
    if (source == nullptr || *source == '\0') source = nl_langinfo(D_T_FMT);
    gchar* utf8 = source != nullptr ? g_locale_to_utf8(source, -1, nullptr, nullptr, nullptr) : nullptr;
    std::string format;
    gchar** words = g_strsplit_set(utf8 != nullptr ? utf8 : "", " \t", -1);
    for (gchar** w = words; *w != nullptr; ++w) {
        const std::string word = *w;
        if (word.empty() || writes_time(word)) continue;
        if (!format.empty()) format += ' ';
        format += spelled_out(word);
    }
    g_strfreev(words);
    g_free(utf8);
    return g_strdup(format.find('%') != std::string::npos ? format.c_str() : "%x");
}

char* calendar_day_words(const char* format, unsigned year, unsigned month, unsigned day) {
    if (format == nullptr || year == 0 || year > G_MAXUINT16 || month < 1 || month > 12 || day < 1 || day > 31 ||
        !g_date_valid_dmy(static_cast<GDateDay>(day), static_cast<GDateMonth>(month), static_cast<GDateYear>(year)))
        return nullptr;
    GDate date;
    g_date_clear(&date, 1);
    g_date_set_dmy(&date, static_cast<GDateDay>(day), static_cast<GDateMonth>(month), static_cast<GDateYear>(year));
    char words[512];
    const gsize written = g_date_strftime(words, sizeof words, format, &date);
    return written > 0 ? g_strdup(words) : nullptr;
}
