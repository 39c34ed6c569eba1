// Text to double for the limits and the cell values: white space skipped,
// then the longest decimal number (sign, digits with an optional point,
// exponent), correctly rounded; no such number is +0. Hexadecimal, "inf"
// and "nan" are not numbers here, and no C library conversion is called, so
// every host reads every text the same, bit for bit.
#include <cassert>
#include <cfloat>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

#include <fast_float/fast_float.h>

#include "eight_bytes.h"
#include "viewer.h"

namespace {

// The conversion is the inner loop of the whole program: the compiler is
// asked to write its parts out where they are used.
#if defined(__GNUC__)
#define PELMORIX_IN_EACH_CALLER inline __attribute__((always_inline))
#else
#define PELMORIX_IN_EACH_CALLER inline
#endif

// The quick ways below divide or multiply once, which rounds correctly only
// where double arithmetic is carried out in doubles, not in wider registers
// that would round twice (the Windows build computes in SSE2 registers for
// this). Elsewhere every token goes to the library.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
constexpr bool kQuickConversion = true;
#else
constexpr bool kQuickConversion = false;
#endif

// Every power of ten up to 1e22 is a double exactly.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
// Every integer up to 2^53 is a double exactly.
constexpr std::uint64_t kMaxExactInteger = 9007199254740992ULL;

using eight_bytes::is_digit;
using eight_bytes::kBytes;
using eight_bytes::kLittleEndian;
using eight_bytes::leading_digits;
using eight_bytes::load_eight;

constexpr std::uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The number the first n (1 to 8) bytes of `eight` spell, all digits.
std::uint64_t digits_value(std::uint64_t eight, int n) {
    // The n digits moved to the top bytes, zeros below them: the same number.
    std::uint64_t x = (n == 8 ? eight : eight << (8 * (8 - n))) & kBytes(0x0F);
    x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFULL;    // pairs, in 16-bit lanes
    x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFULL;  // fours, in 32-bit lanes
    return (x * 10000 + (x >> 32)) & 0xFFFFFFFFULL;
}

// The number the eight bytes of `eight` spell as eight digits, where the
// first `n` (0 to 8) are digits and those after them are read as zeros:
// the number of the n digits times 10^(8 - n). Its quotient by 10^8 is
// exactly the n digits' own number over 10^n, so it rounds to the same
// double, and the scale is one constant rather than looked up by n.
std::uint64_t padded_digits_value(std::uint64_t eight, int n) {
    const std::uint64_t kept = n == 8 ? ~0ULL : (1ULL << (8 * n)) - 1;
    std::uint64_t x = eight & kept & kBytes(0x0F);
    x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFULL;
    x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFULL;
    return (x * 10000 + (x >> 32)) & 0xFFFFFFFFULL;
}

// A token's sign is taken without a branch, since in a noisy log the signs
// follow no pattern to foresee, and kept off the path from the digits to
// the value: the digits are loaded from both places they may start, and
// the sign goes into the scale, since x / -s and x * -s are exactly the
// negatives of x / s and x * s (and make -0 of 0).

// 1 or -1.
double sign_factor(bool negative) {
    static constexpr double kSigns[2] = {1.0, -1.0};
    return kSigns[negative];
}

// The eight bytes at p + 1 when `negative`, else those at p.
std::uint64_t load_eight_after_sign(const char* p, bool negative) {
    const std::uint64_t unsigned_bytes = load_eight(p);
    const std::uint64_t signed_bytes = load_eight(p + 1);
    const std::uint64_t pick = 0 - static_cast<std::uint64_t>(negative);
    return (unsigned_bytes & ~pick) | (signed_bytes & pick);
}

// The bytes of a line quick_unsigned_decimal may read, from the token's
// first byte (a minus sign included).
constexpr long kPlainSpan = 12;

// The shape of nearly every value in a log, after its sign: one digit, a
// point, up to 8 digits, then a blank. `q` is the token's first byte after
// the sign and `token` its first byte. Returns the blank and sets *value,
// or returns null, having decided nothing, for anything else; then
// *long_fraction tells whether 8 digits follow the point with more of the
// number after them, and *long_mantissa is what the 9 digits make, for
// finish_decimal to go on from. Its digits make an integer below 10^9 and
// its scale is at most 10^8, so the double is one correctly rounded
// quotient. The token's end comes out of the digit count, not a test of
// each byte: the next token's start then waits on one eight-byte load
// rather than on a chain of them.
PELMORIX_IN_EACH_CALLER const char* quick_unsigned_decimal(const char* token, const char* q, bool negative,
                                                           double* value, std::uint64_t* long_mantissa,
                                                           bool* long_fraction) {
    // A digit and a point, in one test of the two bytes: below 10 only when
    // the second is the point and the first a digit, which it then is the
    // value of (a first byte below '0' borrows, leaving at least 0xD0).
    std::uint16_t digit_and_point;
    std::memcpy(&digit_and_point, q, sizeof digit_and_point);
    const auto digit = static_cast<std::uint16_t>(digit_and_point - ('.' << 8 | '0'));
    if (digit >= 10) return nullptr;
    const std::uint64_t fraction_bytes = load_eight_after_sign(token + 2, negative);
    // No digit after the point is a number too ("3." is 3).
    const int fraction = leading_digits(fraction_bytes);
    if (q[2 + fraction] != ' ') {
        if (fraction == 8) {
            *long_fraction = true;
            *long_mantissa = digit * kScale[8] + digits_value(fraction_bytes, 8);
        }
        return nullptr;
    }
    // The fraction padded with zeros to eight digits, over 10^8 (see
    // padded_digits_value): one division by the same constant whatever the
    // number of digits, fewer instructions on the benchmark's model-log and
    // %.6g shapes (docs/performance.md).
    const std::uint64_t mantissa = digit * kScale[8] + padded_digits_value(fraction_bytes, fraction);
    *value = static_cast<double>(mantissa) / (kPowersOfTen[8] * sign_factor(negative));
    return q + 2 + fraction;
}

// The bytes of a line quick_short_decimal may read, from the token's first
// byte: one load of 16, or, without SSE2, a sign, two loads of eight and
// the byte after them.
constexpr long kShortSpan = 18;

// The next commonest shape, after its sign: 1 to 8 digits with at most one
// point among or after them, then a blank (what %.6g prints of a number
// from 10 to 10^6). `q` is the token's first byte after the
// sign and `token` its first byte. Returns the blank and sets *value, or
// returns null, having decided nothing. The whole and the fraction digits
// are joined into one eight-byte string, padded with zeros to eight digits
// (see padded_digits_value), so that the number is one conversion of eight
// digits and one correctly rounded quotient by 10^(8 - whole digits).
PELMORIX_IN_EACH_CALLER const char* quick_short_decimal(const char* token, const char* q, bool negative,
                                                        double* value) {
#if defined(__SSE2__) && defined(__GNUC__)
    // Where the token's blank, point and digits lie comes from one 16-byte
    // load, in a mask a kind of byte, without a test of each byte: the next
    // token's start waits on that load alone, and the token's shape is one
    // branch (the %.6g benchmark logs, smooth and noisy).
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(token));
    const auto mask_of = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    const unsigned blanks = mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
    const unsigned points = mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')));
    const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const unsigned digit_bytes = mask_of(_mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets));
    const int length = __builtin_ctz(blanks | 0x10000u);  // 16: no blank in reach
    const unsigned sign_bit = negative ? 1u : 0u;
    // The bytes after the sign that are not digits: the point alone, if any.
    const unsigned others = ((1u << length) - 1) & ~sign_bit & ~digit_bytes;
    const int point_at = __builtin_ctz(others | (1u << length));  // `length`: no point
    const int whole = point_at - static_cast<int>(sign_bit);
    const int digits = length - static_cast<int>(sign_bit) - (point_at < length ? 1 : 0);
    if (((others & ~points) | (others & (others - 1))) != 0 || whole <= 0 || digits > 8) {
        return nullptr;
    }
    // A whole number (a cellular model's states, spins, counts) is exact
    // as it stands: no quotient to wait for.
    if (point_at == length) {
        *value = static_cast<double>(digits_value(load_eight(q), digits)) * sign_factor(negative);
        return token + length;
    }
    // The digits before the point from q on, those after it from q + 1 on.
    const std::uint64_t before_point = ~0ULL >> (64 - 8 * whole);
    const std::uint64_t joined = (load_eight(q) & before_point) | (load_eight(q + 1) & ~before_point);
    *value =
        static_cast<double>(padded_digits_value(joined, digits)) / (kPowersOfTen[8 - whole] * sign_factor(negative));
    return token + length;
