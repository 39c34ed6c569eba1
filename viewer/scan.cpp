// A cell log's shape, read as the plot loop reads it but drawn nowhere, and
// the limits that put every one of its values inside its own cell box.
#include "scan.h"

#include <algorithm>
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

using eight_bytes::is_digit;

// The place of the lowest bit that is set (`bits` not 0).
int lowest_bit(std::uint64_t bits) {
#if defined(__GNUC__)
    return __builtin_ctzll(bits);
#else
    int n = 0;
    for (; (bits & 1) == 0; bits >>= 1) ++n;
    return n;
#endif
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

// Bytes of a row looked at together: one bit each in the masks below.
constexpr int kBlock = 64;
// Bytes a look may read: a token's bytes are read a few past its blank.
constexpr int kLookReach = kBlock + 16;

// Which of kBlock bytes are blanks, digits and minus signs, and, where
// there are exponent letters among them, which are points, signs of either
// kind and those letters; the first byte is the lowest bit.
struct ByteClasses {
    std::uint64_t blanks = 0;
    std::uint64_t digits = 0;
    std::uint64_t minus = 0;
    std::uint64_t letters = 0;  // 'e' and 'E'; when none, the next two are not set
    std::uint64_t points = 0;
    std::uint64_t signs = 0;    // '-' and '+'
};

ByteClasses classify(const char* bytes) {
    ByteClasses c;
#if defined(__SSE2__) && defined(__GNUC__)
    const auto bits = [](__m128i m, int k) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << k;
    };
    // 'E' and 'e' differ in the bit 0x20 alone, and no other byte becomes
    // 'e' with it set.
    const auto letters = [](__m128i b) {
        return _mm_cmpeq_epi8(_mm_or_si128(b, _mm_set1_epi8(0x20)), _mm_set1_epi8('e'));
    };
    __m128i any_letter = _mm_setzero_si128();
    for (int k = 0; k < kBlock; k += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k));
        const __m128i offsets = _mm_sub_epi8(b, _mm_set1_epi8('0'));
        c.blanks |= bits(_mm_cmpeq_epi8(b, _mm_set1_epi8(' ')), k);
        c.digits |= bits(_mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets), k);
        c.minus |= bits(_mm_cmpeq_epi8(b, _mm_set1_epi8('-')), k);
        any_letter = _mm_or_si128(any_letter, letters(b));
    }
    // Exponents, in few logs, looked at only where there are any.
    if (_mm_movemask_epi8(any_letter) != 0) {
        for (int k = 0; k < kBlock; k += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k));
            c.letters |= bits(letters(b), k);
            c.points |= bits(_mm_cmpeq_epi8(b, _mm_set1_epi8('.')), k);
            c.signs |= bits(_mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('-')), _mm_cmpeq_epi8(b, _mm_set1_epi8('+'))), k);
        }
    }
#else
    for (int k = 0; k < kBlock; ++k) {
        const char ch = bytes[k];
        const std::uint64_t bit = std::uint64_t{1} << k;
        if (ch == ' ') c.blanks |= bit;
        if (is_digit(ch)) c.digits |= bit;
        if (ch == '-') c.minus |= bit;
        if (ch == 'e' || ch == 'E') c.letters |= bit;
        if (ch == '.') c.points |= bit;
        if (ch == '-' || ch == '+') c.signs |= bit;
    }
