// The calculator fed generated texts: random code units (lone surrogates,
// control characters), blanks, signs, "$" and "%" prefixes, 20-digit numbers
// and texts of 1 MB go into the year, month, day and count fields; both
// "push" buttons are pressed through the program's loop body. Each result
// must be 0000/00/00 or the date that an independent computation with the
// <chrono> calendar gives for the texts the fields hold. Fixed seed.
#include "app_test_support.h"

#include "runtime/core/wide_string.h"
#include "runtime/event/event_wait.h"
#include "runtime/gadget/gadget.h"
#include "support/gui_support.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

using namespace tda_test;
using tda_app_test::widget_of;

namespace {

constexpr std::uint64_t SEED = 20240229;
#if defined(__SANITIZE_ADDRESS__)
constexpr int ROUNDS = 1000; // the sanitizer checks every access, a tenth suffices
#else
constexpr int ROUNDS = 10000; // five texts each
#endif
constexpr std::size_t HUGE_TEXT = 1 << 20; // units of the 1 MB texts
constexpr int HUGE_ROUNDS = 6;             // rounds that carry a 1 MB text

// ---- The independent model -------------------------------------------------

// Numbers as the calculator reads them: blanks and tabs, one sign, "$" hex or
// "%" binary or decimal digits up to the first other unit, modulo 2^64.
std::int64_t model_number(std::u16string s) {
    for (char16_t& c : s) // full-width digits, signs, $, %, hex letters and U+3000 read as ASCII
        c = std::u16string_view(u"０１２３４５６７８９ＡＢＣＤＥＦａｂｃｄｅｆ＋－＄％").find(c) !=
                    std::u16string_view::npos
                ? c - 0xFEE0
            : c == u'−'      ? u'-'
            : c == u'\u3000' ? u' '
                             : c;
    std::size_t i = 0;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
    unsigned base = 10;
    if (i < s.size() && s[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < s.size() && s[i] == u'%') {
        base = 2;
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        char16_t c = s[i];
        unsigned d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            break;
        if (d >= base) break;
        value = value * base + d;
    }
    if (negative) value = 0 - value;
    return static_cast<std::int64_t>(value);
}

// A date field: values that need more than 32 bits count as 0.
std::int64_t model_field(const std::u16string& s) {
    std::int64_t v = model_number(s);
    return v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max() ? 0 : v;
}

// The result text for the entered fields and a count of days.
std::string model_result(const std::u16string& year_text, const std::u16string& month_text,
                         const std::u16string& day_text, std::int64_t count) {
    using namespace std::chrono;
    const std::string invalid = "0000/00/00";
    std::int64_t y = model_field(year_text), m = model_field(month_text), d = model_field(day_text);
    // The entered date must lie in 1970-01-01 .. 2038-01-19.
    if (y < 1970 || y > 2038 || m < 1 || m > 12 || d < 1 || d > 31) return invalid;
    year_month_day entered{year{static_cast<int>(y)}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
    if (!entered.ok()) return invalid;
    if (sys_days{entered} > sys_days{2038y / January / 19}) return invalid;
    // Count times 86400 must fit 64 bits; the result must lie in years 1..9999.
    std::int64_t delta = 0;
    if (__builtin_mul_overflow(count, std::int64_t{86400}, &delta)) return invalid;
    __int128 seconds = static_cast<__int128>(sys_days{entered}.time_since_epoch().count()) * 86400 + delta;
    const __int128 first = static_cast<__int128>(sys_days{1y / January / 1}.time_since_epoch().count()) * 86400;
    const __int128 last =
        static_cast<__int128>(sys_days{9999y / December / 31}.time_since_epoch().count()) * 86400 + 86399;
    if (seconds < first || seconds > last) return invalid;
    year_month_day result{sys_days{days{static_cast<std::int64_t>(seconds / 86400)}}};
    char out[16];
    std::snprintf(out, sizeof out, "%04d/%02u/%02u", static_cast<int>(result.year()),
                  static_cast<unsigned>(result.month()), static_cast<unsigned>(result.day()));
    return out;
}

// ---- Generated texts ------------------------------------------------------

struct Generator {
    std::mt19937_64 rng{SEED};

    std::uint64_t below(std::uint64_t n) { return rng() % n; }

    // A unit from a mix of ASCII, controls, lone surrogates, other planes.
    char16_t unit() {
        switch (below(8)) {
        case 0:
            return static_cast<char16_t>(1 + below(31)); // controls
        case 1:
            return static_cast<char16_t>(0xD800 + below(0x800)); // lone surrogate halves
        case 2:
            return static_cast<char16_t>(0x80 + below(0xD800 - 0x80));
        case 3:
            return static_cast<char16_t>(0xE000 + below(0x2000)); // private use, fullwidth digits near
        case 4:
            return u"0123456789"[below(10)];
        case 5:
            return u" \t-+$%"[below(6)];
        case 6:
            return static_cast<char16_t>(0xFF10 + below(10)); // fullwidth digits
        default:
            return static_cast<char16_t>(0x20 + below(0x5F));
        }
    }

    std::u16string random_units(std::size_t n) {
        std::u16string s;
        for (std::size_t i = 0; i < n; ++i)
            s += unit();
        return s;
    }

    std::u16string digits(std::size_t n, unsigned base) {
        static const char16_t all[] = u"0123456789abcdefABCDEF";
        std::u16string s;
        for (std::size_t i = 0; i < n; ++i)
            s += base == 16 ? all[below(22)] : all[below(base)];
        return s;
    }

    // Blanks, a sign, a prefix, in random measure.
    std::u16string prefix() {
        std::u16string s;
        for (auto n = below(4) == 0 ? below(3) : 0; n > 0; --n)
            s += below(2) ? u' ' : u'\t';
        switch (below(6)) {
        case 0:
            s += u'-';
            break;
        case 1:
            s += u'+';
            break;
        default:
            break;
        }
        if (below(8) == 0) s += below(2) ? u'-' : u' '; // a second sign or a blank after it
        return s;
    }

    std::u16string number_text(std::int64_t value) {
        std::string d = std::to_string(value);
        return std::u16string(d.begin(), d.end());
    }

    // A text for a date field (which == 0 year, 1 month, 2 day) or a count (3).
    std::u16string text(int which) {
        // Date fields get mostly plausible values, so that many rounds
        // reach a real date.
        std::uint64_t kind = which < 3 && below(2) == 0 ? 9 : below(10);
        switch (kind) {
        case 0:
            return random_units(below(24));
        case 1:
            return prefix() + digits(20, 10); // 20 digits
        case 2:
            return prefix() + u"$" + digits(1 + below(18), 16);
        case 3:
            return prefix() + u"%" + digits(1 + below(66), 2);
        case 4:
            return prefix() + digits(1 + below(12), 10) + random_units(below(4));
        default: {
            // Mostly plausible values, so that many results are real dates.
            std::int64_t v;
            if (which == 0)
                v = 1968 + static_cast<std::int64_t>(below(73));
            else if (which == 1)
                v = static_cast<std::int64_t>(below(15));
            else if (which == 2)
                v = static_cast<std::int64_t>(below(34));
            else
                v = static_cast<std::int64_t>(below(4000000)) - 2000000;
            std::u16string s = number_text(v);
            if (below(4) == 0) s = prefix() + s;
            if (below(4) == 0) s += random_units(1 + below(3));
            return s;
        }
        }
    }

    // A text of a megabyte: digits only (wraps around 2^64) or random units.
    std::u16string huge(int kind) {
        if (kind % 2 == 0) return u" " + digits(HUGE_TEXT, 10);
        return random_units(HUGE_TEXT);
    }
};

// ---- The program ---------------------------------------------------------

std::string ascii(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string shown(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < 60; ++i) {
        char buf[12];
        if (s[i] >= 0x20 && s[i] < 0x7F)
            out += static_cast<char>(s[i]);
        else {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(s[i]));
            out += buf;
        }
    }
    if (s.size() > 60) out += "...(" + std::to_string(s.size()) + " units)";
    return out;
}

// Runs the program's loop body until nothing is left; counts the clicks of
// the two buttons it dispatched.
int run_until_idle() {
    int clicks = 0;
    for (;;) {
        std::int64_t type = event_wait_timeout(0);
        if (type == EVENT_NONE) return clicks;
        if (type == EVENT_TOOLKIT_ONLY) continue;
        if (type == EVENT_GADGET && (event_gadget() == after_button || event_gadget() == before_button)) ++clicks;
        dispatch_event(type);
    }
}

// year/mm/dd: one to four year digits, two-digit month and day.
bool result_shape_ok(const std::string& r) {
    std::size_t slash = r.find('/');
    if (slash < 1 || slash > 4 || r.size() != slash + 6 || r[slash + 3] != '/') return false;
    for (std::size_t i = 0; i < r.size(); ++i)
        if (i != slash && i != slash + 3 && (r[i] < '0' || r[i] > '9')) return false;
    return true;
}

TEST(CalculatorHostileInput, ResultsAgreeWithAnIndependentCalendar) {
    ASSERT_TRUE(tda_app_test::start_calculator()) << "no display could be had";
    settle(300);
    run_until_idle();
    std::printf("hostile input: seed %llu, %d rounds of five texts\n", static_cast<unsigned long long>(SEED), ROUNDS);
    ::testing::Test::RecordProperty("seed", std::to_string(SEED));

    const ObjectId fields[] = {year_field, month_combo, day_combo, after_count_field, before_count_field};
    GtkButton* after = GTK_BUTTON(widget_of(after_button));
    GtkButton* before = GTK_BUTTON(widget_of(before_button));
    Generator gen;
    int texts = 0, dates = 0, invalid = 0, failures = 0, changed_by_toolkit = 0, huge = 0;
    for (int round = 0; round < ROUNDS && failures < 20; ++round) {
        std::u16string put[5];
        for (int f = 0; f < 5; ++f)
            put[f] = gen.text(f < 3 ? f : 3);
        if (round < HUGE_ROUNDS) {
            put[round % 5] = gen.huge(round);
            ++huge;
        }
        for (int f = 0; f < 5; ++f) {
            gadget_set_text(fields[f], put[f].c_str());
            ++texts;
        }
        run_until_idle();
        std::u16string held[5];
        for (int f = 0; f < 5; ++f) {
            held[f] = gadget_text_of(fields[f]);
            if (held[f] != put[f]) ++changed_by_toolkit;
        }
        gadget_set_text(after_result_field, u"");
        gadget_set_text(before_result_field, u"");
        gtk_button_clicked(after);
        gtk_button_clicked(before);
        int clicks = run_until_idle();

        const std::string after_result = ascii(gadget_text_of(after_result_field));
        const std::string before_result = ascii(gadget_text_of(before_result_field));
        const std::string after_model = model_result(held[0], held[1], held[2], model_number(held[3]));
        // The before count is read as the after count is, then subtracted (modulo 2^64).
        const std::int64_t back = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(model_number(held[4])));
        const std::string before_model = model_result(held[0], held[1], held[2], back);
        bool ok = clicks == 2 && result_shape_ok(after_result) && result_shape_ok(before_result) &&
                  after_result == after_model && before_result == before_model;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "round " << round << " clicks " << clicks << "\n  year  " << shown(held[0]) << "\n  month "
                          << shown(held[1]) << "\n  day   " << shown(held[2]) << "\n  after " << shown(held[3])
                          << " -> " << after_result << " (model " << after_model << ")"
                          << "\n  before " << shown(held[4]) << " -> " << before_result << " (model " << before_model
                          << ")";
        }
        for (const std::string* r : {&after_result, &before_result})
            (*r == "0000/00/00" ? invalid : dates)++;
    }
    std::printf("hostile input: %d texts (%d of 1 MB), %d changed by the toolkit's UTF-8 round trip; "
                "results: %d dates, %d 0000/00/00; %d disagreements\n",
                texts, huge, changed_by_toolkit, dates, invalid, failures);
    ::testing::Test::RecordProperty("texts", texts);
    ::testing::Test::RecordProperty("dates", dates);
    EXPECT_EQ(failures, 0);
    // The generator reaches real dates, not only the invalid look (about one
    // result in eight; before counts such as " -20 digits" now count in full
    // and mostly leave the years 1 .. 9999).
    EXPECT_GT(dates, ROUNDS / 5);
}

} // namespace
