// Converters between 16-bit code units and byte texts.
#include "runtime/core/utf_convert.h"

#include "runtime/core/memory.h"
#include "runtime/core/wide_string.h"

#include <glib.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::int64_t BLOCK = 8; // units or sequences handled per bounds check on the fast paths
constexpr std::uint64_t ASCII_UNITS_MASK = 0xFF80FF80FF80FF80ull; // four units, all below 0x80
constexpr std::uint64_t ASCII_BYTES_MASK = 0x8080808080808080ull; // eight bytes, all below 0x80

// Four units or eight bytes read at once (any alignment).
[[maybe_unused]] std::uint64_t load_units(const WideChar* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

std::uint64_t load_bytes(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

bool is_high(std::uint32_t u) {
    return (u & 0xFC00) == 0xD800;
}
bool is_low(std::uint32_t u) {
    return (u & 0xFC00) == 0xDC00;
}
bool is_surrogate(std::uint32_t u) {
    return (u & 0xF800) == 0xD800;
}
bool is_continuation(std::uint32_t b) {
    return (b & 0xC0) == 0x80;
}

// UTF-8 bytes of a unit that is not a surrogate.
std::int64_t plain_unit_bytes(std::uint32_t u) {
    return 1 + (u >= 0x80) + (u >= 0x800);
}

// Counts one block of units (or the tail) unit by unit. Returns false when
// counting ends at a high surrogate that is not followed by a low one.
bool utf8_count_exact(const WideChar* units, std::int64_t count, std::int64_t& i, std::int64_t stop,
                      std::int64_t& bytes) {
    while (i < stop) {
        std::uint32_t u = units[i];
        if (!is_surrogate(u)) {
            bytes += plain_unit_bytes(u);
            ++i;
        } else if (is_high(u)) {
            if (i + 1 >= count || !is_low(units[i + 1])) return false;
            bytes += 4;
            i += 2;
        } else {
            bytes += 3; // a lone low surrogate
            ++i;
        }
    }
    return true;
}

#if defined(__SSE2__)

// Sum of the eight 16-bit lanes (as signed values).
std::int64_t lane_sum(__m128i v) {
    __m128i pairs = _mm_madd_epi16(v, _mm_set1_epi16(1)); // four 32-bit sums
    alignas(16) std::int32_t parts[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(parts), pairs);
    return std::int64_t{parts[0]} + parts[1] + parts[2] + parts[3];
}

// Bytes needed for units; stops at a high surrogate that is not followed by
// a low one. Eight units per step: each unit needs 3 bytes less one when it
// is at most 0x7FF and one more when at most 0x7F; a high surrogate that
// starts a pair inside the step needs 4 bytes for the pair, 2 less than its
// two units would. Steps with other surrogates go unit by unit.
std::int64_t utf8_count(const WideChar* units, std::int64_t count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit_1 = _mm_set1_epi16(0x7F);
    const __m128i limit_2 = _mm_set1_epi16(0x7FF);
    const __m128i surrogate_bits = _mm_set1_epi16(static_cast<short>(0xFC00));
    const __m128i high_tag = _mm_set1_epi16(static_cast<short>(0xD800));
    const __m128i low_tag = _mm_set1_epi16(static_cast<short>(0xDC00));
    std::int64_t bytes = 0;
    std::int64_t i = 0;
    while (i + 8 <= count) {
        __m128i adjust = zero; // per lane: minus the bytes saved below 3 per unit
        std::int64_t steps = 0;
        // At most 4096 steps per accumulator: a lane then holds at least -8192.
        while (i + 8 <= count && steps < 4096) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
            __m128i kind = _mm_and_si128(v, surrogate_bits);
            __m128i high = _mm_cmpeq_epi16(kind, high_tag);
            __m128i low = _mm_cmpeq_epi16(kind, low_tag);
            unsigned high_mask = static_cast<unsigned>(_mm_movemask_epi8(high));
            unsigned low_mask = static_cast<unsigned>(_mm_movemask_epi8(low));
            if ((high_mask << 2) != low_mask) break; // a surrogate outside a pair of this step
            adjust = _mm_add_epi16(adjust, _mm_cmpeq_epi16(_mm_subs_epu16(v, limit_1), zero));
            adjust = _mm_add_epi16(adjust, _mm_cmpeq_epi16(_mm_subs_epu16(v, limit_2), zero));
            adjust = _mm_add_epi16(adjust, _mm_add_epi16(high, high));
            i += 8;
            ++steps;
        }
        bytes += 3 * 8 * steps + lane_sum(adjust);
        if (steps < 4096 && i + 8 <= count) {
            if (!utf8_count_exact(units, count, i, i + 8, bytes)) return bytes;
        }
    }
    utf8_count_exact(units, count, i, count, bytes);
    return bytes;
}

#else

std::int64_t utf8_count(const WideChar* units, std::int64_t count) {
    std::int64_t bytes = 0;
    std::int64_t i = 0;
    utf8_count_exact(units, count, i, count, bytes);
    return bytes;
}

#endif

// Writes one unit that is not a surrogate; the caller made room for 3 bytes.
unsigned char* put_plain_unit(unsigned char* out, std::uint32_t u) {
    if (u < 0x80) {
        *out++ = static_cast<unsigned char>(u);
    } else if (u < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | (u >> 6));
        *out++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    } else {
        *out++ = static_cast<unsigned char>(0xE0 | (u >> 12));
        *out++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
    }
    return out;
}