#else
    const std::uint64_t whole_bytes = load_eight_after_sign(token, negative);
    const int whole = leading_digits(whole_bytes);
    if (whole == 0 || whole == 8) return nullptr;
    if (q[whole] == ' ') {
        *value = static_cast<double>(digits_value(whole_bytes, whole)) * sign_factor(negative);
        return q + whole;
    }
    if (q[whole] != '.') return nullptr;
    const std::uint64_t fraction_bytes = load_eight(q + whole + 1);
    const int fraction = leading_digits(fraction_bytes);
    const int digits = whole + fraction;
    if (fraction == 0 || digits > 8 || q[whole + 1 + fraction] != ' ') return nullptr;
    const std::uint64_t joined = (whole_bytes & ((1ULL << (8 * whole)) - 1)) | (fraction_bytes << (8 * whole));
    *value = static_cast<double>(padded_digits_value(joined, digits)) / (kPowersOfTen[8 - whole] * sign_factor(negative));
    return q + whole + 1 + fraction;
#endif
}

// The bytes of a line quick_decimal may read, from the token's first byte:
// a sign, its digits and point in loads of eight (19 digits at most, so the
// last load ends within 29 bytes), an exponent's letter, sign, 4 digits and
// a byte after them (within 28).
constexpr long kQuickSpan = 32;

