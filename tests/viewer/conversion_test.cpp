// Differential test of the number conversion: every token is converted by
// convert_token, where it lies in a line, and by the plain decimal model
// (tests/support/decimal_model.h) on the token alone; the two doubles must
// be the same bit for bit (so a zero's sign counts too). The tokens are
// generated in bulk in every shape a log or a stray word can give, plus the
// cases that sit on the edges of the quick conversion and of the decimal
// form. And pelmorix-scan's figures of rows of such tokens, against those
// of the values the viewer's split gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../support/decimal_model.h"
#include "scan.h"
#include "support.h"
#include "viewer.h"

namespace {

std::uint64_t bits_of(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::string show(const std::string& token) {
    std::string s;
    for (unsigned char c : token) {
        if (c >= 0x20 && c < 0x7F) {
            s += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        }
    }
    return "\"" + s.substr(0, 120) + (s.size() > 120 ? "...\"" : "\"");
}

// Converts `token` as it lies at the start of a line that goes on with
// `rest` (empty, or starting with a blank), in a buffer of exactly the
// line's length so that a read past its end is caught, and compares the
// result and the token's end with what the model makes of the token alone.
// Returns false (after one failure message) on a difference.
bool converts_in_line_as_model(const std::string& token, const std::string& rest) {
    const std::string line = token + rest;
    std::vector<char> buffer(line.begin(), line.end());
    const char* const first = buffer.data();
    double got = 0;
    const char* end = convert_token(first, first + buffer.size(), &got);
    const double want = decimal_model::convert(token);
    if (bits_of(got) != bits_of(want) || end != first + token.size()) {
        ADD_FAILURE() << "token " << show(token) << " before " << show(rest) << ": got " << got << " (bits "
                      << std::hex << bits_of(got) << "), the model gives " << want << " (bits " << bits_of(want)
                      << std::dec << "); token length " << token.size() << ", end at " << (end - first);
        return false;
    }
    return true;
}

// The token near the end of its line (as given; the last bytes of a line
// are converted from a padded copy) and well inside it, where the line's
// bytes after it are read in bulk; and the command line's conversion of
// the same text.
bool same_as_model(const std::string& token, const std::string& rest = "") {
    if (!converts_in_line_as_model(token, rest) ||
        !converts_in_line_as_model(token, rest + " 0.5 0.25 0.125 1 0.0625 0.03125 0.015625 7")) {
        return false;
    }
    const double want = decimal_model::convert(token);
    const double limit = atof_value(token.c_str());
    if (bits_of(limit) != bits_of(want)) {
        ADD_FAILURE() << "atof_value " << show(token) << ": got " << limit << ", the model gives " << want;
        return false;
    }
    return true;
}

// Stops a loop after the first few differences, so that one fault does not
// flood the output.
class FailureBudget {
public:
    bool check(bool ok) {
        if (!ok) ++failures_;
        return failures_ < 5;
    }

private:
    int failures_ = 0;
};

std::string digits(std::mt19937_64& rng, int count, bool leading_zero_ok = true) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        int d = static_cast<int>(rng() % 10);
        if (i == 0 && !leading_zero_ok && d == 0) d = 1 + static_cast<int>(rng() % 9);
        s += static_cast<char>('0' + d);
    }
    return s;
}

// A token as a log or a person might write a number: sign, digits, point,
// exponent, each part present or not, and sometimes text after it.
std::string decimal_token(std::mt19937_64& rng) {
    static const char* const signs[] = {"", "", "", "-", "-", "+"};
    static const char* const tails[] = {"",  "",  "",   "",  "",  "x",  "abc", ".", "..", "-", "+", "e",
                                        "E", "e+", "\t5", "/", "%", "5e", "_1", ",5", "\xC3\xA9", "\x7F"};
    std::string t = signs[rng() % 6];
    const int whole = static_cast<int>(rng() % 4 == 0 ? rng() % 21 : rng() % 4);
    t += digits(rng, whole, rng() % 4 == 0);
    const bool point = rng() % 3 != 0;
    if (point) {
        t += '.';
        t += digits(rng, static_cast<int>(rng() % 4 == 0 ? rng() % 24 : rng() % 9));
    }
    if (rng() % 4 == 0) {
        t += rng() % 2 == 0 ? 'e' : 'E';
        if (rng() % 2 == 0) t += rng() % 2 == 0 ? '-' : '+';
        const int exponent_digits = static_cast<int>(rng() % 5);  // 0: a letter with no exponent
        t += digits(rng, exponent_digits);
    }
    t += tails[rng() % (sizeof tails / sizeof tails[0])];
    return t;
}