#if defined(__SSE2__)

// Writes eight units that are all of one width (all ASCII, all two-byte or
// all three-byte characters, or four whole surrogate pairs) in one go and
// advances w; the caller made room for 25 bytes. False (nothing written) for
// mixed blocks.
bool write_uniform_block(const WideChar* units, unsigned char*& w) {
    const __m128i zero = _mm_setzero_si128();
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    unsigned one_byte =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x7F)), zero)));
    if (one_byte == 0xFFFF) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(w), _mm_packus_epi16(v, v));
        w += 8;
        return true;
    }
    unsigned up_to_two =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x7FF)), zero)));
    if (one_byte == 0 && up_to_two == 0xFFFF) {
        __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
        __m128i trail = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_or_si128(lead, _mm_slli_epi16(trail, 8)));
        w += 16;
        return true;
    }
    __m128i kind = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800)));
    unsigned surrogates =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(kind, _mm_set1_epi16(static_cast<short>(0xD800)))));
    if (up_to_two == 0 && surrogates == 0) {
        // Three bytes each, stored four at a time; the fourth byte is
        // overwritten by the next character or lies in the room made.
        for (int k = 0; k < 8; ++k) {
            std::uint32_t u = units[k];
            std::uint32_t word = (0xE0 | (u >> 12)) | ((0x80 | ((u >> 6) & 0x3F)) << 8) | ((0x80 | (u & 0x3F)) << 16);
            std::memcpy(w, &word, 4);
            w += 3;
        }
        return true;
    }
    // Four surrogate pairs, each starting at an even lane: four bytes each,
    // computed in 32-bit lanes (high unit in the low half, low unit above).
    __m128i high = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFC00))),
                                   _mm_set1_epi16(static_cast<short>(0xD800)));
    __m128i low = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFC00))),
                                  _mm_set1_epi16(static_cast<short>(0xDC00)));
    if (_mm_movemask_epi8(high) == 0x3333 && _mm_movemask_epi8(low) == 0xCCCC) {
        const __m128i six_bits = _mm_set1_epi32(0x3F);
        __m128i cp = _mm_add_epi32(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x3FF)), 10),
                                                _mm_and_si128(_mm_srli_epi32(v, 16), _mm_set1_epi32(0x3FF))),
                                   _mm_set1_epi32(0x10000));
        __m128i b0 = _mm_or_si128(_mm_srli_epi32(cp, 18), _mm_set1_epi32(0xF0));
        __m128i b1 = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(cp, 12), six_bits), _mm_set1_epi32(0x80));
        __m128i b2 = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(cp, 6), six_bits), _mm_set1_epi32(0x80));
        __m128i b3 = _mm_or_si128(_mm_and_si128(cp, six_bits), _mm_set1_epi32(0x80));
        __m128i bytes = _mm_or_si128(_mm_or_si128(b0, _mm_slli_epi32(b1, 8)),
                                     _mm_or_si128(_mm_slli_epi32(b2, 16), _mm_slli_epi32(b3, 24)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), bytes);
        w += 16;
        return true;
    }
    return false;
}

