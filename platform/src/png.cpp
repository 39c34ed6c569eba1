// Surfaces as 8-bit RGB PNG files, written so that the file cannot be turned
// against its user: a fresh temporary, created exclusively in the target's
// folder and never through a link, renamed over a regular file; a target
// that is a link is written through to the file it names; a device or a
// FIFO is written into, never replaced. A reader never sees a half-written
// regular file, and an older picture stays as it was when writing fails.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "platform_internal.h"
namespace pelmorix_platform {

namespace {

[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void on_png_warning(png_structp, png_const_charp) {}

// Encodes prepared rows to an open file. Holds no C++ objects, since libpng
// reports errors by longjmp-ing back here.
bool encode(std::FILE* file, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Returns false with errno `error`.
bool fail_with(int error) {
    errno = error;
    return false;
}

// Encodes to descriptor `fd`, which is closed; false with errno set when
// anything failed, a full disk included.
bool encode_to(int fd, std::size_t width, std::size_t height, png_bytepp rows) {
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        return fail_with(error);
    }
    errno = 0;
    bool ok = encode(file, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), rows);
    int error = errno;
    if (std::fflush(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (std::fclose(file) != 0 && ok) {  // a full disk may only show here
        ok = false;
        error = errno;
    }
    if (ok) return true;
    return fail_with(error != 0 ? error : EIO);
}

// The name a chain of links at `path` ends at, whether or not a file is
// there; false (errno ELOOP) for a chain that does not end.
bool follow_links(const char* path, std::string* target) {
    std::string name = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(name.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            *target = name;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(name.c_str(), link, sizeof link - 1);
        if (n < 0) return false;
        link[n] = '\0';
        if (link[0] == '/') {
            name = link;
        } else {
            const std::size_t slash = name.rfind('/');
            name = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + link;
        }
    }
    return fail_with(ELOOP);
}

// The mode a new file gets: read and write for all, less the umask.
mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A device or a FIFO: written into where it is. Never waits for a FIFO's
// reader to come.
bool write_into(const std::string& target, std::size_t width, std::size_t height, png_bytepp rows) {
    const int fd = open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    // Once open, the writes may wait for the reader as any writer's do.
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        return fail_with(error);
    }
    return encode_to(fd, width, height, rows);
}

// A regular file, or none yet: a fresh temporary next to it, renamed over
// it once complete, removed on every failure.
bool write_and_rename(const std::string& target, mode_t mode, std::size_t width, std::size_t height,
                      png_bytepp rows) {
    std::string temp = target + ".XXXXXX";
    // mkstemp creates the file exclusively: a link or a file planted at the
    // name is never opened.
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    int error = 0;
    if (fchmod(fd, mode) != 0) error = errno;
    if (error != 0) {
        close(fd);
    } else if (!encode_to(fd, width, height, rows)) {
        error = errno;
    } else if (std::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error == 0) return true;
    unlink(temp.c_str());
    return fail_with(error);
}

}  // namespace

bool write_png(const char* path, const Surface& surface) {
    if (path == nullptr || *path == '\0' || surface.width <= 0 || surface.height <= 0) return fail_with(EINVAL);
    const auto width = static_cast<std::size_t>(surface.width);
    const auto height = static_cast<std::size_t>(surface.height);
    if (surface.pixels.size() < width * height) return fail_with(EINVAL);

    std::vector<png_byte> bytes(width * height * 3);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) {
        png_bytep out = bytes.data() + y * width * 3;
        rows[y] = out;
        const std::uint32_t* in = surface.row(static_cast<int>(y));
        for (std::size_t x = 0; x < width; ++x) {
            out[3 * x] = static_cast<png_byte>(in[x] >> 16);
            out[3 * x + 1] = static_cast<png_byte>(in[x] >> 8);
            out[3 * x + 2] = static_cast<png_byte>(in[x]);
        }
    }

    // The name to write: the file a link (or a chain of them) names.
    std::string target;
    if (!follow_links(path, &target)) return false;
    struct stat status;
    mode_t mode;
    if (lstat(target.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return fail_with(EISDIR);
        if (!S_ISREG(status.st_mode)) return write_into(target, width, height, rows.data());
        mode = status.st_mode & 07777;  // a file replaced keeps its permissions
    } else if (errno == ENOENT) {
        mode = new_file_mode();
    } else {
        return false;
    }
    return write_and_rename(target, mode, width, height, rows.data());
}

}  // namespace pelmorix_platform