// The most digits quick_decimal reads into one integer: below 10^19, it
// fits in 64 bits exactly.
constexpr int kMaxQuickDigits = 19;

// The rest of quick_decimal's work (below), from the byte after the first
// eight fraction digits at most: `digits` digits have made `mantissa`,
// `fraction` of them after the point, and `p` is the byte after the last.
// Taken up here too where quick_unsigned_decimal has already read that far.
PELMORIX_IN_EACH_CALLER bool finish_decimal(bool negative, std::uint64_t mantissa, int digits, int fraction,
                                            const char* p, double* value, const char** stop) {
    // Up to two more loads of eight while the last was all digits: 18
    // fraction digits after one whole digit is the %.18e shape.
    for (bool full = fraction == 8; full;) {
        const std::uint64_t more_bytes = load_eight(p);
        const int more = leading_digits(more_bytes);
        digits += more;
        if (digits > kMaxQuickDigits) return false;
        if (more > 0) mantissa = mantissa * kScale[more] + digits_value(more_bytes, more);
        fraction += more;
        p += more;
        full = more == 8;
    }
    int exponent = -fraction;
    if ((*p | 0x20) == 'e') {
        // The exponent belongs to the number only if a digit follows its
        // letter and optional sign; otherwise the number ends at the letter.
        const char* q = p + 1;
        const bool exponent_negative = *q == '-';
        q += *q == '-' || *q == '+';
        if (is_digit(*q)) {
            int e = 0;
            for (int k = 0; is_digit(*q); ++q, ++k) {
                if (k == 4) return false;
                e = e * 10 + (*q - '0');
            }
            exponent += exponent_negative ? -e : e;
            p = q;
        }
    }
    if (mantissa <= kMaxExactInteger && exponent >= -kMaxExactPower && exponent <= kMaxExactPower) {
        const double m = static_cast<double>(mantissa);
        const double scale = sign_factor(negative) * kPowersOfTen[exponent < 0 ? -exponent : exponent];
        *value = exponent < 0 ? m / scale : m * scale;
    } else {
        const fast_float::adjusted_mantissa binary =
            fast_float::compute_float<fast_float::binary_format<double>>(exponent, mantissa);
        if (binary.power2 < 0) return false;  // too close to call this way: the library's slow path
        fast_float::to_float(negative, binary, *value);
    }
    *stop = p;
    return true;
}