#endif

// Writes at most capacity bytes; a character that does not fit whole ends the
// conversion. 0 when a high surrogate is followed by a unit that is not a
// low surrogate.
std::int64_t utf8_write(const WideChar* units, std::int64_t count, unsigned char* out, std::int64_t capacity) {
    unsigned char* w = out;
    unsigned char* const end = out + capacity;
    std::int64_t i = 0;
    while (i < count && w < end) {
        // Fast path: a block of units with room for the widest output, one
        // unit (or pair) at a time without further bounds checks.
        // A pair may end one unit past the block: 3 * (BLOCK - 1) + 4 bytes.
        while (i + BLOCK <= count && end - w >= 3 * BLOCK + 1) {
#if defined(__SSE2__)
            static_assert(BLOCK == 8, "one vector of units per block");
            if (write_uniform_block(units + i, w)) {
                i += BLOCK;
                continue;
            }
#else
            std::uint64_t four = load_units(units + i);
            if ((four & ASCII_UNITS_MASK) == 0) {
                w[0] = static_cast<unsigned char>(four);
                w[1] = static_cast<unsigned char>(four >> 16);
                w[2] = static_cast<unsigned char>(four >> 32);
                w[3] = static_cast<unsigned char>(four >> 48);
                w += 4;
                i += 4;
                continue;
            }
#endif
            std::int64_t stop = i + BLOCK;
            while (i < stop) {
                std::uint32_t u = units[i];
                if (!is_surrogate(u)) {
                    w = put_plain_unit(w, u);
                    ++i;
                } else if (is_high(u)) {
                    if (i + 1 >= count) return w - out; // last input unit: the conversion ends here
                    std::uint32_t low = units[i + 1];
                    if (!is_low(low)) return 0; // broken pair: the whole conversion fails
                    std::uint32_t cp = 0x10000 + (((u & 0x3FF) << 10) | (low & 0x3FF));
                    w[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
                    w[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
                    w[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
                    w[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
                    w += 4;
                    i += 2;
                } else {
                    w = put_plain_unit(w, u); // a lone low surrogate: three bytes
                    ++i;
                }
            }
        }
        if (i >= count || w >= end) break;
        // Near the end of the input or the output: exact checks.
        std::uint32_t u = units[i];
        if (is_high(u)) {
            if (i + 1 >= count) break; // last input unit: the conversion ends here
            std::uint32_t low = units[i + 1];
            if (!is_low(low)) return 0;
            if (end - w < 4) break;
            std::uint32_t cp = 0x10000 + (((u & 0x3FF) << 10) | (low & 0x3FF));
            w[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            w[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            w[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            w[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            w += 4;
            i += 2;
            continue;
        }
        if (end - w < plain_unit_bytes(u)) break;
        w = put_plain_unit(w, u);
        ++i;
    }
    return w - out;
}

#if defined(__SSE2__)

// Sixteen bytes that are exactly four 4-byte sequences of code points
// U+10000..U+10FFFF become four surrogate pairs (written when Writing).
// False (nothing written) for anything else.
template <bool Writing> bool decode_four_pairs(const unsigned char* in, WideChar* out) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    unsigned leads = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
        _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xF8))), _mm_set1_epi8(static_cast<char>(0xF0)))));
    unsigned continuations = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
        _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), _mm_set1_epi8(static_cast<char>(0x80)))));
    if (leads != 0x1111 || continuations != 0xEEEE) return false;
    const __m128i six_bits = _mm_set1_epi32(0x3F);
    __m128i cp = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(v, _mm_set1_epi32(0x07)), 18),
                                           _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(v, 8), six_bits), 12)),
                              _mm_or_si128(_mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(v, 16), six_bits), 6),
                                           _mm_and_si128(_mm_srli_epi32(v, 24), six_bits)));
    // Overlong forms and code points above U+10FFFF take the exact path.
    __m128i offset = _mm_sub_epi32(cp, _mm_set1_epi32(0x10000));
    __m128i out_of_range =
        _mm_or_si128(_mm_cmplt_epi32(offset, _mm_setzero_si128()), _mm_cmpgt_epi32(offset, _mm_set1_epi32(0xFFFFF)));
    if (_mm_movemask_epi8(out_of_range) != 0) return false;
    if constexpr (Writing) {
        __m128i high = _mm_or_si128(_mm_srli_epi32(offset, 10), _mm_set1_epi32(0xD800));
        __m128i low = _mm_or_si128(_mm_and_si128(offset, _mm_set1_epi32(0x3FF)), _mm_set1_epi32(0xDC00));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(high, _mm_slli_epi32(low, 16)));
    }
    return true;
}

