// File writers: folders, raw bytes, text, PNG through libpng, binary PPM and PGM.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include <png.h>

#include "gen.h"

std::string strf(const char* format, ...) {
    char small[512];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0) return std::string();
    if ((size_t)n < sizeof small) return std::string(small, (size_t)n);
    std::string big((size_t)n + 1, '\0');
    va_start(ap, format);
    vsnprintf(big.data(), big.size(), format, ap);
    va_end(ap);
    big.resize((size_t)n);
    return big;
}

int make_dirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); i++) {
        if (i < path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            fprintf(stderr, "vornix-gen: can't create folder %s\n", part.c_str());
            return 0;
        }
    }
    return 1;
}

// Creates the folders above a file path.
static int make_parent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? 1 : make_dirs(path.substr(0, slash));
}

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

static FilePtr open_out(const std::string& path) {
    if (!make_parent(path)) return nullptr;
    FilePtr f(fopen(path.c_str(), "wb"));
    if (!f) fprintf(stderr, "vornix-gen: can't write %s\n", path.c_str());
    return f;
}

int write_bytes(const std::string& path, const void* data, size_t n) {
    FilePtr f = open_out(path);
    if (!f) return 0;
    if (n && fwrite(data, 1, n, f.get()) != n) return 0;
    return fclose(f.release()) == 0;
}

int write_text(const std::string& path, const std::string& text) {
    return write_bytes(path, text.data(), text.size());
}

int write_png(const std::string& path, int width, int height, int channels, const uint8_t* px) {
    FilePtr f = open_out(path);
    if (!f) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    int type = channels == 1 ? PNG_COLOR_TYPE_GRAY
                             : (channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA);
    png_init_io(png, f.get());
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, (png_const_bytep)(px + (size_t)y * width * channels));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f.release()) == 0;
}

int write_canvas_png(const std::string& path, const Canvas& c, int channels) {
    std::vector<uint8_t> bytes = canvas_bytes(c, channels);
    return write_png(path, c.width, c.height, channels, bytes.data());
}

int write_canvas_ppm(const std::string& path, const Canvas& c) {
    std::string head = strf("P6\n%d %d\n255\n", c.width, c.height);
    std::vector<uint8_t> bytes = canvas_bytes(c, 3);
    std::string all = head;
    all.append((const char*)bytes.data(), bytes.size());
    return write_text(path, all);
}

int write_pgm(const std::string& path, int width, int height, const uint8_t* px) {
    std::string all = strf("P5\n%d %d\n255\n", width, height);
    all.append((const char*)px, (size_t)width * height);
    return write_text(path, all);
}
