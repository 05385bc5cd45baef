// UTF-16 <-> UTF-8 converters against GLib's g_utf16_to_utf8 / g_utf8_to_utf16
// on ASCII, Latin-1, CJK and emoji texts, as 1 M-code-point texts and as
// 16-character strings (the size that crosses into GTK). Both sides start
// from the same terminated input and end with a new converted text (or, for
// the workspace form, the text in the thread's workspace).
#include "bench_support.h"
#include "bench_text.h"

#include "runtime/core/utf_convert.h"
#include "runtime/core/wide_string.h"

#include <glib.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint64_t LONG_TEXT = 1000000; // code points of a long text
constexpr std::uint64_t SHORT_TEXT = 16;     // code points of a short string
constexpr double LONG_TARGET = 1.5;
constexpr double SHORT_TARGET = 1.0;

struct Texts {
    std::vector<WideChar> utf16; // terminated
    std::string utf8;            // terminated by c_str()
    std::uint64_t code_points;   // length in code points
};

std::string compare_bytes(const char* ours, const char* reference) {
    if (ours == nullptr || reference == nullptr) {
        return "a side gave no text";
    }
    if (std::strcmp(ours, reference) != 0) {
        return "UTF-8 texts differ";
    }
    return "";
}

std::string compare_units(const WideChar* ours, const gunichar2* reference, std::size_t units) {
    if (ours == nullptr || reference == nullptr) {
        return "a side gave no text";
    }
    if (std::memcmp(ours, reference, (units + 1) * sizeof(WideChar)) != 0) {
        return "UTF-16 texts differ";
    }
    return "";
}

// Our multibyte form as a caller uses it for a new text: size query, block,
// conversion. Returns a malloc'd text.
char* ours_multibyte(const WideChar* s) {
    std::int64_t need = utf16_to_multibyte(CODEPAGE_UTF8, s, -1, nullptr, 0);
    char* out = static_cast<char*>(std::malloc(need > 0 ? need : 1));
    if (out != nullptr) {
        std::int64_t written = utf16_to_multibyte(CODEPAGE_UTF8, s, -1, out, need);
        if (written <= 0) {
            out[0] = 0;
        }
    }
    return out;
}

WideChar* ours_from_multibyte(const char* text, std::int64_t* units) {
    std::int64_t need = multibyte_to_utf16(CODEPAGE_UTF8, text, -1, nullptr, 0);
    auto* out = static_cast<WideChar*>(std::malloc((need > 0 ? need : 1) * sizeof(WideChar)));
    if (out != nullptr) {
        *units = multibyte_to_utf16(CODEPAGE_UTF8, text, -1, out, need);
        if (*units <= 0) {
            out[0] = 0;
        }
    }
    return out;
}

