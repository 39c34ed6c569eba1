// Fuzz target: the cell log reader's line reads, row split and blank test,
// against a plain model of the read rules written here byte by byte:
// - a line ends at a line feed, which is not stored; a carriage return
//   belongs to no line; a 0x1A byte ends the file where it stands;
// - a line keeps its first 9999 characters, the rest of it is skipped;
// - the line is the text up to its first NUL;
// - the end of the file is reached by the read that meets it, whether or not
//   it read characters first; later reads store empty lines;
// - a row is its blank-separated tokens (the blank 0x20 only), the first 400
//   of them, each converted as the plain decimal model
//   (tests/support/decimal_model.h) converts the token alone.
//
// The reader fetches the file 64 KiB at a time, and a line is handled
// differently when it crosses from one fetch to the next. Inputs are too
// short to reach that on their own, so the input is placed after padding
// lines that make the first fetch end inside it: the first input byte says
// where.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/decimal_model.h"
#include "compressed.h"
#include "viewer.h"

namespace {

int log_fd = -1;
std::string log_path;
std::unique_ptr<CellLogStream> stream;
std::vector<char> line_buffer(kLineBufferSize);

struct ModelLine {
    std::string text;
    bool end;
};

// The read rules above, one byte at a time.
class ModelReader {
public:
    explicit ModelReader(const std::string& bytes) : bytes_(bytes) {}
    ModelLine read() {
        std::string line;
        while (!end_) {
            if (at_ == bytes_.size()) {
                end_ = true;
                break;
            }
            const char c = bytes_[at_++];
            if (c == '\n') break;
            if (c == '\r') continue;
            if (c == '\x1A') {
                end_ = true;
                break;
            }
            if (line.size() < static_cast<std::size_t>(kLineChars)) line += c;
        }
        const std::size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        return ModelLine{line, end_};
    }

private:
    const std::string& bytes_;
    std::size_t at_ = 0;
    bool end_ = false;
};

std::vector<double> model_row(const std::string& line) {
    std::vector<double> values;
    std::size_t i = 0;
    while (values.size() < static_cast<std::size_t>(kMaxRowValues)) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i == line.size()) break;
        const std::size_t end = line.find(' ', i);
        const std::string token = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
        values.push_back(decimal_model::convert(token));
        i += token.size();
    }
    return values;
}

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void fail(const char* what, std::size_t line_number) {
    std::fprintf(stderr, "%s, line %zu\n", what, line_number);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    log_fd = memfd_create("cell-log", 0);
    if (log_fd < 0) std::abort();
    log_path = "/proc/self/fd/" + std::to_string(log_fd);
    stream = std::make_unique<CellLogStream>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = size > 0 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : "";
    // The first fetch ends `split` bytes into the input, or nowhere near it
    // when the first byte is 0. The padding is lines of 8191 characters and
    // one shorter line, known in advance.
    std::vector<std::string> padding;
    if (size > 0 && data[0] != 0) {
        const std::size_t split = (input.size() * data[0]) / 255;
        if (split < kReadChunk) {
            std::size_t left = kReadChunk - split;
            for (; left >= 8192; left -= 8192) padding.push_back(std::string(8191, 'p'));
            if (left > 0) padding.push_back(std::string(left - 1, 'q'));
        }
    }
    // The rules are those of plain text: a log that begins as a compressed
    // one does is read decompressed (the plot target takes those).
    bool undecided = false;
    if (padding.empty() && compressed_format(reinterpret_cast<const unsigned char*>(input.data()), input.size(),
                                             &undecided) != CompressedFormat::none) {
        return 0;
    }
    std::string bytes;
    for (const std::string& line : padding) bytes += line + "\n";
    bytes += input;
    if (ftruncate(log_fd, 0) != 0) std::abort();
    if (pwrite(log_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) std::abort();

    open_cell_log(*stream, log_path.c_str());
    if (stream->open_failed) std::abort();
    for (std::size_t n = 0; n < padding.size(); ++n) {
        const LineView got = read_line_view(*stream, line_buffer.data());
        if (std::string(got.text, got.length) != padding[n] || stream->end_reached) fail("padding line misread", n + 1);
    }
    ModelReader model(input);
    double values[kMaxRowValues];
    // Every line up to the end, and one read after it.
    for (std::size_t n = 1;; ++n) {
        const bool was_at_end = stream->end_reached;
        const ModelLine expected = model.read();
        // Both ways of reading: the line where it lies, or copied and ended by a NUL.
        LineView got;
        if (n % 2 == 0) {
            got = read_line_view(*stream, line_buffer.data());
        } else {
            read_line(*stream, line_buffer.data());
            got = LineView{line_buffer.data(), std::strlen(line_buffer.data())};
        }
        if (got.length > static_cast<std::size_t>(kLineChars)) fail("line longer than the buffer", n);
        if (std::string(got.text, got.length) != expected.text) fail("line differs from the read rules", n);
        if (stream->end_reached != expected.end) fail("end-of-file state differs from the read rules", n);
        const bool blank = expected.text.find_first_not_of(' ') == std::string::npos;
        if (is_blank_line(got) != blank) fail("blank test differs", n);
        const std::vector<double> row = model_row(expected.text);
        const int count = split_row(got, values);
        if (count != static_cast<int>(row.size())) fail("row has another number of values", n);
        for (int c = 0; c < count; ++c) {
            if (!same_double(values[c], row[static_cast<std::size_t>(c)])) fail("row value differs from the model", n);
        }
        if (was_at_end) break;
    }
    close_cell_log(*stream);
    return 0;
}
