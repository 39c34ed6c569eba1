// The baseline reader: a cell log read the straightforward way the design
// describes, with the stream's line read into a 10,000-byte buffer, strtok
// at blanks and atof, drawing nothing. The viewer's speed is judged against
// it. Prints how many values it converted and their sum, so that no
// conversion can be left out by the compiler.
//
//   pelmorix-reference-reader FILE.skv
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fputs("usage: pelmorix-reference-reader FILE.skv\n", stderr);
        return 2;
    }
    static char line_buffer[10000];
    static char blank_probe[10000];
    double row_values[400] = {};

    std::ifstream in(argv[1]);
    in.getline(line_buffer, sizeof line_buffer);  // the heading
    if (in.eof()) return 1;
    in.getline(line_buffer, sizeof line_buffer);
    if (in.eof() || std::strlen(line_buffer) == 0) return 1;

    long long values = 0;
    double sum = 0;
    do {
        int count = 0;
        for (char* token = std::strtok(line_buffer, " "); token != nullptr; token = std::strtok(nullptr, " ")) {
            const double v = std::atof(token);
            if (count < 400) row_values[count++] = v;
            sum += v;
            ++values;
        }
        in.getline(line_buffer, sizeof line_buffer);
        std::strcpy(blank_probe, line_buffer);
        if (std::strtok(blank_probe, " ") == nullptr) in.getline(line_buffer, sizeof line_buffer);
        // A line too long for the buffer fails the stream: stop there too.
    } while (!in.eof() && !in.fail());

    std::printf("%lld values, sum %.17g, last row %g\n", values, sum, row_values[0]);
    return 0;
}
