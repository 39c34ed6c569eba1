// A cell log's shape, read as the plot loop reads it but drawn nowhere, and
// the limits that put every one of its values inside its own cell box.
#include "scan.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "eight_bytes.h"

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace {

void tally(LineTally& tally, long long line, long long n = 1) {
    if (tally.count == 0) tally.first_line = line;
    tally.count += n;
}

using eight_bytes::first_marked;
using eight_bytes::is_digit;
using eight_bytes::kBytes;
using eight_bytes::leading_digits;
using eight_bytes::load_eight;

// The looks at a token's bytes read eight at a time, first byte lowest;
// elsewhere every token is converted.
constexpr bool kLookAtBytes = eight_bytes::kLittleEndian;

constexpr std::uint64_t kOnes = kBytes(1);
constexpr std::uint64_t kHighBits = kBytes(0x80);

// The high bit of every byte of `eight` that equals `c`, and no other.
std::uint64_t bytes_equal(std::uint64_t eight, unsigned char c) {
    const std::uint64_t x = eight ^ (kOnes * c);
    const std::uint64_t low_seven = kBytes(0x7F);
    return ~(((x & low_seven) + low_seven) | x) & kHighBits;
}

// How many of the eight bytes, first byte lowest, equal `c` before the
// first that does not (8 when all do).
int leading_bytes(std::uint64_t eight, unsigned char c) {
    const std::uint64_t differ = ~bytes_equal(eight, c) & kHighBits;
    return differ == 0 ? 8 : first_marked(differ);
}

constexpr int kMostPower = 300;

// 10^-300 to 10^300, each made a little smaller and a little larger: wider
// than the error of any step of a bound, and of the conversion's rounding.
struct PowersOfTen {
    double below[2 * kMostPower + 1];
    double above[2 * kMostPower + 1];
    PowersOfTen() {
        for (int k = -kMostPower; k <= kMostPower; ++k) {
            const double power = std::pow(10.0, k);
            below[k + kMostPower] = power * (1 - 1e-9);
            above[k + kMostPower] = power * (1 + 1e-9);
        }
    }
};
const PowersOfTen powers_of_ten;

// The plot loop's reading of the log, with what each line and row shows
// noted down in `shape`.
class Scanner {
public:
    Scanner(CellLogStream& stream, LogShape& shape) : stream_(stream), shape_(shape) {}

    // The next line, numbered.
    LineView read() {
        const bool was_ended = stream_.end_reached;
        const std::size_t cut = stream_.lines_cut;
        const LineView line = read_line_view(stream_, line_buffer_);
        ++line_number_;
        // A heading of any length is ignored whole.
        if (stream_.lines_cut != cut && line_number_ > 1) tally(shape_.long_lines, line_number_);
        if (!was_ended && stream_.end_reached && line.length > 0) {
            // Read, but left undrawn: the end of the file came before its line end.
            shape_.unended_line = line_number_;
            double values[kMaxRowValues];
            shape_.unended_values = split_row(line, values);
        }
        return line;
    }

    // A row the viewer draws: its values as split_row gives them, the
    // first kMaxRowValues tokens, each converted by the viewer's own
    // conversion, except where a look at its first bytes shows that it lies
    // between the smallest and largest values so far, which it then leaves
    // as they are. Returns how many values it has.
    int take_row(const LineView& line) {
        const char* const begin = line.text;
        const char* const end = line.text + line.length;
        // A row of whole numbers (a cellular model's states, spins, counts)
        // up to eight tokens at a look, each token's value and kind (number
        // or not) from that one look.
        // While its rows need no second look (no zero, no new extreme: a log
        // of counts or spins), the viewer's split of the whole row is
        // quicker still; after one that did, the next rows are read by looks,
        // twice as many each time it happens again in a row (a log of
        // states, with zeros in every row).
        if (whole_number_start(line)) {
            if (rows_by_looks_ > 0) {
                --rows_by_looks_;
                return take_tokens(line, true, false);
            }
            const int count = split_whole(line);
            if (looked_again_) {
                rows_by_looks_ = looks_run_;
                looks_run_ = looks_run_ < kMostLooksRun ? 2 * looks_run_ : kMostLooksRun;
            } else {
                looks_run_ = kFirstLooksRun;
            }
            return count;
        }
        // Short decimals passed over by their form, token by token, while
        // the extremes lie either side of zero and the row's first token is
        // (a noisy log's, or one of sines); the viewer's split does as well
        // on the one-digit decimals of a model's log, which stay positive.
        if (bounds_stale_) set_digit_bounds();
        const char* first = begin;
        while (first != end && *first == ' ') ++first;
        if (any_finite_ && shape_.smallest_finite < 0 && shape_.largest_finite > 0 && end - first >= kLookSpan &&
            look_past_short(first) != nullptr) {
            return take_tokens(line, false, true);
        }
        // Short numbers the viewer's own split converts about as quickly as
        // any look at them: a row whose first token is short is split whole.
        const char* const short_end = end - first > kShortToken ? first + kShortToken + 1 : end;
        const char* blank = first;
        while (blank != short_end && *blank != ' ') ++blank;
        if (blank != short_end || short_end == end) return split_whole(line);
        return take_tokens(line, false, false);
    }

    long long line_number() const { return line_number_; }

private:
    // A token of at most this many bytes is short.
    static constexpr std::ptrdiff_t kShortToken = 10;

    // Whether the line's first 16 bytes are all blanks, digits and minus
    // signs.
    static bool whole_number_start(const LineView& line) {
#if defined(__SSE2__) && defined(__GNUC__)
        if (line.length < 16) return false;
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.text));
        const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets);
        const __m128i others =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')));
        return _mm_movemask_epi8(_mm_or_si128(digits, others)) == 0xFFFF;
