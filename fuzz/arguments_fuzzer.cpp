// Fuzz target: the conversion of the limits and of cell values, and the
// entry point's echo and range check.
//
// The input is up to five NUL-separated texts: a file name and four limits
// (a missing limit is "0"). Checked against the plain decimal model
// (tests/support/decimal_model.h), which the conversion must match bit for
// bit:
// - atof_value(text) is the model's value of the text;
// - convert_token on the text as a token of a line gives the model's value
//   of the token alone and stops at the token's end (the next blank or the
//   line's end);
// - the entry point prints exactly the echo of the limits as the model reads
//   them and then either the range error or, as the file cannot exist, the
//   cell log error, and returns 0.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/decimal_model.h"
#include "viewer.h"

int pelmorix_main(int argc, char* argv[]);

namespace {

int console_fd = -1;  // standard output while the entry point runs

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check(bool ok, const char* what, const std::string& text) {
    if (ok) return;
    std::fprintf(stderr, "%s: \"%s\"\n", what, text.c_str());
    std::abort();
}

void check_conversion(const std::string& text) {
    check(same_double(atof_value(text.c_str()), decimal_model::convert(text)), "atof_value differs from the model",
          text);

    // The text as a token of a line: it runs to the first blank.
    const std::size_t blank = text.find(' ');
    const std::string token = text.substr(0, blank);
    const std::string line = text + " 7";
    double value = 0;
    const char* stop = convert_token(line.c_str(), line.c_str() + line.size(), &value);
    const double want = decimal_model::convert(token);
    check(same_double(value, want), "convert_token differs from the model's value of the token", text);
    check(stop == line.c_str() + token.size(), "convert_token stops elsewhere than at the token's end", text);
    // The same token at the very end of a line, with no blank after it.
    stop = convert_token(token.c_str(), token.c_str() + token.size(), &value);
    check(same_double(value, want), "convert_token differs at the line's end", text);
    check(stop == token.c_str() + token.size(), "convert_token runs past the line's end", text);
}

std::string console_of_run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (ftruncate(console_fd, 0) != 0 || lseek(console_fd, 0, SEEK_SET) != 0) std::abort();
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(console_fd, STDOUT_FILENO);
    const int status = pelmorix_main(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    check(status == 0, "the entry point returned a status other than 0", args[1]);
    std::string out(static_cast<std::size_t>(lseek(console_fd, 0, SEEK_END)), '\0');
    if (pread(console_fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size())) std::abort();
    return out;
}

std::string g(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    console_fd = memfd_create("console", 0);
    if (console_fd < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts;
    std::string current;
    for (std::size_t i = 0; i < size && texts.size() < 5; ++i) {
        if (data[i] == 0) {
            texts.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (texts.size() < 5) texts.push_back(current);
    while (texts.size() < 5) texts.push_back("0");

    double limits[4];
    for (int i = 0; i < 4; ++i) {
        check_conversion(texts[i + 1]);
        limits[i] = decimal_model::convert(texts[i + 1]);
    }

    // Below a folder that does not exist, whatever the name holds, the file
    // cannot be opened: the run ends at the reader's first check.
    const std::string name = "/nonexistent-pelmorix-fuzz/" + texts[0];
    const std::string out = console_of_run({"pelmorix", name, texts[1], texts[2], texts[3], texts[4]});
    std::string expected = "Archivo skv: " + name + "\nMinimo(x)=" + g(limits[0]) + " Minimo(y)=" + g(limits[1]) +
                           "\nMaximo(x)=" + g(limits[2]) + " Maximo(y)=" + g(limits[3]) + "\n";
    if (limits[0] > limits[2] || limits[1] > limits[3])
        expected += "Error. Minimos y maximos inconsistentes. Un minimo no puede ser mayor que un maximo...\n";
    else
        expected += "Error. Archivo vacio o con formato erroneo: " + name + "\n";
    check(out == expected, "console output differs", out);
    return 0;
}