#endif

// Emits one decoded code point; false when the output is full (writing) or
// the code point lies above U+10FFFF: the conversion stops there.
template <bool Writing> bool emit(std::uint32_t cp, WideChar* out, std::int64_t capacity, std::int64_t& n) {
    if (cp <= 0xFFFF) {
        if constexpr (Writing) {
            if (n >= capacity) return false;
            out[n] = static_cast<WideChar>(cp);
        }
        n += 1;
        return true;
    }
    if (cp > 0x10FFFF) return false;
    if constexpr (Writing) {
        if (n + 2 > capacity) return false;
        out[n] = static_cast<WideChar>(0xD800 | ((cp - 0x10000) >> 10));
        out[n + 1] = static_cast<WideChar>(0xDC00 | ((cp - 0x10000) & 0x3FF));
    }
    n += 2;
    return true;
}

// One pass over UTF-8 bytes; counts units, or writes at most capacity of
// them. Well-formed sequences far from both ends take the fast path; the
// rest (errors, cut-off sequences, the last bytes) goes through the exact
// step below it.
template <bool Writing>
std::int64_t utf8_decode(const unsigned char* in, std::int64_t size, WideChar* out, std::int64_t capacity) {
    std::int64_t n = 0; // units counted or written
    std::int64_t i = 0;
    while (i < size) {
        // Fast path: room for BLOCK sequences of up to 4 bytes and 2 units each.
        while (i + 4 * BLOCK <= size && (!Writing || n + 2 * BLOCK <= capacity)) {
            std::uint64_t eight = load_bytes(in + i);
            if ((eight & ASCII_BYTES_MASK) == 0) {
                if constexpr (Writing)
                    for (int b = 0; b < 8; ++b)
                        out[n + b] = static_cast<WideChar>((eight >> (8 * b)) & 0xFF);
                n += 8;
                i += 8;
                continue;
            }
#if defined(__SSE2__)
            if (decode_four_pairs<Writing>(in + i, Writing ? out + n : nullptr)) {
                i += 16;
                n += 8;
                continue;
            }
#endif
            std::int64_t k = 0;
            for (; k < BLOCK; ++k) {
                std::uint32_t b0 = in[i];
                if (b0 < 0x80) {
                    if constexpr (Writing) out[n] = static_cast<WideChar>(b0);
                    n += 1;
                    i += 1;
                } else if (b0 >= 0xC0 && b0 <= 0xDF && is_continuation(in[i + 1])) {
                    if constexpr (Writing) out[n] = static_cast<WideChar>(((b0 & 0x1F) << 6) | (in[i + 1] & 0x3F));
                    n += 1;
                    i += 2;
                } else if (b0 >= 0xE0 && b0 <= 0xEF && is_continuation(in[i + 1]) && is_continuation(in[i + 2])) {
                    if constexpr (Writing)
                        out[n] = static_cast<WideChar>(((b0 & 0x0F) << 12) | ((in[i + 1] & 0x3Fu) << 6) |
                                                       (in[i + 2] & 0x3F));
                    n += 1;
                    i += 3;
                } else if (b0 >= 0xF0 && b0 <= 0xF4 && is_continuation(in[i + 1]) && is_continuation(in[i + 2]) &&
                           is_continuation(in[i + 3])) {
                    std::uint32_t cp = ((b0 & 0x07) << 18) | ((in[i + 1] & 0x3Fu) << 12) | ((in[i + 2] & 0x3Fu) << 6) |
                                       (in[i + 3] & 0x3F);
                    if (cp < 0x10000 || cp > 0x10FFFF) break; // unusual: the exact step handles it
                    if constexpr (Writing) {
                        out[n] = static_cast<WideChar>(0xD800 | ((cp - 0x10000) >> 10));
                        out[n + 1] = static_cast<WideChar>(0xDC00 | ((cp - 0x10000) & 0x3FF));
                    }
                    n += 2;
                    i += 4;
                } else {
                    break;
                }
            }
            if (k < BLOCK) break;
        }
        if (i >= size) break;
        // Exact step: one sequence with every check.
        std::uint32_t lead = in[i];
        std::uint32_t cp;
        int follow;
        if (lead < 0x80) {
            cp = lead;
            follow = 0;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            cp = lead & 0x1F;
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            cp = lead & 0x0F;
            follow = 2;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            cp = lead & 0x07;
            follow = 3;
        } else {
            // A continuation byte where a lead belongs, or F8-FF.
            return Writing ? 0 : n;
        }
        if (size - i - 1 < follow) break; // the sequence is cut off
        ++i;
        for (int k = 0; k < follow; ++k) {
            std::uint32_t c = in[i++];
            if (!is_continuation(c)) break; // ends the sequence early; the byte is consumed
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!emit<Writing>(cp, out, capacity, n)) break;
    }
    return n;
}

} // namespace

