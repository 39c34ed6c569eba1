// Surfaces as 8-bit RGB PNG files. The file is written under a temporary name
// in the target's directory and renamed over the target, so a reader never
// sees a half-written image.
#include <png.h>
#include <unistd.h>

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

}  // namespace

bool write_png(const char* path, const Surface& surface) {
    if (path == nullptr || *path == '\0' || surface.width <= 0 || surface.height <= 0) return false;
    const auto width = static_cast<std::size_t>(surface.width);
    const auto height = static_cast<std::size_t>(surface.height);
    if (surface.pixels.size() < width * height) return false;

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

    const std::string temp = std::string(path) + ".tmp" + std::to_string(static_cast<long>(getpid()));
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = encode(file, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), rows.data());
    if (std::fclose(file) != 0) ok = false;  // a full disk may only show here
    if (ok && std::rename(temp.c_str(), path) == 0) return true;
    std::remove(temp.c_str());
    return false;
}

}  // namespace pelmorix_platform