void register_text(TextKind kind, std::uint64_t code_points) {
    auto texts = std::make_shared<Texts>();
    texts->utf16 = make_utf16(kind, code_points);
    texts->utf8 = make_utf8(kind, code_points);
    texts->code_points = code_points;
    const bool is_long = code_points == LONG_TEXT;
    const double target = is_long ? LONG_TARGET : SHORT_TARGET;
    const std::string suffix = std::string(is_long ? "/1M/" : "/16/") + text_kind_name(kind);
    const std::size_t units = texts->utf16.size() - 1;
    auto per_point = [texts](benchmark::State& state) {
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts->code_points));
    };

    // UTF-16 -> UTF-8, new text: string_to_utf8 vs g_utf16_to_utf8.
    bench_register_pair(
        "to_utf8/string_to_utf8" + suffix, target,
        [texts] {
            char* ours = string_to_utf8(texts->utf16.data());
            gchar* ref =
                g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(texts->utf16.data()), -1, nullptr, nullptr, nullptr);
            std::string diff = compare_bytes(ours, ref);
            if (diff.empty() && texts->utf8 != ours) {
                diff = "text differs from the expected UTF-8";
            }
            std::free(ours);
            g_free(ref);
            return diff;
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                char* out = string_to_utf8(texts->utf16.data());
                bench_keep(out);
                std::free(out);
            }
            per_point(state);
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                gchar* out = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(texts->utf16.data()), -1, nullptr,
                                             nullptr, nullptr);
                bench_keep(out);
                g_free(out);
            }
            per_point(state);
        });

    // UTF-16 -> UTF-8 through the code-page converter (size query + convert).
    bench_register_pair(
        "to_utf8/utf16_to_multibyte" + suffix, target,
        [texts] {
            char* ours = ours_multibyte(texts->utf16.data());
            gchar* ref =
                g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(texts->utf16.data()), -1, nullptr, nullptr, nullptr);
            std::string diff = compare_bytes(ours, ref);
            std::free(ours);
            g_free(ref);
            return diff;
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                char* out = ours_multibyte(texts->utf16.data());
                bench_keep(out);
                std::free(out);
            }
            per_point(state);
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                gchar* out = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(texts->utf16.data()), -1, nullptr,
                                             nullptr, nullptr);
                bench_keep(out);
                g_free(out);
            }
            per_point(state);
        });

    // UTF-8 -> UTF-16 into the workspace (the GTK boundary's return path)
    // vs g_utf8_to_utf16 into a new block.
    bench_register_pair(
        "from_utf8/string_from_utf8" + suffix, target,
        [texts, units] {
            workspace_set_position(0);
            std::int64_t converted = string_from_utf8(texts->utf8.c_str(), 0);
            glong written = 0;
            gunichar2* ref = g_utf8_to_utf16(texts->utf8.c_str(), -1, nullptr, &written, nullptr);
            std::string diff;
            if (converted != static_cast<std::int64_t>(units) + 1 || written != static_cast<glong>(units)) {
                diff = "unit counts differ";
            } else {
                diff = compare_units(workspace_string_at(0), ref, units);
            }
            if (diff.empty() && std::memcmp(ref, texts->utf16.data(), units * 2) != 0) {
                diff = "text differs from the expected UTF-16";
            }
            g_free(ref);
            workspace_set_position(0);
            return diff;
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                std::int64_t converted = string_from_utf8(texts->utf8.c_str(), 0);
                bench_keep(converted);
                workspace_set_position(0);
            }
            per_point(state);
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                gunichar2* out = g_utf8_to_utf16(texts->utf8.c_str(), -1, nullptr, nullptr, nullptr);
                bench_keep(out);
                g_free(out);
            }
            per_point(state);
        });

    // UTF-8 -> UTF-16 through the code-page converter into a new block.
    bench_register_pair(
        "from_utf8/multibyte_to_utf16" + suffix, target,
        [texts, units] {
            std::int64_t converted = 0;
            WideChar* ours = ours_from_multibyte(texts->utf8.c_str(), &converted);
            glong written = 0;
            gunichar2* ref = g_utf8_to_utf16(texts->utf8.c_str(), -1, nullptr, &written, nullptr);
            std::string diff;
            if (converted != static_cast<std::int64_t>(units) + 1 || written != static_cast<glong>(units)) {
                diff = "unit counts differ";
            } else {
                diff = compare_units(ours, ref, units);
            }
            std::free(ours);
            g_free(ref);
            return diff;
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                std::int64_t converted = 0;
                WideChar* out = ours_from_multibyte(texts->utf8.c_str(), &converted);
                bench_keep(out);
                std::free(out);
            }
            per_point(state);
        },
        [texts, per_point](benchmark::State& state) {
            for (auto _ : state) {
                gunichar2* out = g_utf8_to_utf16(texts->utf8.c_str(), -1, nullptr, nullptr, nullptr);
                bench_keep(out);
                g_free(out);
            }
            per_point(state);
        });
}

} // namespace

int main(int argc, char** argv) {
    workspace_init();
    for (std::uint64_t size : {LONG_TEXT, SHORT_TEXT}) {
        for (TextKind kind : {TextKind::ASCII, TextKind::LATIN1, TextKind::CJK, TextKind::EMOJI}) {
            register_text(kind, size);
        }
    }
    int status = bench_main(argc, argv, "UTF converters");
    workspace_end();
    return status;
}