#endif
    return c;
}

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
    // conversion, except where its bytes show that it lies between the
    // smallest and largest values so far (or on one of them), which it then
    // leaves as they are. Returns how many values it has.
    int take_row(const LineView& line) {
        if (line.length == 0) return 0;
        if (bounds_stale_) set_bounds();
        const char* const end = line.text + line.length;
        int count = 0;
        const char* p = pass_states(line.text, end, count);
        // Looks start in place up to here; after it, in a copy of the
        // line's end padded with blanks (a blank ends a token as the line's
        // end does).
        const char* const in_place =
            line.length > static_cast<std::size_t>(kLookReach) ? end - kLookReach : line.text;
        bool copied = false;
        // Tokens by their first bytes (a model's 3.14159 or -43.4489, spins,
        // counts), until a look finds other tokens (exponents, in most logs
        // that have any).
        bool decimals = true;
        while (count < kMaxRowValues && p < end) {
            if (p >= in_place && !copied) {
                const std::size_t tail_length = static_cast<std::size_t>(end - in_place);
                std::memcpy(tail_, in_place, tail_length);
                pad_with_blanks(tail_ + tail_length);
                copied = true;
            }
            const char* const look = p >= in_place ? tail_ + (p - in_place) : p;
            if (decimals) {
                const int passed = pass_decimals(look, p, end, kMaxRowValues - count, count);
                if (passed > 0) {
                    p += passed;
                    continue;
                }
                decimals = false;
            }
            p = take_block(look, p, end, count);
        }
        if (count == kMaxRowValues) {
            while (p < end && *p == ' ') ++p;
            if (p < end) tally(shape_.long_rows, line_number_);
        }
        shape_.values += count;
        return count;
    }

    long long line_number() const { return line_number_; }

private:
    // The row's first tokens from `start`, while they are of one digit, a
    // blank after each but the row's last (a cellular automaton's states),
    // and lie between the extremes: eight at a look, `count` raised by their
    // number. Returns where the next token or blank starts.
    const char* pass_states(const char* start, const char* end, int& count) const {
        const char* p = start;
#if defined(__SSE2__) && defined(__GNUC__)
        if (whole_low_ > whole_high_ || whole_low_ > 9 || whole_high_ < 0) return p;
        const __m128i low = _mm_set1_epi8(static_cast<char>(whole_low_ > 0 ? whole_low_ : 0));
        const __m128i high = _mm_set1_epi8(static_cast<char>(whole_high_ < 9 ? whole_high_ : 9));
        // Whether the 16 bytes at `at` are digits between the extremes
        // where `digit_lanes` has bits, and blanks elsewhere.
        const auto states = [low, high](const char* at, int digit_lanes) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
            // Blanks are no digits between the extremes.
            const __m128i between = _mm_cmpeq_epi8(_mm_max_epu8(_mm_min_epu8(offsets, high), low), offsets);
            return _mm_movemask_epi8(between) == digit_lanes &&
                   _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))) == (~digit_lanes & 0xFFFF);
        };
        while (end - p >= 16 && count <= kMaxRowValues - 8 && states(p, 0x5555)) {
            p += 16;
            count += 8;
        }
        // The row's last tokens, fewer than eight: the 16 bytes that end
        // with it, those before them being states too.
        const std::ptrdiff_t left = end - p;
        if (left > 0 && left < 16 && end - start >= 16 && count + (left + 1) / 2 <= kMaxRowValues &&
            states(end - 16, 0xAAAA)) {
            count += static_cast<int>((left + 1) / 2);
            p = end;
        }
#else
        (void)end;
        (void)count;