// A double printed the ways a program prints one.
std::string printed_double(std::mt19937_64& rng) {
    double v;
    switch (rng() % 4) {
        case 0: {  // any bits at all: subnormals, infinities and NaNs included
            const std::uint64_t b = rng();
            std::memcpy(&v, &b, sizeof v);
            break;
        }
        case 1:
            v = std::ldexp(static_cast<double>(rng() % 1000000) / 1000.0, static_cast<int>(rng() % 200) - 100);
            break;
        case 2:
            v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / 100000.0;
            break;
        default:
            v = std::ldexp(static_cast<double>(rng()), static_cast<int>(rng() % 2100) - 1075);
            break;
    }
    if (rng() % 2 == 0) v = -v;
    // %.16e and %.18e: 17 and 19 significant digits, the longest the quick
    // conversion reads itself.
    static const char* const formats[] = {"%.1g", "%.3g", "%.6g", "%.9g", "%.15g", "%.16g", "%.17g",
                                          "%.6f", "%.2e", "%.10e", "%.16e", "%.18e", "%.20e", "%a", "%g"};
    char text[512];
    std::snprintf(text, sizeof text, formats[rng() % (sizeof formats / sizeof formats[0])], v);
    return text;
}

TEST(Conversion, AdversarialTokensConvertExactlyAsTheModel) {
    const std::vector<std::string> tokens = {
        // Nothing, or no number.
        "", "-", "+", ".", "-.", "+.", "e5", "E", "x", "abc", "--1", "+-1", "-+1", ".e1", "-.e1",
        // Plain forms.
        "0", "-0", "+0", "0.0", "-0.0", "-0.000", "00", "-00.00e5", "0e999999", "-0e-999999", "5", "5.", ".5", "-.5",
        "+.5", "0.1", "0.2", "0.3", "-3.14159", "2.71828", "1.05", "0.722846", "650.2", "1e3", "1E3", "1e+3", "1e-3",
        "2.5e-1x", "1.5e3.2", "1e--5", "1e+-5", "1e", "1e+", "1e-", "1.e5", "1e5e5", "1e5x", "5e", "+.5e1", "-.5E+1",
        "+5", "++5", "+-.5", "5e+x", ".e", "..5",
        // On the quick conversion's edges: 15, 16 and 17 significant digits,
        // the largest exact mantissa, powers of ten around 10^22.
        "123456789012345", "1234567890123456", "12345678901234567", "999999999999999", "9999999999999999",
        "9007199254740992", "9007199254740993", "9007199254740991", "-9007199254740992e-22", "9007199254740992e22",
        "9007199254740993e-5", "0.9007199254740992", "4503599627370497.5", "1e22", "1e23", "1e-22", "1e-23",
        "123456789012345e22", "123456789012345e-22", "123456789012345e23", "1.23456789012345e-7",
        "0.000000000000000000000000001", "00000000000000000000001", "0000000000000000000.1", "1000000000000000000000",
        "100000000000000000000000", "99999999999999999999", "18446744073709551615", "18446744073709551616",
        "18446744073709551617e-10", "0.10000000000000000555", "0.1000000000000000055511151231257827",
        // On the long quick conversion's edges: 16 to 19 digits read in two
        // or three loads of eight, 20 (no longer its), scales beyond 10^22,
        // ties and near-ties the binary step must settle or hand back.
        "1.234567890123456789e+01", "-9.999999999999999999e-01", "1.2345678901234567890e1", "123.4567890123456789",
        "1234.567890123456789", "1234.56789012345678", "1234567.123456789012", "1234567.12345678901", "-13.082289465728513",
        "0.1234567890123456789", "1.000000000000000000", "9.007199254740993000e15", "9.007199254740993e15",
        "9.007199254740992999e15", "1.000000000000000111e0", "1.000000000000000112e0", "5.000000000000000277e-1",
        "4.940656458412465442e-324", "2.470328229206232720e-324", "2.225073858507201136e-308", "1.797693134862315708e308",
        "1.797693134862315808e308", "123.4567890123456e-30", "1.23456789012345678e9999", "1.2345678901234567e-9999",
        // One whole digit and 1 to 8 fraction digits, each length once: the
        // fraction is read as eight digits with those past its end as zeros,
        // so a byte of the blank or of the next token must not count.
        "7.3", "-7.31", "7.319", "-7.3197", "7.31975", "-7.319752", "7.3197521", "-7.31975218",
        // The bytes either side of the digits in front of a point.
        ":.5", "-:.5", "/.5", "-/.5", "9.", "-0.", ":5", "/5", "5:.5",
        // Hexadecimal: only the "0" in front is a decimal number.
        "0x10", "0X10", "-0x1", "0x", "0X", "0xg", "00x5", "0x1p3", "0x1P-3", "0x.8", "0x1.8p1", "-0x1p-1074",
        "0x1p-1075", "0x1.fffffffffffffp1023", "0x1p1024", "0xABCDEFabcdef", "0.x5", "1x5", ".0x1",
        // Infinities and NaNs in every spelling: no number at all, +0.
        "inf", "INF", "-inf", "+Inf", "infinity", "-INFINITY", "infinit", "infx", "in", "nan", "NAN", "-nan", "+NaN",
        "nan(123)", "nan(abc_9)", "nan(", "nan()", "nan(1\t2)", "nanx", "na", "-.inf", ".nan",
        // Out of range both ways, and the edges of the range.
        "1e400", "-1e400", "1e-400", "-1e-400", "1e308", "1.7976931348623157e308", "1.7976931348623158e308",
        "1.7976931348623159e308", "2.2250738585072014e-308", "2.2250738585072011e-308", "4.9406564584124654e-324",
        "2.4703282292062327e-324", "2.4703282292062328e-324", "5e-324", "3e-324", "1e-323", "1e99999999999999999999",
        "1e-99999999999999999999",
        // White space and other bytes in front: white space is skipped, and
        // only the C locale's.
        "\t5", "\v1", "\f2", "\r3", "\n4", "\t-0.5", "\t+.5e1", "\t\t", "\t", "\t-", "\x0E" "1", "\x08" "1",
        "\xA0" "1", "\x01" "1", "\x85" "1", "-\t1",
        // Bytes after the number.
        "1\t2", "3.5abc", "1,5", "7\xC3\xA9", "8\xFF", "-2.5e3x", "1.5.5", "4e2.5",
    };
    for (const std::string& t : tokens) {
        same_as_model(t);
        same_as_model(t, " 9 8");  // a token is converted alone, whatever follows it
        same_as_model(t, " \t1");
    }
}