#else
        (void)line;
        return false;
#endif
    }

    // The whole numbers that end within the 16 bytes at `look`, as
    // convert_whole_numbers converts them, with a minus sign that starts a
    // token in the last of the 16 read as a blank: its token, cut off there,
    // is left for the next look rather than failing this one (a log of spins
    // fails one look in four that way). Returns the byte after the last, or
    // null.
    static const char* whole_numbers(const char* look, double* values, int room, int* converted) {
#if defined(__SSE2__) && defined(__GNUC__)
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(look));
        // A minus sign after a digit ("1-") is part of the token before it.
        const __m128i after_blank = _mm_slli_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), 1);
        const __m128i last_minus =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')), after_blank),
                          _mm_set_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
        // '-' ^ ('-' ^ ' ') is the blank.
        alignas(16) char window[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(window),
                        _mm_xor_si128(bytes, _mm_and_si128(last_minus, _mm_set1_epi8('-' ^ ' '))));
        const char* const stop = convert_whole_numbers(window, values, room, converted);
        return stop != nullptr ? look + (stop - window) : nullptr;
#else
        return convert_whole_numbers(look, values, room, converted);
#endif
    }

    // take_row token by token: whole numbers by whole_numbers (`windows`)
    // until two looks in a row find other text, the rest by
    // look_past_short (`short_looks`), look_past or the viewer's conversion
    // of each token.
    int take_tokens(const LineView& line, bool windows, bool short_looks) {
        const char* const begin = line.text;
        const char* const end = line.text + line.length;
        int count = 0;
        const char* p = begin;
        // Where a token may start and still be looked at in place; the rest
        // of the line from a copy padded with blanks.
        const char* const in_place = line.length >= kLookSpan ? end - kLookSpan : begin;
        char padded[2 * kLookSpan];
        bool copied = false;
        int window_misses = windows ? 0 : 2;
        while (count < kMaxRowValues) {
            while (p != end && *p == ' ') ++p;
            if (p == end) break;
            if (p >= in_place && !copied) {
                std::memset(padded, ' ', sizeof padded);
                std::memcpy(padded, p, static_cast<std::size_t>(end - p));
                copied = true;
                copy_offset_ = p;
            }
            // p, or the same byte in the copy.
            const char* const look = copied ? padded + (p - copy_offset_) : p;
            if (window_misses < 2) {
                // Slots the look leaves alone keep a value between the
                // extremes, so that all eight are compared at once.
                alignas(16) double values[8];
                for (double& v : values) v = shape_.smallest_finite;
                int converted = 0;
                if (const char* const after = whole_numbers(look, values, kMaxRowValues - count, &converted)) {
                    take_numbers(values, converted);
                    count += converted;
                    // Past the last token's blank, which in the copy may
                    // be the padding's.
                    const std::ptrdiff_t moved = after - look;
                    p = moved < end - p ? p + moved : end;
                    window_misses = 0;
                    continue;
                }
                ++window_misses;
            }
            ++count;
            const char* stop = short_looks ? look_past_short(look) : nullptr;
            if (stop == nullptr) stop = look_past(look);
            if (stop != nullptr) {
                p += stop - look;
                continue;
            }
            double v;
            const char* const token_end = convert_token(p, end, &v);
            take_value(v, p, token_end);
            p = token_end;
        }
        if (count == kMaxRowValues) {
            while (p != end && *p == ' ') ++p;
            if (p != end) tally(shape_.long_rows, line_number_);
        }
        shape_.values += count;
        return count;
    }

    // take_row by the viewer's own split of the whole row.
    int split_whole(const LineView& line) {
        double values[kMaxRowValues];
        const int count = split_row(line, values);
        shape_.values += count;
        if (count == 0) return 0;
        double low = values[0];
        double high = values[0];
        bool zero = false;
        int c = 0;
#if defined(__SSE2__) && defined(__GNUC__)
        // Two values a step: no value is a NaN, so min and max are the
        // comparisons below.
        __m128d lows = _mm_set1_pd(low);
        __m128d highs = lows;
        __m128d zeros = _mm_setzero_pd();
        for (; c + 2 <= count; c += 2) {
            const __m128d v = _mm_loadu_pd(values + c);
            lows = _mm_min_pd(lows, v);
            highs = _mm_max_pd(highs, v);
            zeros = _mm_or_pd(zeros, _mm_cmpeq_pd(v, _mm_setzero_pd()));
        }
        double two[2];
        _mm_storeu_pd(two, lows);
        low = two[0] < two[1] ? two[0] : two[1];
        _mm_storeu_pd(two, highs);
        high = two[0] > two[1] ? two[0] : two[1];
        zero = _mm_movemask_pd(zeros) != 0;
#endif
        for (; c < count; ++c) {
            const double v = values[c];
            low = v < low ? v : low;
            high = v > high ? v : high;
            zero |= v == 0;
        }
        // A value equal to an extreme so far changes nothing.
        const bool inside = any_finite_ && low >= shape_.smallest_finite && high <= shape_.largest_finite;
        looked_again_ = !inside || zero || count == kMaxRowValues;
        if (looked_again_) {
            // The rare row: each token again, for its value and its text.
            const char* p = line.text;
            const char* const end = line.text + line.length;
            for (int k = 0; k < count; ++k) {
                while (*p == ' ') ++p;
                const void* blank = std::memchr(p, ' ', static_cast<std::size_t>(end - p));
                const char* const stop = blank != nullptr ? static_cast<const char*>(blank) : end;
                take_value(values[k], p, stop);
                p = stop;
            }
            if (count == kMaxRowValues) {
                while (p != end && *p == ' ') ++p;
                if (p != end) tally(shape_.long_rows, line_number_);
            }
        }
        return count;
    }


    // Bytes looked at from a token's start at most: a token longer than
    // kLongest is always converted.
    static constexpr std::ptrdiff_t kLongest = 32;
    static constexpr std::ptrdiff_t kLookSpan = kLongest + 16;

    // One converted value of the token [token, token_end).
    void take_value(double v, const char* token, const char* token_end) {
        take_number(v);
        // A token with no number is read as +0.
        if (v == 0 && !std::signbit(v) && !token_has_number(token, token_end)) tally(shape_.not_numbers, line_number_);
    }

    // The first `n` of eight values whose tokens all have a number; the
    // others lie between the finite extremes so far, when there are any. A
    // value equal to an extreme changes nothing, which is how every value of
    // a log of states or spins lies.
    void take_numbers(const double (&values)[8], int n) {
        if (any_finite_) {
#if defined(__SSE2__) && defined(__GNUC__)
            // No value is a NaN, so min and max are the comparisons below.
            const __m128d a = _mm_load_pd(values);
            const __m128d b = _mm_load_pd(values + 2);
            const __m128d c = _mm_load_pd(values + 4);
            const __m128d d = _mm_load_pd(values + 6);
            const __m128d lows = _mm_min_pd(_mm_min_pd(a, b), _mm_min_pd(c, d));
            const __m128d highs = _mm_max_pd(_mm_max_pd(a, b), _mm_max_pd(c, d));
            const __m128d outside = _mm_or_pd(_mm_cmplt_pd(lows, _mm_set1_pd(shape_.smallest_finite)),
                                              _mm_cmpgt_pd(highs, _mm_set1_pd(shape_.largest_finite)));
            if (_mm_movemask_pd(outside) == 0) return;
#else
            double low = values[0];
            double high = values[0];
            for (const double v : values) {
                low = v < low ? v : low;
                high = v > high ? v : high;
            }
            if (low >= shape_.smallest_finite && high <= shape_.largest_finite) return;
#endif
        }
        for (int k = 0; k < n; ++k) take_number(values[k]);
    }

    void take_number(double v) {
        if (!any_value_ || v < shape_.smallest) shape_.smallest = v;
        if (!any_value_ || v > shape_.largest) shape_.largest = v;
        any_value_ = true;
        if (std::isinf(v)) {
            tally(shape_.infinite, line_number_);
        } else if (!any_finite_ || v < shape_.smallest_finite || v > shape_.largest_finite) {
            if (!any_finite_ || v < shape_.smallest_finite) shape_.smallest_finite = v;
            if (!any_finite_ || v > shape_.largest_finite) shape_.largest_finite = v;
            any_finite_ = true;
            bounds_stale_ = true;
        }
    }

    // Tokens of at most this many bytes are looked at by look_past_short.
    static constexpr int kShortLook = 15;

    // digit_bounds_ for the finite extremes as they now are.
    void set_digit_bounds() {
        double place = 1;  // 10^(w - 1), exact
        for (int w = 1; w <= kShortLook; ++w, place *= 10) {
            unsigned positive = 0;
            unsigned negative = 0;
            for (int d = 0; d <= 9; ++d) {
                // Exact: the magnitudes lie from d * place up to (d + 1) * place.
                const double low = d * place;
                const double high = (d + 1) * place;
                if (low >= shape_.smallest_finite && high <= shape_.largest_finite) positive |= 1u << d;
                if (-high >= shape_.smallest_finite && -low <= shape_.largest_finite) negative |= 1u << d;
            }
            digit_bounds_[0][w] = static_cast<std::uint16_t>(positive);
            digit_bounds_[1][w] = static_cast<std::uint16_t>(negative);
        }
        bounds_stale_ = false;
    }

    // The end of the token at `t` when its value lies between the finite
    // extremes so far (or on one of them, which changes nothing), by its
    // form alone: a minus sign or none, w digits, the first of them d, a
    // point among or after them or none, a blank within 32 bytes: its
    // magnitude lies from d * 10^(w - 1) up to (d + 1) * 10^(w - 1). Null when
    // the token must be converted. The tokens of a noisy log of decimals,
    // which lie anywhere between the extremes, are passed over in a few
    // instructions each, from masks of one 16-byte load, or two. At least
    // 32 bytes lie from `t` on.
    const char* look_past_short(const char* t) const {
#if defined(__SSE2__) && defined(__GNUC__)
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        const ByteMasks masks = byte_masks(first);
        if (masks.blanks != 0) return past_if_between(t, masks.blanks, masks.digits, masks.points);
        // Up to 31 bytes (the shortest text of a double takes up to 24)
        // from a second load.
        const ByteMasks more = byte_masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16)));
        if (more.blanks == 0) return nullptr;
        return past_if_between(t, more.blanks << 16, masks.digits | more.digits << 16, masks.points | more.points << 16);