#endif
        return p;
    }

    // The tokens that end among the kBlock bytes at `look` (a token's first
    // byte, or a blank; the line's bytes at `p`, or their padded copy), when
    // no byte there is above the digits or between the point and them: each
    // passed over when its first eight bytes after its minus sign, if any,
    // show it lies between the extremes, else converted. Such bytes, other
    // than digits and points, end a token's number; they order below the
    // point and the digits, so a token's key orders below every key that
    // its number's digits and point do not reach past. Returns how many
    // bytes the tokens take, up to the blank after the last, with `count`
    // raised by their number; -1 when the bytes hold others, or more than
    // `room` tokens end there.
    int pass_decimals(const char* look, const char* p, const char* end, int room, int& count) {
#if defined(__SSE2__) && defined(__GNUC__)
        std::uint64_t blanks = 0;
        std::uint64_t digits = 0;
        __m128i usual = _mm_set1_epi8(-1);
        __m128i minus = _mm_setzero_si128();
        for (int k = 0; k < kBlock; k += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(look + k));
            minus = _mm_or_si128(minus, _mm_cmpeq_epi8(b, _mm_set1_epi8('-')));
            const __m128i offsets = _mm_sub_epi8(b, _mm_set1_epi8('0'));
            const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets);
            const __m128i below_point = _mm_cmpeq_epi8(_mm_min_epu8(b, _mm_set1_epi8('.')), b);
            usual = _mm_and_si128(usual, _mm_or_si128(digit, below_point));
            blanks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, _mm_set1_epi8(' ')))))
                      << k;
            digits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(digit))) << k;
        }
        if (_mm_movemask_epi8(usual) != 0xFFFF || blanks == 0) return -1;
        const int last = 63 - __builtin_clzll(blanks);
        const std::uint64_t reach = last == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << last) - 1;
        const std::uint64_t starts = ~blanks & ((blanks << 1) | 1) & reach;
        // More than `room` tokens can end in a look only near a row's
        // kMaxRowValues-th.
        if (room < kBlock && bit_count(starts) > room) return -1;
        const std::uint64_t others = ~(digits | blanks) & reach;
        int n = 0;
        if ((others & ~starts) == 0 && whole_numbers_inside(look, digits & reach, others)) {
            n = bit_count(starts);
        } else if (_mm_movemask_epi8(minus) == 0) {
            n = pass_by_keys<false>(look, p, end, starts, digits);
        } else {
            n = pass_by_keys<true>(look, p, end, starts, digits);
        }
        count += n;
        return last + 1;
#else
        (void)look;
        (void)p;
        (void)end;
        (void)room;
        (void)count;
        return -1;
#endif
    }

    // pass_decimals' tokens from `starts` by their keys, those outside
    // converted; how many there are. Without minus signs among them
    // (`kSigned` false), no sign to step over.
    template <bool kSigned>
    int pass_by_keys(const char* look, const char* p, const char* end, std::uint64_t starts, std::uint64_t digits) {
        int n = 0;
        for (std::uint64_t m = starts; m != 0; m &= m - 1) {
            const int s = lowest_bit(m);
            const int negative = kSigned && look[s] == '-' ? 1 : 0;
            const int q = s + negative;
            // Whole digits up to the first other byte, at the latest the
            // token's blank.
            const int form = negative * kKeyForms + lowest_bit(~digits >> q);
            if (text_key(look + q) - key_low_[form] > key_span_[form]) convert(p + s, end);
            ++n;
        }
        return n;
    }

    // kLookReach blanks from `at`, in a few stores.
    static void pad_with_blanks(char* at) {
#if defined(__SSE2__) && defined(__GNUC__)
        for (int k = 0; k < kLookReach; k += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at + k), _mm_set1_epi8(' '));
        }
#else
        std::memset(at, ' ', kLookReach);
#endif
    }

    static int bit_count(std::uint64_t bits) {
        bits -= (bits >> 1) & 0x5555555555555555u;
        bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
        bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
        return static_cast<int>((bits * 0x0101010101010101u) >> 56);
    }