TEST(Conversion, LongDigitStringsConvertExactlyAsTheModel) {
    std::mt19937_64 rng(20261208);
    FailureBudget budget;
    for (int i = 0; i < 300; ++i) {
        const int length = static_cast<int>(rng() % 2000) + 20;
        std::string t = rng() % 2 == 0 ? "-" : "";
        const int point_at = static_cast<int>(rng() % static_cast<unsigned>(length));
        std::string d = digits(rng, length);
        if (rng() % 2 == 0) d.insert(static_cast<std::size_t>(point_at), ".");
        t += d;
        if (rng() % 3 == 0) t += "e" + std::to_string(static_cast<int>(rng() % 800) - 400);
        if (!budget.check(same_as_model(t))) break;
    }
    // The longest token a line can hold.
    same_as_model(std::string(kLineChars, '7'));
    same_as_model("0." + std::string(kLineChars - 3, '0') + "1");
    same_as_model("1" + std::string(400, '0') + "e-400");
    same_as_model("0." + std::string(400, '0') + "1e400");
}

TEST(Conversion, GeneratedDecimalTokensConvertExactlyAsTheModel) {
    std::mt19937_64 rng(6);
    FailureBudget budget;
    for (int i = 0; i < 200000; ++i) {
        if (!budget.check(same_as_model(decimal_token(rng), rng() % 2 == 0 ? "" : " 1"))) break;
    }
}

TEST(Conversion, PrintedDoublesConvertExactlyAsTheModel) {
    std::mt19937_64 rng(1975);
    FailureBudget budget;
    for (int i = 0; i < 100000; ++i) {
        if (!budget.check(same_as_model(printed_double(rng)))) break;
    }
}