#else
        (void)t;
        return nullptr;
#endif
    }

#if defined(__SSE2__) && defined(__GNUC__)
    // Which of 16 bytes are blanks, digits and points.
    struct ByteMasks {
        std::uint32_t blanks;
        std::uint32_t digits;
        std::uint32_t points;
    };
    static ByteMasks byte_masks(__m128i bytes) {
        const auto mask_of = [](__m128i m) { return static_cast<std::uint32_t>(_mm_movemask_epi8(m)); };
        const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        return {mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))),
                mask_of(_mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets)),
                mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')))};
    }

    // look_past_short's test, from the masks of the bytes at `t` on
    // (`blanks` not 0).
    const char* past_if_between(const char* t, std::uint32_t blanks, std::uint32_t all_digits,
                                std::uint32_t all_points) const {
        const int length = __builtin_ctz(blanks);
        const std::uint32_t in_token = (1u << length) - 1;
        const std::uint32_t digits = all_digits & in_token;
        const std::uint32_t points = all_points & in_token;
        const unsigned sign = t[0] == '-' ? 1u : 0u;
        // Digits and at most one point after the sign, a digit first.
        if ((digits | points | sign) != in_token || (points & (points - 1)) != 0 || ((digits >> sign) & 1u) == 0) {
            return nullptr;
        }
        const int whole = __builtin_ctz(points | (1u << length)) - static_cast<int>(sign);
        if (whole > kShortLook) return nullptr;
        return ((digit_bounds_[sign][whole] >> (t[sign] - '0')) & 1u) != 0 ? t + length : nullptr;
    }