#if defined(__SSE2__) && defined(__GNUC__)
    // Whether the tokens of a look are all whole numbers between the
    // extremes, found from its masks: `digits`, and `others` (neither
    // digits nor blanks), up to its last blank. Counts whose extremes span
    // every number of their digits (0 and 999) by the longest run of
    // digits; spins, and states past what pass_states takes, digit by
    // digit. Only looks whose other bytes are all first in their tokens.
    bool whole_numbers_inside(const char* look, std::uint64_t digits, std::uint64_t others) const {
        if (others == 0 && whole_digits_inside_ > 0) {
            std::uint64_t run = digits;
            for (int i = 0; i < whole_digits_inside_; ++i) run &= run >> 1;
            if (run == 0) return true;
        }
        // One digit each, after a minus sign or none.
        if ((digits & (digits >> 1)) != 0 || (others & ~(digits >> 1)) != 0) return false;
        std::uint64_t minus = 0;
        std::uint64_t positive_inside = 0;
        std::uint64_t negative_inside = 0;
        const __m128i positive_low = _mm_set1_epi8(static_cast<char>(digit_bounds_[0][0]));
        const __m128i positive_high = _mm_set1_epi8(static_cast<char>(digit_bounds_[0][1]));
        const __m128i negative_low = _mm_set1_epi8(static_cast<char>(digit_bounds_[1][0]));
        const __m128i negative_high = _mm_set1_epi8(static_cast<char>(digit_bounds_[1][1]));
        for (int k = 0; k < kBlock; k += 16) {
            const auto bits = [k](__m128i m) {
                return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << k;
            };
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(look + k));
            const __m128i offsets = _mm_sub_epi8(b, _mm_set1_epi8('0'));
            minus |= bits(_mm_cmpeq_epi8(b, _mm_set1_epi8('-')));
            positive_inside |= bits(
                _mm_cmpeq_epi8(_mm_max_epu8(_mm_min_epu8(offsets, positive_high), positive_low), offsets));
            negative_inside |= bits(
                _mm_cmpeq_epi8(_mm_max_epu8(_mm_min_epu8(offsets, negative_high), negative_low), offsets));
        }
        if ((others & ~minus) != 0) return false;
        const std::uint64_t negative = digits & (others << 1);
        return (digits & ~negative & ~positive_inside) == 0 && (negative & ~negative_inside) == 0;
    }
