// One date calculation as the calculator does it — date_make, date_add of a
// number of days, date_format("%yyyy/%mm/%dd") into the workspace — against
// the C library's path: timegm, gmtime_r, strftime and a conversion of the
// text to UTF-16. Both sides walk the same table of dates and day counts.
#include "bench_support.h"

#include "runtime/core/wide_string.h"
#include "runtime/date/date.h"

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr double TARGET = 1.0;
constexpr WideChar MASK[] = u"%yyyy/%mm/%dd";

struct DateCase {
    int year, month, day; // entered date
    long days;            // count added
};

std::vector<DateCase> make_cases() {
    std::vector<DateCase> cases;
    std::uint32_t h = 2463534242u;
    for (int i = 0; i < 64; ++i) {
        h ^= h << 13;
        h ^= h >> 17;
        h ^= h << 5;
        DateCase c;
        c.year = 1971 + static_cast<int>(h % 60);
        c.month = 1 + static_cast<int>((h >> 8) % 12);
        c.day = 1 + static_cast<int>((h >> 12) % 28);
        c.days = static_cast<long>((h >> 16) % 20001) - 10000;
        cases.push_back(c);
    }
    return cases;
}

const std::vector<DateCase> CASES = make_cases();

// Our path; the result is at workspace offset 0.
WideChar* ours(const DateCase& c) {
    DateValue d = date_make(c.year, c.month, c.day, 0, 0, 0);
    DateValue r = date_add(d, DATE_UNIT_DAY, c.days);
    return date_format(MASK, r, 0);
}

// The C library's path into out (at least 16 units).
WideChar* reference(const DateCase& c, WideChar* out) {
    std::tm fields{};
    fields.tm_year = c.year - 1900;
    fields.tm_mon = c.month - 1;
    fields.tm_mday = c.day;
    std::time_t t = timegm(&fields);
    t += static_cast<std::time_t>(c.days) * 86400;
    std::tm result{};
    gmtime_r(&t, &result);
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y/%m/%d", &result);
    for (std::size_t i = 0; i <= n; ++i) {
        out[i] = static_cast<unsigned char>(text[i]);
    }
    return out;
}

std::string to_ascii(const WideChar* s) {
    std::string out;
    for (; s != nullptr && *s != 0; ++s) {
        out += static_cast<char>(*s);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    workspace_init();
    bench_register_pair(
        "date/make+add+format", TARGET,
        [] {
            WideChar ref[32];
            for (const DateCase& c : CASES) {
                std::string a = to_ascii(ours(c));
                std::string b = to_ascii(reference(c, ref));
                workspace_set_position(0);
                if (a != b) {
                    return "ours " + a + " vs reference " + b + " for " + std::to_string(c.year) + "-" +
                           std::to_string(c.month) + "-" + std::to_string(c.day) + " + " + std::to_string(c.days);
                }
            }
            return std::string();
        },
        [](benchmark::State& state) {
            for (auto _ : state) {
                for (const DateCase& c : CASES) {
                    bench_keep(ours(c));
                    workspace_set_position(0);
                }
            }
            state.SetItemsProcessed(state.iterations() * CASES.size());
        },
        [](benchmark::State& state) {
            WideChar out[32];
            for (auto _ : state) {
                for (const DateCase& c : CASES) {
                    bench_keep(reference(c, out));
                }
            }
            state.SetItemsProcessed(state.iterations() * CASES.size());
        });
    bench_note("rounds", "date rounds: 64 calculations per iteration");
    int status = bench_main(argc, argv, "Dates");
    workspace_end();
    return status;
}