#endif

    // The end of the token at `t` when its value lies strictly between the
    // finite extremes so far, by its form alone: an optional minus sign,
    // digits, optionally a point and digits, optionally an exponent,
    // with the first two significant digits and the place of the first
    // giving bounds a few per cent apart. Null when the token must be
    // converted. At least kLookSpan bytes lie from `t` on.
    const char* look_past(const char* t) const {
        if (!any_finite_ || !kLookAtBytes) return nullptr;
        const bool negative = *t == '-';
        const char* q = t + (negative ? 1 : 0);
        const int whole = leading_digits(load_eight(q));
        if (whole == 0 || whole == 8) return nullptr;
        // The first two significant digits as a number from 10 to 99, and
        // the power of ten of the second: the value's magnitude is at least
        // lead * 10^power and below (lead + 1) * 10^power.
        int lead;
        int power;
        const char* rest;  // from here on no digit moves the value's place
        if (q[0] != '0') {
            if (whole >= 2) {
                lead = (q[0] - '0') * 10 + (q[1] - '0');
                power = whole - 2;
            } else {
                lead = (q[0] - '0') * 10 + (q[1] == '.' && is_digit(q[2]) ? q[2] - '0' : 0);
                power = -1;
            }
            rest = q + whole;
        } else {
            // 0.000ddd: the zeros after the point say where the digits start.
            if (whole != 1 || q[1] != '.') return nullptr;
            const int zeros = leading_bytes(load_eight(q + 2), '0');
            if (zeros == 8 || !is_digit(q[2 + zeros])) return nullptr;
            const char* const first = q + 2 + zeros;
            lead = (first[0] - '0') * 10 + (is_digit(first[1]) ? first[1] - '0' : 0);
            power = -(zeros + 2);
            rest = first + 1;
        }
        // The token's end, and whether an exponent letter lies in it.
        const char* stop = nullptr;
        const char* letter = nullptr;
        for (const char* w = t; w < t + kLongest; w += 8) {
            const std::uint64_t eight = load_eight(w);
            const std::uint64_t blank = bytes_equal(eight, ' ');
            // 'E' and 'e' differ in the bit 0x20 alone, and no other byte
            // becomes 'e' with it set.
            std::uint64_t e = bytes_equal(eight | (kOnes * 0x20), 'e');
            if (blank != 0) {
                const int at = first_marked(blank);
                e &= at == 0 ? 0 : ~0ULL >> (64 - 8 * at);
                if (e != 0 && letter == nullptr) letter = w + first_marked(e);
                stop = w + at;
                break;
            }
            if (e != 0 && letter == nullptr) letter = w + first_marked(e);
        }
        if (stop == nullptr) return nullptr;
        if (letter != nullptr) {
            // Only the plain form: digits and at most one point up to the
            // letter, then a sign or none and one to three digits.
            const char* d = rest;
            if (d == q + whole && *d == '.') ++d;
            while (d < letter) {
                const int n = leading_digits(load_eight(d));
                if (d + n >= letter) break;
                if (n < 8) return nullptr;
                d += 8;
            }
            const char* c = letter + 1;
            const bool down = *c == '-';
            if (*c == '-' || *c == '+') ++c;
            const int n = static_cast<int>(stop - c);
            if (n < 1 || n > 3) return nullptr;
            int exponent = 0;
            for (; c != stop; ++c) {
                if (!is_digit(*c)) return nullptr;
                exponent = exponent * 10 + (*c - '0');
            }
            power += down ? -exponent : exponent;
        }
        if (power < -kMostPower || power > kMostPower) return nullptr;
        const double low = lead * powers_of_ten.below[power + kMostPower];
        const double high = (lead + 1) * powers_of_ten.above[power + kMostPower];
        const bool inside = negative ? -high > shape_.smallest_finite && -low < shape_.largest_finite
                                     : low > shape_.smallest_finite && high < shape_.largest_finite;
        return inside ? stop : nullptr;
    }

    CellLogStream& stream_;
    LogShape& shape_;
    long long line_number_ = 0;
    bool any_value_ = false;
    bool any_finite_ = false;
    // For a token of w whole digits (1 to kShortLook), positive or
    // negative, the first digits d that keep every such value between the
    // finite extremes, as bit d. Set from the extremes before each row
    // when take_number has moved them since; within the row they can only
    // have widened, so the bits stay true.
    std::uint16_t digit_bounds_[2][kShortLook + 1] = {};
    bool bounds_stale_ = false;
    // Whether split_whole's last row took each token again; how many rows of
    // whole numbers are still to be read by looks, and how many the next
    // such run is to be.
    static constexpr int kFirstLooksRun = 8;
    static constexpr int kMostLooksRun = 256;
    bool looked_again_ = false;
    int rows_by_looks_ = 0;
    int looks_run_ = kFirstLooksRun;
    // Where the padded copy of the line's end was taken from.
    const char* copy_offset_ = nullptr;
    char line_buffer_[kLineBufferSize];
};

}  // namespace

