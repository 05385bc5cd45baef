// Date notes: weekday names from the C library (strftime %A under LC_TIME),
// era dates from a table of Japan's five modern eras.
#include "app/calculation/date_note.h"

#include "app/calculation/civil_date.h"
#include "app/calculation/japan_holidays.h"

#include <glib.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <type_traits>

namespace {

struct Era {
    const char* name;
    std::int64_t first_day;
    int first_year;
};

// Each era from its first day in the Gregorian reckoning (明治 from the day
// the lunisolar calendar's Meiji 1-1-1 fell on).
constexpr Era ERAS[] = {
    {"令和", civil_to_day_number(2019, 5, 1), 2019},   {"平成", civil_to_day_number(1989, 1, 8), 1989},
    {"昭和", civil_to_day_number(1926, 12, 25), 1926}, {"大正", civil_to_day_number(1912, 7, 30), 1912},
    {"明治", civil_to_day_number(1868, 1, 25), 1868},
};

// Dates before Japan took the Gregorian calendar get no era date.
constexpr std::int64_t GREGORIAN_IN_JAPAN = civil_to_day_number(1873, 1, 1);

constexpr const char* JAPANESE_WEEKDAYS[] = {"日", "月", "火", "水", "木", "金", "土"};
constexpr const char* ENGLISH_WEEKDAYS[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};

struct GFreeDeleter {
    void operator()(gchar* text) const noexcept { g_free(text); }
};

struct LocaleDeleter {
    void operator()(locale_t locale) const noexcept { freelocale(locale); }
};

bool ascii_only(const char* text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    }
    return true;
}

// The weekday's name under LC_TIME, as UTF-8. The locale's data is in the
// character set of the LC_TIME locale (EUC-JP under ja_JP.eucJP, for one),
// which may differ from LC_CTYPE's, so that set is looked up by name.
std::string locale_weekday(int weekday) {
    std::tm fields{};
    fields.tm_wday = weekday;
    char text[256];
    if (std::strftime(text, sizeof text, "%A", &fields) == 0) return ENGLISH_WEEKDAYS[weekday];
    if (ascii_only(text)) return text;
    const char* time_locale = std::setlocale(LC_TIME, nullptr);
    std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter> locale(
        newlocale(LC_CTYPE_MASK, time_locale != nullptr ? time_locale : "C", static_cast<locale_t>(nullptr)));
    const char* charset = locale ? nl_langinfo_l(CODESET, locale.get()) : "UTF-8";
    if (g_ascii_strcasecmp(charset, "UTF-8") == 0 || g_ascii_strcasecmp(charset, "utf8") == 0) {
        return g_utf8_validate(text, -1, nullptr) ? text : ENGLISH_WEEKDAYS[weekday];
    }
    std::unique_ptr<gchar, GFreeDeleter> converted(g_convert(text, -1, "UTF-8", charset, nullptr, nullptr, nullptr));
    return converted ? converted.get() : ENGLISH_WEEKDAYS[weekday];
}

std::string japanese_note(int year, int month, int day, std::int64_t day_number) {
    const int weekday = civil_weekday(day_number);
    if (day_number < GREGORIAN_IN_JAPAN) return std::string(JAPANESE_WEEKDAYS[weekday]) + "曜日";
    const Era* era = ERAS;
    while (era->first_day > day_number)
        ++era; // 明治 began before 1873
    const int era_year = year - era->first_year + 1;
    std::string note = era->name;
    note += era_year == 1 ? std::string("元") : std::to_string(era_year);
    note += "年" + std::to_string(month) + "月" + std::to_string(day) + "日（" + JAPANESE_WEEKDAYS[weekday];
    const JapanHolidayKind kind = japan_holiday_kind(year, month, day);
    if (kind == JapanHolidayKind::none) return note + "）";
    return note + (kind == JapanHolidayKind::national ? "・祝）" : "・休）") + japan_holiday_name(year, month, day);
}

} // namespace

bool locale_is_japanese() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return name != nullptr && std::strncmp(name, "ja", 2) == 0;
}

std::string date_note(int year, int month, int day, bool japanese) {
    if (!civil_date_valid(year, month, day)) return {};
    const std::int64_t day_number = civil_to_day_number(year, month, day);
    if (japanese) return japanese_note(year, month, day, day_number);
    return locale_weekday(civil_weekday(day_number));
}
