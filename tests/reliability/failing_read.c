/* Preloaded into the program to give it a file that fails: reads of the
 * file whose path is FAILING_READ_PATH return its bytes up to
 * FAILING_READ_AFTER bytes in all, then fail with errno FAILING_READ_ERRNO
 * (a number), or, when that is 0, return 0 as if the file ended there. EINTR
 * fails one read only, as a signal would. Reads of anything else pass
 * through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static long long given; /* bytes of the file handed out so far */

static int is_failing_file(int fd) {
    const char* path = getenv("FAILING_READ_PATH");
    if (path == NULL) return 0;
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0) return 0;
    target[n] = '\0';
    return strcmp(target, path) == 0;
}

ssize_t read(int fd, void* into, size_t size) {
    ssize_t (*real_read)(int, void*, size_t);
    void* next = dlsym(RTLD_NEXT, "read");
    memcpy(&real_read, &next, sizeof real_read);
    if (!is_failing_file(fd)) return real_read(fd, into, size);
    const long long after = atoll(getenv("FAILING_READ_AFTER") ? getenv("FAILING_READ_AFTER") : "0");
    if (given >= after) {
        const int error = atoi(getenv("FAILING_READ_ERRNO") ? getenv("FAILING_READ_ERRNO") : "0");
        if (error == 0) return 0;
        static int interrupted;
        if (error == EINTR && interrupted) return real_read(fd, into, size);
        interrupted = 1;
        errno = error;
        return -1;
    }
    if ((long long)size > after - given) size = (size_t)(after - given);
    const ssize_t n = real_read(fd, into, size);
    if (n > 0) given += n;
    return n;
}
