// Fuzz target: the whole program on one cell log, from the argument checks
// through the reader and plot loop to the final key, drawing on the headless
// display. The input is the cell log; its first line, which the reader
// ignores, also gives the four limits (blank-separated; a missing one is
// taken from "0 0 1 1"), so that the mapping meets every kind of limit too.
//
// The graphics open and close once per input, as in a run of the program;
// the platform and the graphics layer's one-time set-up stay for the process.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <platform_testing.h>

#include "viewer.h"

// viewer/main.cpp's main, compiled under this name for the fuzz targets.
int pelmorix_main(int argc, char* argv[]);

namespace {

int log_fd = -1;          // the cell log: a file in memory, rewritten for each input
int key_pipe[2] = {-1, -1};  // typed characters: the headless display reads key_pipe[0]
std::string log_path;

// The limits as written in the heading: its first four blank-separated words.
std::vector<std::string> limits_of(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> limits = {"0", "0", "1", "1"};
    std::size_t i = 0;
    for (std::size_t k = 0; k < limits.size(); ++k) {
        while (i < size && data[i] == ' ') ++i;
        if (i == size || data[i] == '\n') break;
        std::string word;
        while (i < size && data[i] != ' ' && data[i] != '\n') {
            // An argument is a C string: a NUL would end it here.
            if (data[i] != 0) word += static_cast<char>(data[i]);
            ++i;
        }
        limits[k] = word;
    }
    return limits;
}

// Empties the key pipe of a key left by a run that never reached the final
// prompt, without leaving the display's end nonblocking.
void drain_keys() {
    const int flags = fcntl(key_pipe[0], F_GETFL);
    fcntl(key_pipe[0], F_SETFL, flags | O_NONBLOCK);
    char buffer[64];
    while (read(key_pipe[0], buffer, sizeof buffer) > 0) {
    }
    fcntl(key_pipe[0], F_SETFL, flags);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("PELMORIX_DISPLAY", "headless", 1);
    unsetenv("PELMORIX_SNAPSHOT");
    log_fd = memfd_create("cell-log", 0);
    if (log_fd < 0 || pipe(key_pipe) != 0) std::abort();
    log_path = "/proc/self/fd/" + std::to_string(log_fd);
    platform_testing::set_headless_input(key_pipe[0]);
    // The program's console output is not looked at here; it still goes
    // through the same calls.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) std::abort();
    close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(log_fd, 0) != 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = pwrite(log_fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    // One key that is neither Esc nor 0: the run must end by returning.
    drain_keys();
    if (write(key_pipe[1], "x", 1) != 1) std::abort();

    // The viewer's program-wide values as a fresh process has them: a log
    // whose first row has no values must not find a grid sized by the last.
    grid_columns = 0;
    grid_rows = 0;
    plot_width = 0;
    plot_height = 0;
    point_color = 0;

    std::vector<std::string> args = {"pelmorix", log_path};
    for (const std::string& limit : limits_of(data, size)) args.push_back(limit);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Every path that returns ends with status 0; a run that waited for a
    // second key would hang here instead, which the fuzzer reports.
    if (pelmorix_main(static_cast<int>(args.size()), argv.data()) != 0) std::abort();
    return 0;
}