#endif

    // The eight bytes at `text` as a number that orders them as text does.
    static std::uint64_t text_key(const char* text) {
        std::uint64_t key;
        std::memcpy(&key, text, sizeof key);
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        key = __builtin_bswap64(key);
#else
        key = 0;
        for (int i = 0; i < 8; ++i) key = key << 8 | static_cast<unsigned char>(text[i]);
#endif
        return key;
    }

    // The tokens that start among the kBlock bytes at `look` (the line's
    // bytes at `p`, or their padded copy), each passed over when its bytes
    // show it lies between the extremes, else converted; up to the
    // kMaxRowValues-th of the row, `count` raised by each. Returns where
    // the next look starts: at a token that runs on past the kBlock bytes,
    // or after them all.
    const char* take_block(const char* look, const char* p, const char* end, int& count) {
        const ByteClasses c = classify(look);
        const std::uint64_t filled = ~c.blanks;
        // A token starts at a byte that is no blank, after a blank or first,
        // and ends at the blank after it; the k-th end is the k-th start's.
        std::uint64_t starts = filled & ((c.blanks << 1) | 1);
        std::uint64_t ends = c.blanks & (filled << 1);
        // The value of a token is that of the longest decimal number at its
        // start (what follows it counts for nothing), and the bounds are read
        // from its first bytes: it must start with a digit, or a minus sign
        // and a digit. With an exponent letter, only the plain form is read:
        // digits and at most one point, the letter, a sign or none, a digit;
        // a token with any other byte is converted (bytes other than these;
        // a sign neither first nor after a letter; a letter before neither a
        // digit nor a sign and a digit; a token's second point, its first
        // being where a carry from its start through its other bytes stops).
        std::uint64_t odd = starts & ~(c.digits | (c.minus & (c.digits >> 1)));
        if (c.letters != 0) {
            const std::uint64_t first_points = ((filled & ~c.points) + starts) & c.points;
            odd |= ~(c.blanks | c.digits | c.points | c.signs | c.letters) | (c.signs & ~starts & ~(c.letters << 1)) |
                   (c.letters & ~((c.digits >> 1) | ((c.signs >> 1) & (c.digits >> 2)))) |
                   (c.points & ~first_points);
        }
        // The blank after each token without such a byte: the carry from its
        // start runs through it.
        const std::uint64_t plain_ends = ((filled & ~odd) + starts) & c.blanks;
        return c.letters == 0 ? take_tokens<false>(look, p, end, count, c, starts, ends, plain_ends)
                              : take_tokens<true>(look, p, end, count, c, starts, ends, plain_ends);
    }

    // take_block's tokens one by one, those with exponent letters
    // (`kLetters`) or without.
    template <bool kLetters>
    const char* take_tokens(const char* look, const char* p, const char* end, int& count, const ByteClasses& c,
                            std::uint64_t starts, std::uint64_t ends, std::uint64_t plain_ends) {
        const std::uint64_t not_digits = ~c.digits;
        // The tokens whose blank lies within the look, the k-th start with
        // the k-th end.
        while (ends != 0) {
            const int s = lowest_bit(starts);
            const int e = lowest_bit(ends);
            starts &= starts - 1;
            ends &= ends - 1;
            ++count;
            // A minus sign or none, then w whole digits, the first d: the
            // magnitude is at least dd' * 10^(w - 2) and below
            // (dd' + 1) * 10^(w - 2), d' the digit after d (after the point
            // when w is 1; 0 when there is none), whatever the digits are
            // (leading zeros make the range only wider; a token with no digit
            // where d would be is converted). A value below 1, 0.dd', by the
            // digits after the point.
            const int negative = static_cast<int>(c.minus >> s) & 1;
            const int q = s + negative;
            const bool fraction = look[q] == '0' && look[q + 1] == '.';
            const char* const d = look + q + (fraction ? 2 : 0);
            int power = (fraction ? 0 : lowest_bit(not_digits >> q)) - 2;
            // The byte after d, or after the point that follows d (none in
            // 0.d.).
            const char next = !fraction && d[1] == '.' ? d[2] : d[1];
            const int lead = (d[0] - '0') * 10 + (is_digit(next) ? next - '0' : 0);
            bool inside = ((plain_ends >> e) & 1) != 0;
            if (kLetters) inside = inside && exponent_of(look, s, e, c, &power);
            const unsigned k = static_cast<unsigned>(power + kTablePower);
            inside = inside && k <= 2 * kTablePower &&
                     static_cast<unsigned>(lead - lead_ranges_[k][negative].low) <= lead_ranges_[k][negative].span;
            if (!inside) convert(p + s, end);
            if (count == kMaxRowValues) return p + e;
        }
        if (starts == 0) return p + kBlock;
        // A token that runs on past the look: the next look starts with it,
        // unless it fills a look alone; then it is converted.
        const int s = lowest_bit(starts);
        if (s > 0) return p + s;
        ++count;
        return convert(p, end);
    }

    // Adds to `power` the power of ten the exponent of the plain token from
    // byte `s` of `look` to its blank at `e` gives (none: 0); false when the
    // exponent is not the plain one: one letter, no point after it, and one
    // to three digits after it and its sign or none.
    static bool exponent_of(const char* look, int s, int e, const ByteClasses& c, int* power) {
        const std::uint64_t letters = (c.letters >> s) & ((std::uint64_t{1} << (e - s)) - 1);
        if (letters == 0) return true;
        const int m = s + lowest_bit(letters);
        const std::uint64_t after = (std::uint64_t{1} << (e - m - 1)) - 1;
        if ((((c.points | c.letters) >> (m + 1)) & after) != 0) return false;
        const int sign = static_cast<int>(c.signs >> (m + 1)) & 1;
        const char* d = look + m + 1 + sign;
        const char* const stop = look + e;
        if (stop - d > 3) return false;
        int exponent = 0;
        for (; d != stop; ++d) exponent = exponent * 10 + (*d - '0');
        *power += ((c.minus >> (m + 1)) & 1) != 0 ? -exponent : exponent;
        return true;
    }

    // The token at `token` converted by the viewer's own conversion and
    // taken; returns its end.
    const char* convert(const char* token, const char* end) {
        double v;
        const char* const token_end = convert_token(token, end, &v);
        take_value(v, token, token_end);
        return token_end;
    }

    // One converted value of the token [token, token_end).
    void take_value(double v, const char* token, const char* token_end) {
        take_number(v);
        // A token with no number is read as +0.
        if (v == 0 && !std::signbit(v) && !token_has_number(token, token_end)) tally(shape_.not_numbers, line_number_);
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

    // The bounds the looks compare with, from the finite extremes (none
    // while there are none).
    void set_bounds() {
        bounds_stale_ = false;
        const double smallest = any_finite_ ? shape_.smallest_finite : HUGE_VAL;
        const double largest = any_finite_ ? shape_.largest_finite : -HUGE_VAL;
        // The magnitudes that keep a positive value (0) or a negative one
        // (1) between them, ends included.
        const double low[2] = {smallest, -largest};
        const double high[2] = {largest, -smallest};
        for (int sign = 0; sign < 2; ++sign) {
            for (int k = 0; k <= 2 * kTablePower; ++k) {
                const double below = powers_of_ten.below[k - kTablePower + kMostPower];
                const double above = powers_of_ten.above[k - kTablePower + kMostPower];
                // Both bounds grow with the lead: the first lead whose low
                // bound is inside (100: none), and the last whose high
                // bound is (-1: none), from a quotient, then made exact.
                const double first = low[sign] / below;
                int a = first <= 0 ? 0 : first >= 100 ? 100 : static_cast<int>(std::ceil(first));
                while (a > 0 && (a - 1) * below >= low[sign]) --a;
                while (a < 100 && a * below < low[sign]) ++a;
                const int low_lead = a;
                const double last = high[sign] / above - 1;
                a = last <= -1 ? -1 : last >= 99 ? 99 : static_cast<int>(std::floor(last));
                while (a < 99 && (a + 2) * above <= high[sign]) ++a;
                while (a > -1 && (a + 1) * above > high[sign]) --a;
                lead_ranges_[k][sign] = a >= low_lead ? LeadRange{static_cast<std::uint8_t>(low_lead),
                                                                  static_cast<std::uint8_t>(a - low_lead)}
                                                      : LeadRange{255, 0};
            }
        }
        // The keys of the tokens of each sign with `whole` whole digits
        // that keep them between the extremes. From a decimal bound: its
        // first `whole` digits, the point and the next 7 - `whole`, one
        // unit of the last further in than the bound (for the conversion's
        // rounding), padded with bytes below any or above any. From a whole
        // number n inside the bounds: n's digits, then, for the last key,
        // the highest byte that ends a number ('-'), so that the tokens
        // that are n itself pass too. Tokens of no whole digits, or of more
        // than seven, are converted.
        for (int form = 0; form < 2 * kKeyForms; ++form) {
            const int sign = form / kKeyForms;
            const int whole = form % kKeyForms;
            // None: only eight bytes of 0xFF, which no token passed has.
            key_low_[form] = ~std::uint64_t{0};
            key_span_[form] = 0;
            if (whole == 0 || whole > kKeyDigits) continue;
            const double scale = std::pow(10.0, kKeyDigits - whole);
            const double units = std::pow(10.0, kKeyDigits);
            const double whole_units = std::pow(10.0, whole);
            std::uint64_t first = ~std::uint64_t{0};
            std::uint64_t last = 0;
            if (low[sign] <= 0) {
                first = 0;
            } else {
                const double least = std::ceil(low[sign] * scale * (1 + 1e-9)) + 1;
                if (least < units) first = decimal_key(static_cast<long>(least), whole, '.', 0x00);
                const double n = std::ceil(low[sign]);
                if (n < whole_units) first = std::min(first, decimal_key(static_cast<long>(n), whole, 0x00, 0x00));
            }
            // Every token of this form is below 10^whole.
            if (high[sign] >= powers_of_ten.above[whole + kMostPower]) {
                last = ~std::uint64_t{0};
            } else if (high[sign] >= 0) {
                const double most = std::floor(high[sign] * scale * (1 - 1e-9)) - 1;
                if (most >= 0) last = decimal_key(static_cast<long>(most), whole, '.', 0xFF);
                const double n = std::floor(high[sign]);
                if (n < whole_units) last = std::max(last, decimal_key(static_cast<long>(n), whole, '-', 0xFF));
            }
            if (first > last) continue;
            key_low_[form] = first;
            key_span_[form] = last - first;
        }
        // Tokens of one digit: the digits that keep them between the
        // extremes, positive and negative (10 to 10: none); whole numbers
        // of up to whole_digits_inside_ digits all do.
        for (int sign = 0; sign < 2; ++sign) {
            const double from = std::ceil(low[sign] < 0 ? 0 : low[sign]);
            const double to = std::floor(high[sign] > 9 ? 9 : high[sign]);
            const bool any = from <= to;
            digit_bounds_[sign][0] = static_cast<std::uint8_t>(any ? from : 10);
            digit_bounds_[sign][1] = static_cast<std::uint8_t>(any ? to : 10);
        }
        whole_digits_inside_ = 0;
        for (double top = 9; low[0] <= 0 && high[0] >= top && whole_digits_inside_ < 3; top = top * 10 + 9) {
            ++whole_digits_inside_;
        }
        const auto clamped = [](double v) {
            return static_cast<std::int16_t>(v < -kWholeRange ? -kWholeRange : v > kWholeRange ? kWholeRange : v);
        };
        whole_low_ = clamped(std::ceil(smallest));
        whole_high_ = clamped(std::floor(largest));
    }

    // The key of `units`' kKeyDigits digits (leading zeros) with `point`
    // after the first `whole` of them; for a whole number (`point` not
    // '.'), its `whole` digits, `point`, then `pad`. With no room for
    // decimals, `pad` after the whole digits.
    static std::uint64_t decimal_key(long units, int whole, char point, unsigned char pad) {
        char text[kKeyDigits + 1];
        const bool decimal = point == '.';
        for (int i = kKeyDigits; i >= 0; --i) {
            if (i == whole) {
                text[i] = decimal && whole < kKeyDigits ? '.' : decimal ? static_cast<char>(pad) : point;
            } else if (i > whole && !decimal) {
                text[i] = static_cast<char>(pad);
            } else {
                text[i] = static_cast<char>('0' + units % 10);
                units /= 10;
            }
        }
        return text_key(text);
    }

    // Beyond any whole number of three digits.
    static constexpr double kWholeRange = 1000;
    // Bounds by two leading digits are kept for values from 10^-kTablePower
    // to 10^kTablePower; others are converted.
    static constexpr int kTablePower = 40;

    CellLogStream& stream_;
    LogShape& shape_;
    long long line_number_ = 0;
    bool any_value_ = false;
    bool any_finite_ = false;
    // Set from the extremes before a row when take_number has moved them
    // since: within the row they can only have widened, so what the bounds
    // pass stays between them. For values of each sign (positive 0,
    // negative 1) whose magnitude lies from lead * 10^p up to
    // (lead + 1) * 10^p, the leads from 0 to 99 that keep them between the
    // extremes, ends included: lead_ranges_ at p + kTablePower. The whole
    // numbers of up to three digits that do.
    bool bounds_stale_ = true;
    struct LeadRange {
        std::uint8_t low;   // the first lead
        std::uint8_t span;  // how many more
    };
    LeadRange lead_ranges_[2 * kTablePower + 1][2] = {};
    // The digits that keep a token of one digit between the extremes,
    // positive [0] and negative [1], first and last (10 and 10: none).
    std::uint8_t digit_bounds_[2][2] = {{10, 10}, {10, 10}};
    // Every positive whole number of up to this many digits lies inside.
    int whole_digits_inside_ = 0;
    // For the tokens of each sign and number of whole digits (form: 0 to
    // kKeyForms - 1 positive, then as many negative), the keys of their
    // first eight bytes after the sign that keep them between the
    // extremes: from key_low_ to key_low_ + key_span_.
    static constexpr int kKeyDigits = 7;   // digits in eight bytes with the point
    static constexpr int kKeyForms = 64;   // whole digits in a look: 0 to 63
    std::uint64_t key_low_[2 * kKeyForms];
    std::uint64_t key_span_[2 * kKeyForms];
    std::int16_t whole_low_ = 1;
    std::int16_t whole_high_ = 0;
    // The line's last bytes, padded with blanks, for looks that would read
    // past its end.
    char tail_[2 * kLookReach];
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