// The values a cell log is made of: up to 6 significant digits, every
// position of the point, with and without a sign. All of them, for every
// mantissa of up to 4 digits; sampled beyond.
TEST(Conversion, ShortDecimalsConvertExactlyAsTheModel) {
    FailureBudget budget;
    char text[64];
    for (int m = 0; m < 10000; ++m) {
        for (int point = 0; point <= 5; ++point) {
            const std::string d = std::to_string(m);
            std::string t = point == 0 ? d : "0." + std::string(static_cast<std::size_t>(point - 1), '0') + d;
            if (!budget.check(same_as_model(t)) || !budget.check(same_as_model("-" + t))) return;
        }
        std::snprintf(text, sizeof text, "%d.%d", m / 100, m % 100);
        if (!budget.check(same_as_model(text))) return;
    }
    std::mt19937_64 rng(42);
    for (int i = 0; i < 200000; ++i) {
        std::snprintf(text, sizeof text, "%.6g", static_cast<double>(static_cast<std::int64_t>(rng() % 20000001) - 10000000) /
                                                     std::pow(10.0, static_cast<double>(rng() % 12)));
        if (!budget.check(same_as_model(text))) return;
    }
}

// pelmorix-scan looks at most tokens without converting them: its figures
// must be those of the values split_row converts, and of the plain model's
// "no number", whatever the tokens. Rows mix near and far values, so that
// the extremes move and many tokens lie just inside or just outside them.
// The last 40 logs are of whole numbers (states, spins, counts), which it
// reads several tokens at a look, with a stray token now and then.
TEST(Conversion, ScanFiguresAreThoseOfTheConvertedValues) {
    // After the random logs, logs whose second row holds a value just
    // outside the first row's extremes, where bounds read slightly wrong
    // from its text would lie inside them.
    std::string crossing = "1.00000000001";
    for (int k = 0; k < 24; ++k) crossing += " 2";
    crossing += " 7777";  // bytes 62 to 65 of the row
    for (int k = 0; k < 40; ++k) crossing += " 2";
    std::string states = "h\n0 1\n";
    for (int k = 0; k < 420; ++k) states += k == 410 ? "7 " : "0 ";  // the 411th is ignored
    const std::string fixed_logs[] = {
        "h\n1.00000000001 100\n1.00000000001 5e-1\n",              // an exponent's sign
        "h\n0.5200000000001 0.6\n0.5200000000001 0.5.3 0.55\n",     // 0.5, not 0.53
        "h\n-1.00000000001 4.45\n-1.00000000001 4.46 4.3\n",        // the last lead inside
        "h\n-1.00000000001 -0.455\n-1.00000000001 -0.451 -0.5\n",   // and the first, below 0
        "h\n1.00000000001 5\n" + crossing + "\n",                   // across a look's end
        "h\n0 9 0 9 0 9 0 9 0 9\n0 9 0 9 -5 9 0 9 0 9 0 9\n",        // a minus sign in a look
        "h\n1 2.5\n1 2.50000001\n",                                  // past the eighth byte
        "h\n1.5 3\n1.5 1/9 3\n",                                     // 1: '/' ends the number
        "h\n0 1 0 1 0 1 0 1\n0 1 0 1 0 2 0 1 0\n",                  // a state above the others
        states + "\n",
        "h\n-5 0 -5 0\n-1 +3 -2 0\n",                                // a plus sign is no minus
        "h\n10 50\n10 4.5 50\n",                                      // one whole digit, not two
    };
    constexpr int kRandomLogs = 120;
    std::mt19937_64 rng(7);
    for (int log = 0; log < kRandomLogs + static_cast<int>(std::size(fixed_logs)); ++log) {
        std::string text = log < kRandomLogs ? "heading\n" : fixed_logs[log - kRandomLogs];
        const double spread = std::pow(10.0, static_cast<double>(rng() % 13) - 6);
        const bool whole = log >= 80;
        // Whole numbers from `lowest`, `levels` of them, `step` apart.
        const int levels = log % 3 == 0 ? 2 : static_cast<int>(2 + rng() % (log % 4 == 3 ? 9 : 999));
        const int step = log % 3 == 1 ? 2 : 1;
        const int lowest =
            log % 3 == 1 ? -1 : static_cast<int>(rng() % 3 == 0 ? rng() % 20 : 0) - (log % 2 == 0 ? 0 : levels);
        for (int row = 0; row < (log < kRandomLogs ? 60 : 0); ++row) {
            // Rows of whole numbers mostly of 8 tokens or so, as many as one
            // look takes.
            const int count = static_cast<int>(rng() % 8 == 0 ? rng() % 420
                                               : whole      ? 8 * (rng() % 5) + rng() % 2
                                                            : rng() % 30);
            std::string line;
            for (int k = 0; k < count; ++k) {
                std::string token;
                if (whole) {
                    static const char* const strays[] = {"-",   "--1", "1-",  "x",  "-0",  "1000",
                                                         "+1", "0.5", "007", "-.", "-999"};
                    const int level = static_cast<int>(rng() % static_cast<unsigned>(levels));
                    token = rng() % 64 == 0 ? strays[rng() % 11] : std::to_string(std::min(999, lowest + step * level));
                    line += (k > 0 ? std::string(rng() % 16 == 0 ? 2 : 1, ' ') : "") + token;
                    continue;
                }
                // One log in four has stray tokens of every kind; the others
                // only values near one another, whose extremes move by steps
                // smaller than their leading digits.
                switch (log % 4 == 0 ? rng() % 6 : 2 + rng() % 4) {
                    case 0: token = decimal_token(rng); break;
                    case 1: token = printed_double(rng); break;
                    default: {
                        // Values that a simulation prints, near one another.
                        // One log in four without exponents: most looks of
                        // its rows hold only digits, points and signs.
                        static const char* const formats[] = {"%.6g", "%.17g", "%.18e", "%.3f", "%g", "%.2e"};
                        static const char* const plain_formats[] = {"%.3f", "%.9f", "%.17f"};
                        char number[64];
                        const double v = (static_cast<double>(rng() % 2000001) / 1000000.0 - 1) * spread +
                                         (log % 8 == 1 ? 3 * spread : 0);
                        std::snprintf(number, sizeof number, log % 4 == 2 ? plain_formats[rng() % 3] : formats[rng() % 6],
                                      v);
                        token = number;
                    }
                }
                if (token.empty() || token.find(' ') != std::string::npos) token = "1";
                line += (k > 0 ? std::string(1 + rng() % 2, ' ') : std::string(rng() % 2, ' ')) + token;
            }
            if (line.empty() || line.find_first_not_of(' ') == std::string::npos) line = "0";
            text += line + "\n";
        }
        viewer_test::ScratchDir dir;
        const std::string path = dir.write("log.skv", text);
        auto stream = std::make_unique<CellLogStream>();
        open_cell_log(*stream, path.c_str());
        LogShape shape;
        ASSERT_TRUE(scan_cell_log(*stream, shape));
        close_cell_log(*stream);

        // The same rows split by the viewer, and their figures the plain way.
        LogShape want;
        bool any = false;
        bool any_finite = false;
        std::vector<std::string> lines;
        for (std::size_t start = text.find('\n') + 1, nl; (nl = text.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            lines.push_back(text.substr(start, nl - start));
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            double values[kMaxRowValues];
            const int count = split_row(lines[i].c_str(), values);
            want.values += count;
            std::vector<std::string> tokens;
            for (std::size_t p = 0; tokens.size() < static_cast<std::size_t>(count);) {
                p = lines[i].find_first_not_of(' ', p);
                const std::size_t e = std::min(lines[i].find(' ', p), lines[i].size());
                tokens.push_back(lines[i].substr(p, e - p));
                p = e;
            }
            for (int k = 0; k < count; ++k) {
                const double v = values[k];
                if (!any || v < want.smallest) want.smallest = v;
                if (!any || v > want.largest) want.largest = v;
                any = true;
                if (std::isinf(v)) {
                    ++want.infinite.count;
                } else {
                    if (!any_finite || v < want.smallest_finite) want.smallest_finite = v;
                    if (!any_finite || v > want.largest_finite) want.largest_finite = v;
                    any_finite = true;
                }
                if (!decimal_model::has_number(tokens[static_cast<std::size_t>(k)])) ++want.not_numbers.count;
            }
        }
        SCOPED_TRACE("log " + std::to_string(log));
        EXPECT_EQ(shape.values, want.values);
        EXPECT_EQ(bits_of(shape.smallest), bits_of(want.smallest)) << shape.smallest << " " << want.smallest;
        EXPECT_EQ(bits_of(shape.largest), bits_of(want.largest)) << shape.largest << " " << want.largest;
        EXPECT_EQ(bits_of(shape.smallest_finite), bits_of(want.smallest_finite));
        EXPECT_EQ(bits_of(shape.largest_finite), bits_of(want.largest_finite));
        EXPECT_EQ(shape.infinite.count, want.infinite.count);
        EXPECT_EQ(shape.not_numbers.count, want.not_numbers.count);
    }
}

}  // namespace