std::int64_t utf16_to_multibyte(int page, const WideChar* units, std::int64_t count, char* out, std::int64_t capacity) {
    if (units == nullptr) return 0;
    if (count == -1) count = string_length(units) + 1;
    if (count <= 0) return 0;
    if (page == CODEPAGE_UTF8) {
        if (out == nullptr) return utf8_count(units, count);
        if (capacity <= 0) return 0;
        return utf8_write(units, count, reinterpret_cast<unsigned char*>(out), capacity);
    }
    if (page == CODEPAGE_LATIN1) {
        if (out == nullptr) {
            std::int64_t bytes = 0;
            for (std::int64_t i = 0; i < count; ++i)
                if (units[i] < 256) ++bytes;
            return bytes;
        }
        std::int64_t w = 0;
        for (std::int64_t i = 0; i < count && w < capacity; ++i)
            if (units[i] < 256) out[w++] = static_cast<char>(units[i]);
        return w;
    }
    return 0;
}

std::int64_t multibyte_to_utf16(int page, const char* bytes, std::int64_t size, WideChar* out, std::int64_t capacity) {
    if (bytes == nullptr) return 0;
    if (size == -1) size = static_cast<std::int64_t>(std::strlen(bytes)) + 1;
    if (size <= 0) return 0;
    if (page == CODEPAGE_UTF8) {
        auto* in = reinterpret_cast<const unsigned char*>(bytes);
        if (out == nullptr) return utf8_decode<false>(in, size, nullptr, 0);
        if (capacity <= 0) return 0;
        return utf8_decode<true>(in, size, out, capacity);
    }
    if (page == CODEPAGE_LATIN1) {
        if (out == nullptr) return size;
        std::int64_t n = size < capacity ? size : capacity;
        for (std::int64_t i = 0; i < n; ++i)
            out[i] = static_cast<unsigned char>(bytes[i]);
        return n < 0 ? 0 : n;
    }
    return 0;
}

char* string_to_utf8_gtk(const WideChar* s) {
    if (s == nullptr) return g_strdup("");
    std::int64_t count = string_length(s) + 1;
    std::int64_t n = utf16_to_multibyte(CODEPAGE_UTF8, s, count, nullptr, 0);
    if (n <= 0) return g_strdup("");
    auto* text = static_cast<char*>(g_try_malloc(static_cast<gsize>(n + 1)));
    if (text == nullptr) return g_strdup("");
    std::int64_t m = utf16_to_multibyte(CODEPAGE_UTF8, s, count, text, n);
    text[m] = 0;
    // The toolkit takes only valid UTF-8 (it refuses the text and complains
    // otherwise): a lone low surrogate's three bytes ED B0..BF xx become
    // U+FFFD's three bytes EF BF BD in place. 0xED is never a continuation
    // byte, so every one found is the lead of a character.
    for (std::int64_t i = 0; i + 2 < m; ++i) {
        auto lead = static_cast<unsigned char>(text[i]);
        auto next = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xED && next >= 0xA0) {
            text[i] = static_cast<char>(0xEF);
            text[i + 1] = static_cast<char>(0xBF);
            text[i + 2] = static_cast<char>(0xBD);
            i += 2;
        }
    }
    return text;
}

