// Text to double as the cell log and the command line need it: atof's
// result, bit for bit, without atof's cost for the plain decimals that make
// up nearly every log.
#include <cfloat>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewer.h"

namespace {

// The quick conversion below is exact only where the C library's own
// conversion rounds correctly (glibc's does, in every rounding mode) and
// where double arithmetic is carried out in doubles, not in wider registers
// that would round twice. Elsewhere every token goes to atof.
#if defined(__GLIBC__) && defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
constexpr bool kQuickConversion = true;
#else
constexpr bool kQuickConversion = false;
#endif

// Every power of ten up to 1e22 is a double exactly.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
// Integers up to 2^53 are doubles exactly.
constexpr std::uint64_t kMaxExactMantissa = std::uint64_t{1} << 53;
// Up to 19 decimal digits fit in 64 bits whatever they are.
constexpr long kMaxSafeDigits = 19;

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// A plain decimal at `p` (optional sign, digits with an optional point,
// optional exponent) whose digits, point aside, make an integer of at most
// 2^53 and whose scale is at most 10^22 either way. Its double is then one
// correctly rounded product or quotient of two exact doubles, which is what
// a correctly rounding atof gives. Sets *value and *stop (the first byte
// after the number) and returns true; returns false, having decided nothing,
// for anything else: blanks or other text in front, hexadecimal, "inf",
// "nan", too many digits, a large exponent.
bool quick_decimal(const char* p, const char* end, double* value, const char** stop) {
    bool negative = false;
    if (p != end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return false;
    std::uint64_t mantissa = 0;
    const char* const whole = p;
    for (; p != end && is_digit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
    long digits = p - whole;
    long exponent = 0;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        for (; p != end && is_digit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
        exponent = fraction - p;
        digits -= exponent;
    }
    // No digit: a sign or a point alone, or no number at all. Too many: the
    // sum above may have wrapped.
    if (digits == 0 || digits > kMaxSafeDigits || mantissa > kMaxExactMantissa) return false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        // The exponent belongs to the number only if a digit follows its
        // letter and optional sign; otherwise the number ends at the letter.
        const char* q = p + 1;
        bool exponent_negative = false;
        if (q != end && (*q == '-' || *q == '+')) {
            exponent_negative = *q == '-';
            ++q;
        }
        if (q != end && is_digit(*q)) {
            long e = 0;
            for (; q != end && is_digit(*q); ++q) {
                if (e < 100000) e = e * 10 + (*q - '0');  // far beyond any exact power either way
            }
            exponent += exponent_negative ? -e : e;
            p = q;
        }
    }
    double magnitude = 0;
    if (mantissa != 0) {
        if (exponent < -kMaxExactPower || exponent > kMaxExactPower) return false;
        const double m = static_cast<double>(mantissa);
        magnitude = exponent < 0 ? m / kPowersOfTen[-exponent] : m * kPowersOfTen[exponent];
    }
    *value = negative ? -magnitude : magnitude;
    *stop = p;
    return true;
}

// atof by its very definition: strtod. On Windows atof is the system
// runtime's, which reads no hexadecimal, "inf" or "nan"; strtod there is the
// compiler runtime's C99 one, as on every other host. Text with no number is
// 0, unsigned: that strtod gives -0 for a sign with no number after it.
double c_atof(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? 0.0 : value;
}

// atof of the token alone, as a string of its own.
double atof_of_copy(const char* first, const char* last) {
    const std::size_t length = static_cast<std::size_t>(last - first);
    char buffer[kLineBufferSize];
    if (length < sizeof buffer) {
        std::memcpy(buffer, first, length);
        buffer[length] = '\0';
        return c_atof(buffer);
    }
    return c_atof(std::string(first, last).c_str());
}

}  // namespace

double atof_value(const char* text) {
    double value;
    const char* stop;
    if (kQuickConversion && quick_decimal(text, text + std::strlen(text), &value, &stop)) return value;
    return c_atof(text);
}

const char* convert_token(const char* token, const char* line_end, double* value) {
    const char* stop = token;
    const bool quick = kQuickConversion && quick_decimal(token, line_end, value, &stop);
    // The token runs on to the next blank; text after its number is passed over.
    while (stop != line_end && *stop != ' ') ++stop;
    if (!quick) *value = atof_of_copy(token, stop);
    return stop;
}