bool token_has_number(const char* token, const char* end) {
    const char* p = token;
    // White space other than the blank, which ends a token.
    while (p != end && static_cast<unsigned char>(*p - '\t') < 5) ++p;
    if (p != end && (*p == '-' || *p == '+')) ++p;
    return p != end && (is_digit(*p) || (*p == '.' && end - p >= 2 && is_digit(p[1])));
}

bool scan_cell_log(CellLogStream& stream, LogShape& shape) {
    shape = LogShape{};
    Scanner scanner(stream, shape);
    // The viewer's checks before its window opens: a heading, then a first
    // row with characters, each with its line end.
    (void)scanner.read();
    if (stream.end_reached) return false;
    LineView line = scanner.read();
    if (stream.end_reached || line.length == 0) return false;

    // The plot loop's own steps, row by row.
    int row_index = 0;
    double block_time = 0;
    bool first_row = true;
    for (;;) {
        if (row_index == 0) {
            ++shape.blocks;
            shape.last_time = block_time;
        }
        const int count = scanner.take_row(line);
        if (first_row) {
            shape.grid = count;
            first_row = false;
        }
        if (count != shape.grid) tally(shape.irregular_rows, scanner.line_number());
        line = scanner.read();
        if (row_index < INT_MAX) ++row_index;
        if (is_blank_line(line)) {
            line = scanner.read();
            block_time += 0.025;  // a running sum, as the viewer keeps it
            row_index = 0;
        }
        if (stream.end_reached) return true;
    }
}