// A decimal as programs print one, up to the 17 significant digits of a
// shortest round trip and the 19 of a %.18e: an optional minus sign, 1 to 7
// digits, optionally a point and more digits (19 digits in all at most),
// optionally an exponent of up to 4 digits. Its digits are read
// eight at a time, so that the number's length costs no branch of its own.
// An integer below 2^53 with a scale of at most 10^22 either way is one
// correctly rounded quotient or product; anything else goes to the
// library's own binary step, with the integer and exponent found here, so
// that the library does not read the digits a second time (the most costly
// part of its work on long numbers, as the benchmark's shortest round-trip
// and %.18e shapes show; docs/performance.md). Sets *value and
// *stop (the first byte after the number) and returns true; returns false,
// having decided nothing, for anything else, which the library then reads
// whole.
PELMORIX_IN_EACH_CALLER bool quick_decimal(const char* p, double* value, const char** stop) {
    const bool negative = *p == '-';
    p += negative;
    const std::uint64_t whole_bytes = load_eight(p);
    const int whole = leading_digits(whole_bytes);
    if (whole == 0 || whole == 8) return false;
    std::uint64_t mantissa = digits_value(whole_bytes, whole);
    p += whole;
    int fraction = 0;
    if (*p == '.') {
        const std::uint64_t fraction_bytes = load_eight(p + 1);
        fraction = leading_digits(fraction_bytes);
        if (fraction > 0) mantissa = mantissa * kScale[fraction] + digits_value(fraction_bytes, fraction);
        p += 1 + fraction;
    }
    return finish_decimal(negative, mantissa, whole + fraction, fraction, p, value, stop);
}

// White space as the C locale has it: blank, tab, line feed, vertical tab,
// form feed, carriage return.
bool is_space(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; }

// The decimal number at the start of [text, end) as a correctly rounded
// double; +0 when there is none. Returns the first byte after the number
// (`text` when there is none).
const char* convert_decimal(const char* text, const char* end, double* value) {
    const char* p = text;
    // The library takes a minus sign but no plus sign.
    const char* number = p;
    if (p != end && (*p == '-' || *p == '+')) {
        if (*p == '+') number = p + 1;
        ++p;
    }
    // A digit, or a point and a digit, must come first: anything else is no
    // number here, and never reaches the library's own reading of "inf" and
    // "nan".
    const bool starts = p != end && (is_digit(*p) || (*p == '.' && end - p >= 2 && is_digit(p[1])));
    if (starts) {
        const fast_float::from_chars_result r = fast_float::from_chars(number, end, *value);
        // Beyond a double's range is no error: the value is then the
        // infinity or zero that rounding gives.
        if (r.ec == std::errc() || r.ec == std::errc::result_out_of_range) return r.ptr;
    }
    *value = 0.0;
    return text;
}

// Every caller leaves the quick ways room to read: a line's last bytes are
// converted from a padded copy.
static_assert(kPlainSpan <= kQuickSpan && kShortSpan <= kQuickSpan, "the quick ways read within kQuickSpan");

