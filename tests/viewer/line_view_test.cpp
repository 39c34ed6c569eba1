// Differential test of the cell log's line reading and row splitting on
// random files: read_line_view (lines used where they lie in the chunk) and
// read_line against a plain text-mode reader written here a byte at a time,
// and split_row against the tokenizer and the plain decimal model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../support/decimal_model.h"
#include "support.h"
#include "viewer.h"

namespace {

using viewer_test::ScratchDir;

// The text-mode line read, as plainly as it can be put: up to and including
// the next line feed, carriage returns dropped, at most 9999 characters
// kept, 0x1A the end of the file for good; the end state set when a read
// meets the end. The line is what a NUL-terminated copy holds.
class PlainReader {
public:
    explicit PlainReader(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string read(bool* end) {
        std::string line;
        if (!end_) {
            for (;;) {
                if (pos_ == bytes_.size()) {
                    end_ = true;
                    break;
                }
                const char c = bytes_[pos_++];
                if (c == '\n') break;
                if (c == '\r') continue;
                if (c == '\x1A') {
                    pos_ = bytes_.size();
                    end_ = true;
                    break;
                }
                if (line.size() < static_cast<std::size_t>(kLineChars)) line += c;
            }
        }
        *end = end_;
        return std::string(line.c_str());
    }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
    bool end_ = false;
};

// Random log-like bytes with everything the reader must get right mixed in:
// CR LF and lone CRs, blank and empty lines, tabs, NUL bytes, lines of the
// buffer's length and beyond, now and then a 0x1A; long enough to cross
// several read chunks.
std::string random_file(std::mt19937_64& rng, std::size_t size) {
    std::string s;
    while (s.size() < size) {
        switch (rng() % 40) {
            case 0: s += "\r\n"; break;
            case 1: s += '\r'; break;
            case 2: s += "\n\n"; break;
            case 3: s += '\t'; break;
            case 4: s += '\0'; break;
            case 5: s += std::string(kLineChars - 2 + rng() % 5, static_cast<char>('a' + rng() % 26)); break;
            case 6: s += std::string(rng() % 30000, '9'); break;
            case 7: if (rng() % 20 == 0) s += '\x1A'; break;
            case 8: s += "   "; break;
            case 9: s += "\n   \n"; break;
            default: {
                char number[32];
                std::snprintf(number, sizeof number, "%.6g%s", static_cast<double>(rng() % 2000000) / 1e5 - 10,
                              rng() % 8 == 0 ? "\n" : " ");
                s += number;
            }
        }
    }
    return s;
}

TEST(LineViews, ReadAsThePlainTextModeReaderOnRandomFiles) {
    std::mt19937_64 rng(314);
    ScratchDir dir;
    std::vector<char> buffer(kLineBufferSize);
    for (int file = 0; file < 60; ++file) {
        const std::string bytes = random_file(rng, 1000 + rng() % (3 * kReadChunk));
        const std::string path = dir.write("log.skv", bytes);
        PlainReader plain(bytes);
        auto viewed = std::make_unique<CellLogStream>();
        auto copied = std::make_unique<CellLogStream>();
        open_cell_log(*viewed, path.c_str());
        open_cell_log(*copied, path.c_str());
        std::vector<char> copy(kLineBufferSize);
        for (int n = 0;; ++n) {
            bool end = false;
            const std::string want = plain.read(&end);
            const LineView view = read_line_view(*viewed, buffer.data());
            const std::string got(view.text, view.length);
            read_line(*copied, copy.data());
            ASSERT_EQ(got, want) << "file " << file << ", line " << n;
            ASSERT_EQ(std::string(copy.data()), want) << "file " << file << ", line " << n;
            ASSERT_EQ(viewed->end_reached, end) << "file " << file << ", line " << n;
            ASSERT_EQ(copied->end_reached, end) << "file " << file << ", line " << n;
            if (end) break;
        }
        close_cell_log(*viewed);
        close_cell_log(*copied);
    }
}

// What the tokenizer and the decimal model make of a line: tokens at blanks only, each
// converted alone, the first kMaxRowValues kept.
std::vector<double> plain_split(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    std::vector<double> values;
    for (char* t = std::strtok(copy.data(), " "); t != nullptr && values.size() < kMaxRowValues;
         t = std::strtok(nullptr, " ")) {
        values.push_back(decimal_model::convert(t));
    }
    return values;
}

std::uint64_t bits_of(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(LineViews, RowsSplitAsTheTokenizerAndAtof) {
    std::mt19937_64 rng(2718);
    static const char* const pieces[] = {" ",   "  ",  "\t", "1",   "-0",  "0.722846", "-3.14159", "1e5",
                                         "abc", "0x1A", "inf", "nan", "5.",  ".5",       "+2",       "1e",
                                         "\t-7", "9999999999999999999", "0.1e-400", "\xC3\xA9"};
    // Every other line made of these, a blank or two after each: the whole
    // numbers of a cellular model's log, converted many to a load (one-digit
    // states most often), and last what must stop that.
    static const char* const whole_tokens[] = {"0",   "1",   "0",  "1",    "1",   "-1",   "7",     "-0",
                                               "42",  "-99", "999", "305", "-305", "007", "1000", "-1000",
                                               "12345", "-", "1-2", "--1", "5.",  "+3",   "e",     "\t"};
    double values[kMaxRowValues];
    int failures = 0;
    for (int i = 0; i < 20000 && failures < 5; ++i) {
        std::string line;
        const int pieces_in_line = static_cast<int>(rng() % (rng() % 10 == 0 ? 1200 : 40));
        if (i % 2 == 0) {
            for (int p = 0; p < pieces_in_line; ++p) line += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
        } else {
            // Whole numbers of up to 3 digits, now and then a token of anything else.
            const std::size_t n = sizeof whole_tokens / sizeof whole_tokens[0];
            if (rng() % 2 == 0) line += " ";
            for (int p = 0; p < pieces_in_line; ++p) {
                line += whole_tokens[rng() % (rng() % 16 == 0 ? n : n - 10)];
                if (p + 1 < pieces_in_line || rng() % 2 == 0) line += rng() % 8 == 0 ? "  " : " ";
            }
        }
        const std::vector<double> want = plain_split(line);
        // The line lies in a buffer of its own length, not terminated.
        std::vector<char> lying(line.begin(), line.end());
        const int count = split_row(LineView{lying.data(), lying.size()}, values);
        bool same = count == static_cast<int>(want.size());
        for (int c = 0; same && c < count; ++c) same = bits_of(values[c]) == bits_of(want[static_cast<std::size_t>(c)]);
        if (!same) {
            ++failures;
            ADD_FAILURE() << "line \"" << line.substr(0, 200) << "\": " << count << " values, the tokenizer gives "
                          << want.size();
        }
        // Blank when the tokenizer finds no token in it.
        EXPECT_EQ(is_blank_line(LineView{lying.data(), lying.size()}), want.empty())
            << "line \"" << line.substr(0, 200) << "\"";
    }
}

}  // namespace
