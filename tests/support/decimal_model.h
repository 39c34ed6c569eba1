// The reference the number conversion is checked against, written the plain
// way: white space (blank, tab, LF, VT, FF, CR) skipped, then the longest
// decimal number found byte by byte (optional sign; digits with an optional
// point, at least one digit; an exponent only when it has digits), and just
// that text converted by the C library's strtod, which rounds correctly on
// glibc. No such number is +0. Shared by the tests and the fuzz targets.
#pragma once

#include <cstdlib>
#include <string>

namespace decimal_model {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` begins (after white space and a sign) with a decimal
// number at all; one without is read as +0.
inline bool has_number(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i < text.size() && is_digit(text[i])) return true;
    return i + 1 < text.size() && text[i] == '.' && is_digit(text[i + 1]);
}

// The value of the number at the start of `text`, alone.
inline double convert(const std::string& text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\v' || text[i] == '\f' ||
                     text[i] == '\r')) {
        ++i;
    }
    const std::size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    for (; i < n && is_digit(text[i]); ++i) ++digits;
    if (i < n && text[i] == '.') {
        for (++i; i < n && is_digit(text[i]); ++i) ++digits;
    }
    if (digits == 0) return 0.0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && is_digit(text[j])) {
            for (i = j; i < n && is_digit(text[i]); ++i) {
            }
        }
    }
    const std::string number = text.substr(start, i - start);
    return std::strtod(number.c_str(), nullptr);
}

}  // namespace decimal_model