// The token at `token`, up to the next blank or `line_end`, converted as if
// it stood alone; returns the byte after that blank, or `line_end`. At
// least kQuickSpan bytes of the line lie from `token` on. Written out in each caller: it is the loop of every
// row. With `kSigned` false the line holds no minus sign, so the token has
// none.
template <bool kSigned>
PELMORIX_IN_EACH_CALLER const char* convert_one(const char* token, const char* line_end, double* value) {
    assert(line_end - token >= kQuickSpan);
    // A number with one whole digit and more than 8 fraction digits, seen on
    // the way, is read on from where quick_unsigned_decimal stopped rather
    // than again from its start: a gain on the benchmark's shortest
    // round-trip and %.18e shapes, no loss on the others (docs/performance.md).
    bool long_fraction = false;
    std::uint64_t long_mantissa = 0;
    const bool negative = kSigned && *token == '-';
    if (kQuickConversion && kLittleEndian) {
        const char* const unsigned_part = token + negative;
        if (const char* after =
                quick_unsigned_decimal(token, unsigned_part, negative, value, &long_mantissa, &long_fraction)) {
            return after + 1;
        }
        // Other numbers of up to 8 digits, most of 2 to 7 whole digits: the
        // %.6g benchmark logs, smooth and noisy.
        if (!long_fraction) {
            if (const char* after = quick_short_decimal(token, unsigned_part, negative, value)) return after + 1;
        }
    }
    const char* stop = token;
    const bool quick =
        kQuickConversion && kLittleEndian &&
        (long_fraction ? finish_decimal(negative, long_mantissa, 9, 8, token + negative + 10, value, &stop)
                       : quick_decimal(token, value, &stop));
    if (!quick) {
        // White space in front of the number, but not the blank that ends
        // the token.
        const char* p = token;
        while (p != line_end && *p != ' ' && is_space(*p)) ++p;
        stop = convert_decimal(p, line_end, value);
    }
    // The token runs on to the next blank; text after its number is passed over.
    while (stop != line_end && *stop != ' ') ++stop;
    return stop == line_end ? stop : stop + 1;
}

}  // namespace

// Four limits on the command line: not worth a quicker way.
double atof_value(const char* text) {
    const char* const end = text + std::strlen(text);
    while (text != end && is_space(*text)) ++text;
    double value;
    convert_decimal(text, end, &value);
    return value;
}

namespace {

// The last bytes of a line, too near its end for the quick ways to read on,
// copied with blanks after them: a blank ends a token just as the line's
// end does, so every token there converts as it would in place.
struct PaddedTail {
    char bytes[2 * kQuickSpan];
    PaddedTail(const char* first, const char* last) {
        std::memset(bytes, ' ', sizeof bytes);
        // An empty token of an empty line may have no address at all.
        if (last != first) std::memcpy(bytes, first, static_cast<std::size_t>(last - first));
    }
    const char* end() const { return bytes + sizeof bytes; }
};

}  // namespace

// The end of the token that convert_one read, from what it returned.
const char* token_end(const char* after) { return after[-1] == ' ' ? after - 1 : after; }

const char* convert_token(const char* token, const char* line_end, double* value) {
    if (line_end - token >= kQuickSpan) return token_end(convert_one<true>(token, line_end, value));
    const PaddedTail tail(token, line_end);
    return token + (token_end(convert_one<true>(tail.bytes, tail.end(), value)) - tail.bytes);
}