// ---------------------------------------------------------------------------
// Limits.

namespace {

// The mapping's inputs, put back as they were when this goes.
class MappingState {
public:
    MappingState(int area_width, int area_height, int grid)
        : minimox_(minimox), minimoy_(minimoy), maximox_(maximox), maximoy_(maximoy), plot_width_(plot_width),
          plot_height_(plot_height), grid_columns_(grid_columns), grid_rows_(grid_rows) {
        plot_width = area_width;
        plot_height = area_height;
        grid_columns = grid;
        grid_rows = grid;
    }
    ~MappingState() {
        minimox = minimox_;
        minimoy = minimoy_;
        maximox = maximox_;
        maximoy = maximoy_;
        plot_width = plot_width_;
        plot_height = plot_height_;
        grid_columns = grid_columns_;
        grid_rows = grid_rows_;
    }
    MappingState(const MappingState&) = delete;
    MappingState& operator=(const MappingState&) = delete;

private:
    double minimox_, minimoy_, maximox_, maximoy_;
    int plot_width_, plot_height_, grid_columns_, grid_rows_;
};

// One axis of the boxes: the data's extremes along it, and whether limits
// put both of them inside every box of the grid.
struct Axis {
    double low;
    double high;
    bool across;  // time, across the boxes; else values, up them
    bool clear;   // off the grid lines, not merely inside the box
};

// Box (column or row) `b` of `n` holds the point, along the axis. A box
// spans x from b * width to (b + 1) * width - 1, its right grid line on the
// last; the first box has its left line on its own first pixel. It spans y
// from its top line down to the pixel above its bottom line, which is the
// next box's top line (or below the clip).
bool inside(const Axis& axis, ScreenPoint p, int b, int n) {
    if (!p.placed) return false;
    const int clear = axis.clear ? 1 : 0;
    if (axis.across) {
        const int width = plot_width / n;
        return p.x >= b * width + clear && p.x <= (b + 1) * width - 1 - clear;
    }
    const int height = plot_height / n;
    const int below = n - b - 1;
    return p.y >= plot_height - (below + 1) * height + clear && p.y <= plot_height - below * height - 1;
}

// Whether the limits `low` and `high` along the axis put both extremes in
// every box, by the viewer's own mapping.
bool fits(const Axis& axis, double low, double high, int n) {
    if (axis.across) {
        minimox = low;
        maximox = high;
        minimoy = 0;
        maximoy = 1;
    } else {
        minimox = 0;
        maximox = 1;
        minimoy = low;
        maximoy = high;
    }
    for (int b = 0; b < n; ++b) {
        for (const double v : {axis.low, axis.high}) {
            const ScreenPoint p = axis.across ? cell_to_screen(b, 0, v, 0.5) : cell_to_screen(0, b, 0.5, v);
            if (!inside(axis, p, b, n)) return false;
        }
    }
    return true;
}

// `value` rounded to `digits` significant digits, down or up: its text into
// `text`, and the double the viewer reads that text as; that double lies
// on the rounding's side of `value`. Not finite when there is none.
double round_limit(long double value, int digits, bool up, char (&text)[32]) {
    if (value == 0) {
        std::snprintf(text, sizeof text, "0");
        return 0;
    }
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const long double step = std::pow(10.0L, exponent - digits + 1);
    long double mantissa = up ? std::ceil(value / step) : std::floor(value / step);
    // The decimal text can read back as a double a hair on the wrong side
    // of `value`: one step further out then.
    for (int tries = 0; tries < 3; ++tries, mantissa += up ? 1 : -1) {
        const double rounded = static_cast<double>(mantissa * step);
        if (!std::isfinite(rounded)) break;
        if (rounded == 0) {
            std::snprintf(text, sizeof text, "0");
        } else {
            // Plain decimals where they stay short; else the exponent form.
            const int e = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
            if (e >= -4 && e < 15) {
                const int decimals = digits - 1 - e > 0 ? digits - 1 - e : 0;
                std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
                // Trailing zeros of the fraction say nothing.
                if (std::strchr(text, '.') != nullptr) {
                    std::size_t n = std::strlen(text);
                    while (text[n - 1] == '0') text[--n] = '\0';
                    if (text[n - 1] == '.') text[--n] = '\0';
                }
            } else {
                std::snprintf(text, sizeof text, "%.*e", digits - 1, rounded);
            }
        }
        const double back = atof_value(text);
        if (up ? back >= value : back <= value) return back;
    }
    return HUGE_VAL;
}

// The widest share of the values' own span that rounding a limit outward
// may add, so that the values keep most of their box; and the shares to try
// when that much rounding moves them onto a line.
constexpr double kRoundingShares[] = {0.25, 0.05, 0.01};
// How far in from each end of the room the box leaves the extremes are put:
// a little room first, more when rounding moved them out of the box.
constexpr double kInsets[] = {0.04, 0.1, 0.2, 0.35, 0.45};
constexpr int kMostDigits = 17;

// Limits along one axis, as two texts and their doubles; false when none fit.
bool axis_limits(const Axis& axis, int n, int box_size, double* low, double* high, char (&low_text)[32],
                 char (&high_text)[32]) {
    // The share of the box the extremes may take: [room_low, room_high].
    const long double pixel = 1.0L / box_size;
    const long double room_low = axis.across && axis.clear ? pixel : 0;
    const long double room_high = axis.clear ? 1 - pixel : 1;
    if (room_high <= room_low) return false;
    long double data_low = axis.low;
    long double data_high = axis.high;
    if (data_low == data_high) {
        // No span of their own: a range around the value.
        const long double half = data_low != 0 ? std::fabs(data_low) / 10 : 1;
        data_low -= half;
        data_high += half;
    }
    for (const double inset : kInsets) {
        const long double f_low = room_low + inset * (room_high - room_low);
        const long double f_high = room_high - inset * (room_high - room_low);
        const long double span = (data_high - data_low) / (f_high - f_low);
        const long double exact_low = data_low - f_low * span;
        const long double exact_high = exact_low + span;
        for (const double share : kRoundingShares) {
            // Each limit with the fewest digits that move it by at most
            // `share` of the span.
            double l = HUGE_VAL;
            double h = HUGE_VAL;
            for (int d = 1; d <= kMostDigits; ++d) {
                l = round_limit(exact_low, d, false, low_text);
                if (std::isfinite(l) && exact_low - l <= share * span) break;
            }
            for (int d = 1; d <= kMostDigits; ++d) {
                h = round_limit(exact_high, d, true, high_text);
                if (std::isfinite(h) && h - exact_high <= share * span) break;
            }
            if (!std::isfinite(l) || !std::isfinite(h)) return false;
            if (fits(axis, l, h, n)) {
                *low = l;
                *high = h;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

SuggestedLimits suggest_limits(const LogShape& shape, int area_width, int area_height) {
    SuggestedLimits limits;
    // A first row without values sizes no grid and nothing is drawn; the
    // limits are then those for one box.
    const int n = shape.grid > 0 ? shape.grid : 1;
    const MappingState state(area_width, area_height, n);
    const int box_width = area_width / n;
    const int box_height = area_height / n;
    // Off the lines needs a pixel between a box's two vertical lines, or
    // under its top line.
    Axis time{0, shape.last_time, true, box_width >= 3};
    Axis value{shape.smallest_finite, shape.largest_finite, false, box_height >= 2};
    bool found = axis_limits(time, n, box_width, &limits.minimox, &limits.maximox, limits.text[0], limits.text[2]);
    if (!found && time.clear) {
        time.clear = false;
        found = axis_limits(time, n, box_width, &limits.minimox, &limits.maximox, limits.text[0], limits.text[2]);
    }
    bool value_found =
        axis_limits(value, n, box_height, &limits.minimoy, &limits.maximoy, limits.text[1], limits.text[3]);
    if (!value_found && value.clear) {
        value.clear = false;
        value_found =
            axis_limits(value, n, box_height, &limits.minimoy, &limits.maximoy, limits.text[1], limits.text[3]);
    }
    if (!found) {
        // Nothing fits: the times themselves, as exactly as text holds them.
        limits.minimox = 0;
        limits.maximox = shape.last_time > 0 ? shape.last_time : 1;
        std::snprintf(limits.text[0], sizeof limits.text[0], "0");
        std::snprintf(limits.text[2], sizeof limits.text[2], "%.17g", limits.maximox);
    }
    if (!value_found) {
        limits.minimoy = shape.smallest_finite;
        limits.maximoy = shape.largest_finite > shape.smallest_finite ? shape.largest_finite : shape.smallest_finite + 1;
        std::snprintf(limits.text[1], sizeof limits.text[1], "%.17g", limits.minimoy);
        std::snprintf(limits.text[3], sizeof limits.text[3], "%.17g", limits.maximoy);
        limits.minimoy = atof_value(limits.text[1]);
        limits.maximoy = atof_value(limits.text[3]);
    }
    limits.inside_boxes = found && value_found;
    limits.clear_of_lines = limits.inside_boxes && time.clear && value.clear;
    return limits;
}
