// The console's output: flushed at the points the program chooses, and a
// failure to write it said once, on standard error, when the program ends.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "viewer.h"

namespace {

// The first failure to write the console's output: its errno, 0 while there
// has been none.
int console_error = 0;

}  // namespace

void flush_console() {
    if (std::fflush(stdout) != 0 && console_error == 0) console_error = errno;
}

void say_console_failure() {
    flush_console();
    // A pipe whose reader has gone is the reader's choice: silent.
    if (std::ferror(stdout) == 0 || console_error == EPIPE) return;
    std::fprintf(stderr, "Error. No se pudo escribir la salida: %s\n",
                 std::strerror(console_error != 0 ? console_error : EIO));
}