namespace {

#if defined(__SSE2__) && defined(__GNUC__)
constexpr bool kWholeNumberWindows = true;

// Whole numbers of 1 to 3 digits, each with a minus sign or none, one blank
// or more between them: a cellular model's states, spins and counts. Every
// token that ends within the 16 bytes at `token` (a token's first byte) is
// classified and converted from one load, without a branch a token on its
// shape or its digits: up to 8 tokens at a time (the benchmark's states,
// spins and counts logs). At most `room` tokens go into `values` and
// *converted says how many; returns the byte after the last one, or null,
// having decided nothing, when the bytes hold anything else. A whole number
// of 3 digits is a double exactly, so no rounding is involved. `kSigned` as
// for convert_one.
template <bool kSigned>
PELMORIX_IN_EACH_CALLER const char* whole_number_window(const char* token, double* values, int room,
                                                        int* converted) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(token));
    const auto mask_of = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digit_bytes = _mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets);
    const unsigned digits = mask_of(digit_bytes);
    const unsigned blanks = mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
    const unsigned minus = kSigned ? mask_of(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-'))) : 0u;
    const unsigned starts = ~blanks & ((blanks << 1) | 1u) & 0xFFFFu;
    // The last digit of each token with its blank within reach.
    unsigned ends = digits & (blanks >> 1);
    // Nothing but blanks, digits and minus signs; a minus sign only first
    // in its token and before a digit, or in the last byte, whose token ends
    // beyond the window and is left to the next; no run of 4 digits.
    const bool whole = (blanks | digits | minus) == 0xFFFFu && ends != 0 &&
                       (minus & ~(starts & ((digits >> 1) | 0x8000u))) == 0 &&
                       (digits & (digits << 1) & (digits << 2) & (digits << 3)) == 0;
    if (!whole) return nullptr;
    // Eight one-digit tokens, a blank after each (a cellular automaton's
    // states): all eight at once.
    if (blanks == 0xAAAAu && room >= 8) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i numbers = _mm_and_si128(offsets, _mm_set1_epi16(0x00FF));  // 16-bit lanes
        const __m128i low = _mm_unpacklo_epi16(numbers, zero);
        const __m128i high = _mm_unpackhi_epi16(numbers, zero);
        _mm_storeu_pd(values, _mm_cvtepi32_pd(low));
        _mm_storeu_pd(values + 2, _mm_cvtepi32_pd(_mm_srli_si128(low, 8)));
        _mm_storeu_pd(values + 4, _mm_cvtepi32_pd(high));
        _mm_storeu_pd(values + 6, _mm_cvtepi32_pd(_mm_srli_si128(high, 8)));
        *converted = 8;
        return token + 16;
    }
    // Each token's number at its last digit: that digit, 10 times the one
    // before it, 100 times the one before that if the one between is a
    // digit too (bytes that are no digits count 0), in 16-bit lanes.
    const __m128i zero = _mm_setzero_si128();
    const __m128i units = _mm_and_si128(offsets, digit_bytes);
    const __m128i tens = _mm_slli_si128(units, 1);
    const __m128i hundreds = _mm_and_si128(_mm_slli_si128(units, 2), _mm_slli_si128(digit_bytes, 1));
    const __m128i ten = _mm_set1_epi16(10);
    const __m128i hundred = _mm_set1_epi16(100);
    const auto number = [&](__m128i u, __m128i t, __m128i h) {
        return _mm_add_epi16(u, _mm_add_epi16(_mm_mullo_epi16(t, ten), _mm_mullo_epi16(h, hundred)));
    };
    alignas(16) std::uint16_t numbers[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(numbers),
                    number(_mm_unpacklo_epi8(units, zero), _mm_unpacklo_epi8(tens, zero),
                           _mm_unpacklo_epi8(hundreds, zero)));
    _mm_store_si128(reinterpret_cast<__m128i*>(numbers + 8),
                    number(_mm_unpackhi_epi8(units, zero), _mm_unpackhi_epi8(tens, zero),
                           _mm_unpackhi_epi8(hundreds, zero)));
    // The tokens whose minus sign lies 1, 2 or 3 bytes before their last digit.
    const unsigned negative =
        ((minus << 1) | ((minus << 2) & (digits << 1)) | ((minus << 3) & (digits << 1) & (digits << 2))) & ends;
    int n = 0;
    int last = 0;
    if (negative == 0) {
        do {
            last = __builtin_ctz(ends);
            ends &= ends - 1;
            values[n++] = static_cast<double>(numbers[last]);
        } while (ends != 0 && n < room);
    } else {
        // The sign as a factor, so that "-0" is -0.
        do {
            last = __builtin_ctz(ends);
            ends &= ends - 1;
            values[n++] = static_cast<double>(numbers[last]) * sign_factor(((negative >> last) & 1u) != 0);
        } while (ends != 0 && n < room);
    }
    *converted = n;
    return token + last + 1;
}
// Whether the 16 bytes at `p` are all blanks, digits and minus signs: a
// cheap look before a line's first whole-number window, so that a line of
// decimals does not pay for one.
PELMORIX_IN_EACH_CALLER bool whole_number_bytes(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i offsets = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digit_bytes = _mm_cmpeq_epi8(_mm_min_epu8(offsets, _mm_set1_epi8(9)), offsets);
    const __m128i others = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                                        _mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')));
    return _mm_movemask_epi8(_mm_or_si128(digit_bytes, others)) == 0xFFFF;
}
#else
constexpr bool kWholeNumberWindows = false;
template <bool kSigned>
const char* whole_number_window(const char*, double*, int, int*) {
    return nullptr;
}
bool whole_number_bytes(const char*) { return false; }
#endif

}  // namespace