char* string_to_utf8(const WideChar* s) {
    std::int64_t length = string_length(s);
    std::int64_t n = s == nullptr ? 0 : utf16_to_multibyte(CODEPAGE_UTF8, s, length + 1, nullptr, 0);
    char* text = n <= 0 ? nullptr : static_cast<char*>(mem_alloc(static_cast<std::size_t>(n + 1)));
    if (text == nullptr) {
        text = static_cast<char*>(mem_alloc(1));
        if (text != nullptr) text[0] = 0;
        return text;
    }
    std::int64_t m = utf16_to_multibyte(CODEPAGE_UTF8, s, length + 1, text, n);
    text[m] = 0;
    return text;
}

std::int64_t string_from_utf8(const char* text, std::int64_t at) {
    if (text == nullptr) text = "";
    std::int64_t size = static_cast<std::int64_t>(std::strlen(text)) + 1;
    std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, text, size, nullptr, 0);
    if (at < -1 || at > INT32_MAX) return 0;
    // Room for n - 1 units; the reservation always leaves space for one more
    // unit, where a valid text's terminator lands.
    std::int64_t room_units = n > 0 ? n - 1 : 0;
    WideChar* room = room_units > INT32_MAX
                         ? nullptr
                         : workspace_reserve(static_cast<std::int32_t>(room_units), static_cast<std::int32_t>(at));
    if (room == nullptr) {
        workspace_truncate(at == -1 ? workspace_position() : at); // an empty result when it fits
        return 0;
    }
    std::int64_t start = workspace_position() - 2 * room_units;
    std::int64_t m = n > 0 ? multibyte_to_utf16(CODEPAGE_UTF8, text, size, room, n) : 0;
    std::int64_t kept;
    if (m > 0 && room[m - 1] == 0) {
        kept = m - 1; // a valid text: its terminator is converted too
    } else if (m < n) {
        kept = m; // invalid input stopped the conversion early; there is room for a terminator
    } else {
        // Invalid input whose counted units filled the room and the spare
        // unit: extend the room by one unit so the terminator still fits.
        room = workspace_reserve(static_cast<std::int32_t>(n), static_cast<std::int32_t>(start));
        kept = room != nullptr ? n : n - 1;
        if (room == nullptr) room = workspace_string_at(start);
    }
    room[kept] = 0;
    workspace_set_position(start + 2 * kept);
    return kept + 1;
}

WideChar* string_from_utf8_alloc(const char* text) {
    if (text == nullptr) text = "";
    std::int64_t size = static_cast<std::int64_t>(std::strlen(text)) + 1;
    std::int64_t n = multibyte_to_utf16(CODEPAGE_UTF8, text, size, nullptr, 0);
    // One unit more than counted, so even invalid input ends terminated.
    auto* s = static_cast<WideChar*>(mem_alloc(static_cast<std::size_t>(2 * (n + 1))));
    if (s == nullptr) return nullptr;
    std::int64_t m = n > 0 ? multibyte_to_utf16(CODEPAGE_UTF8, text, size, s, n) : 0;
    if (m == 0 || s[m - 1] != 0) s[m] = 0;
    return s;
}

char* latin9_to_utf8(const char* text) {
    if (text == nullptr) return g_strdup("");
    char* converted = g_convert(text, -1, "UTF-8", "ISO-8859-15", nullptr, nullptr, nullptr);
    return converted != nullptr ? converted : g_strdup(text);
}

char* utf8_to_latin9(const char* text) {
    if (text == nullptr) return g_strdup("");
    char* converted = g_convert(text, -1, "ISO-8859-15", "UTF-8", nullptr, nullptr, nullptr);
    return converted != nullptr ? converted : g_strdup(text);
}