const char* convert_whole_numbers(const char* token, double* values, int room, int* converted) {
    return kWholeNumberWindows ? whole_number_window<true>(token, values, room, converted) : nullptr;
}

namespace {

// The tokens from `p` up to `last` (the last place a token may start there),
// converted in turn into values[count] on, up to kMaxRowValues in all, in
// a line that runs on at least kQuickSpan bytes past `last`. Returns the byte
// where it stopped and updates *count. With `kWindows`, whole-number windows
// are tried first, until two in a row fail; the loop without them is a
// loop of its own, so that a line of decimals runs the same code as before
// there were any.
template <bool kSigned, bool kWindows>
PELMORIX_IN_EACH_CALLER const char* convert_tokens(const char* p, const char* last, const char* line_end,
                                                   double* values, int* count) {
    int n = *count;
    int misses = 0;
    while (n < kMaxRowValues) {
        while (p <= last && *p == ' ') ++p;
        if (p > last) break;
        if (kWindows && misses < 2) {
            int converted = 0;
            if (const char* after = whole_number_window<kSigned>(p, values + n, kMaxRowValues - n, &converted)) {
                p = after;
                n += converted;
                misses = 0;
                continue;
            }
            ++misses;
        }
        p = convert_one<kSigned>(p, line_end, &values[n++]);
    }
    *count = n;
    return p;
}

// convert_tokens, with whole-number windows where the bytes at `p` are
// all blanks, digits and minus signs (a line of a cellular model's log).
template <bool kSigned>
PELMORIX_IN_EACH_CALLER const char* convert_line_tokens(const char* p, const char* last, const char* line_end,
                                                        double* values, int* count) {
    if (kWholeNumberWindows && p <= last && whole_number_bytes(p)) {
        return convert_tokens<kSigned, true>(p, last, line_end, values, count);
    }
    return convert_tokens<kSigned, false>(p, last, line_end, values, count);
}

// The tokens of a line, converted in turn; `kSigned` as for convert_one.
template <bool kSigned>
int split_tokens(const LineView& line, double* values) {
    int count = 0;
    const char* p = line.text;
    const char* const end = line.text + line.length;
    // Each token is converted on its own, as if cut out of the line: a tab
    // or other white space after it must not lead into the next one.
    if (line.length >= static_cast<std::size_t>(kQuickSpan)) {
        // The last place a token can start and still be converted in place;
        // the blanks before a token are passed over no further.
        p = convert_line_tokens<kSigned>(p, end - kQuickSpan, end, values, &count);
    }
    if (count == kMaxRowValues || p == end) return count;
    // The last token may end at the first blank of the padding.
    const PaddedTail tail(p, end);
    convert_line_tokens<kSigned>(tail.bytes, tail.bytes + (end - p) - 1, tail.end(), values, &count);
    return count;
}

}  // namespace

int split_row(const LineView& line, double* values) {
    if (line.length == 0) return 0;
    // A line without a minus sign (a model's values, say, which stay
    // positive) is converted without a look at any token's sign: the
    // shape-1 and noisy one-digit benchmark logs.
    if (std::memchr(line.text, '-', line.length) == nullptr) return split_tokens<false>(line, values);
    return split_tokens<true>(line, values);
}
