#include "data/image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/datafile.h"
#include "data/save.h"
#include "data/scanner.h"
#include "platform/log.h"

ImageState g_image;

static void image_error(const char* text) {
    snprintf(g_image.last_error, sizeof g_image.last_error, "%s", text);
}

// ---------------------------------------------------------------------------------------------
// Mipmap chain

int image_chain_levels(int width, int height) {
    int n = 1;
    while (width > 1 || height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        n++;
    }
    return n;
}

size_t image_chain_pixels(int width, int height) {
    size_t total = 0;
    for (;;) {
        total += (size_t)width * (size_t)height;
        if (width <= 1 && height <= 1) return total;
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
}

size_t image_level_offset(int width, int height, int channels, int level) {
    size_t offset = 0;
    for (int i = 0; i < level; i++) {
        offset += (size_t)width * (size_t)height * (size_t)channels;
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
    }
    return offset;
}

// Alpha of a block of n pixels (2 or 4) and its colour weights. Fully transparent and fully
// opaque blocks average their colours plainly, which also avoids dividing by a zero alpha sum.
static void mip_rgba(const uint8_t* const* p, int n, int max_alpha, uint8_t* out) {
    int t = 0, amax = 0;
    for (int i = 0; i < n; i++) {
        t += p[i][3];
        amax = std::max(amax, (int)p[i][3]);
    }
    bool plain = t == 0 || t == 255 * n;
    for (int c = 0; c < 3; c++) {
        int sum = 0;
        for (int i = 0; i < n; i++) sum += plain ? p[i][c] : p[i][c] * p[i][3];
        out[c] = (uint8_t)(plain ? sum / n : sum / t);
    }
    out[3] = (uint8_t)(max_alpha ? amax : t / n);
}

void image_build_level(const uint8_t* src, int width, int height, int channels, int max_alpha,
                       uint8_t* dst) {
    int nw = std::max(1, width / 2), nh = std::max(1, height / 2);
    size_t row = (size_t)width * channels;
    if (width > 1 && height > 1) {
        for (int y = 0; y < nh; y++) {
            for (int x = 0; x < nw; x++) {
                const uint8_t* p[4] = {src + 2 * y * row + 2 * x * channels,
                                       src + 2 * y * row + (2 * x + 1) * channels,
                                       src + (2 * y + 1) * row + 2 * x * channels,
                                       src + (2 * y + 1) * row + (2 * x + 1) * channels};
                uint8_t* d = dst + ((size_t)y * nw + x) * channels;
                if (channels == 4) {
                    mip_rgba(p, 4, max_alpha, d);
                } else {
                    for (int c = 0; c < channels; c++)
                        d[c] = (uint8_t)((p[0][c] + p[1][c] + p[2][c] + p[3][c]) / 4);
                }
            }
        }
        return;
    }
    // One pixel wide or high: pairs along the longer dimension.
    int n = std::max(nw, nh);
    size_t step = width > 1 ? (size_t)channels : row;
    for (int i = 0; i < n; i++) {
        const uint8_t* p[2] = {src + 2 * i * step, src + (2 * i + 1) * step};
        uint8_t* d = dst + (size_t)i * channels;
        if (channels == 4) {
            mip_rgba(p, 2, max_alpha, d);
        } else {
            for (int c = 0; c < channels; c++) d[c] = (uint8_t)((p[0][c] + p[1][c]) / 2);
        }
    }
}

void image_build_chain(Image* image) {
    int w = image->width, h = image->height, ch = image->channels;
    if (w <= 0 || h <= 0 || ch <= 0) return;
    image->pixels.resize(image_chain_pixels(w, h) * ch);
    uint8_t* level = image->pixels.data();
    while (w > 1 || h > 1) {
        uint8_t* next = level + (size_t)w * h * ch;
        image_build_level(level, w, h, ch, image->max_alpha, next);
        level = next;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
}

// ---------------------------------------------------------------------------------------------
// Netpbm (PPM, PGM) and the predictive encoding

// One header integer after any comment lines.
static int header_int(DataFile* f, int* value) {
    data_skip_comments(f);
    return data_scanf(f, "%d", value) == 1;
}

static bool side_ok(int v) {
    return v > 0 && v <= IMAGE_MAX_SIDE;
}

// Appends exactly n bytes from the stream; the buffer grows only as data arrive, so a header
// that promises more than the file holds never costs its full size.
static int read_bytes(DataFile* f, std::vector<uint8_t>* out, size_t n) {
    const size_t CHUNK = 1 << 20;
    while (n > 0) {
        size_t take = std::min(n, CHUNK);
        size_t at = out->size();
        out->resize(at + take);
        size_t got = data_read(f, out->data() + at, take);
        if (got != take) {
            out->resize(at + got);
            return 0;
        }
        n -= take;
    }
    return 1;
}

// The shared body of the PPM and PGM readers. A sample above the maximum is taken as the
// maximum so that scaling can never leave 0..255.
static int read_netpbm(DataFile* f, const char* magic, int channels, const char* raw,
                       const char* ascii, const char* kind, Image* out) {
    char text[64];
    bool is_raw = strcmp(magic, raw) == 0;
    if (!is_raw && strcmp(magic, ascii) != 0) {
        snprintf(text, sizeof text, "Can't parse %s header", kind);
        image_error(text);
        return 0;
    }
    int w, h, maxval;
    // A zero size or maximum is refused too: the first cannot be drawn, the second would
    // divide by zero when scaling.
    if (!header_int(f, &w) || !header_int(f, &h) || !header_int(f, &maxval) || !side_ok(w) ||
        !side_ok(h) || maxval <= 0 || maxval > 65535) {
        snprintf(text, sizeof text, "Can't get %s dimensions", kind);
        image_error(text);
        return 0;
    }
    size_t n = (size_t)w * h * channels;
    std::vector<uint8_t> pixels;
    if (is_raw) {
        data_getc(f); // the single white-space byte that ends the header
        if (!read_bytes(f, &pixels, n)) {
            snprintf(text, sizeof text, "Short %s data", kind);
            image_error(text);
            return 0;
        }
        if (maxval != 255) {
            for (uint8_t& s : pixels) s = (uint8_t)(std::min((int)s, maxval) * 255 / maxval);
        }
    } else {
        for (size_t i = 0; i < n; i++) {
            int s;
            if (!header_int(f, &s)) {
                snprintf(text, sizeof text, "Short %s data", kind);
                image_error(text);
                return 0;
            }
            s = std::clamp(s, 0, maxval);
            pixels.push_back((uint8_t)((long long)s * 255 / maxval));
        }
    }
    out->width = w;
    out->height = h;
    out->channels = channels;
    out->max_alpha = 0;
    out->pixels = std::move(pixels);
    return 1;
}

int image_read_ppm(DataFile* f, const char* magic, Image* out, int build_chain) {
    if (!read_netpbm(f, magic, 3, "P6", "P3", "PPM", out)) return 0;
    if (build_chain) image_build_chain(out);
    return 1;
}

int image_read_pgm(DataFile* f, const char* magic, Image* out) {
    return read_netpbm(f, magic, 1, "P5", "P2", "PGM", out);
}

int image_read_predictive(DataFile* f, int channels_in_file, int channels_out, Image* out) {
    int cin = channels_in_file, cout = channels_out;
    if ((cin != 3 && cin != 4) || cout < cin || cout > 4) return 0;
    const char* kind = cin == 4 ? "J7" : "J6";
    char text[64];
    int w, h;
    if (!header_int(f, &w) || !header_int(f, &h) || !side_ok(w) || !side_ok(h)) {
        snprintf(text, sizeof text, "Can't get %s dimensions", kind);
        image_error(text);
        return 0;
    }
    if (data_getc(f) < 0) {
        snprintf(text, sizeof text, "Short %s data", kind);
        image_error(text);
        return 0;
    }
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> row((size_t)w * cin);
    size_t stride = (size_t)w * cout;
    for (int y = 0; y < h; y++) {
        if (data_read(f, row.data(), row.size()) != row.size()) {
            snprintf(text, sizeof text, "Short %s data", kind);
            image_error(text);
            return 0;
        }
        size_t at = pixels.size();
        pixels.resize(at + stride);
        uint8_t* cur = pixels.data() + at;
        const uint8_t* up = y > 0 ? cur - stride : nullptr;
        for (int x = 0; x < w; x++) {
            for (int c = 0; c < cout; c++) {
                int pred;
                if (x == 0 && y == 0)
                    pred = 0;
                else if (y == 0)
                    pred = cur[(x - 1) * cout + c];
                else if (x == 0)
                    pred = up[c];
                else {
                    pred = up[x * cout + c] + cur[(x - 1) * cout + c] - up[(x - 1) * cout + c];
                    pred = std::clamp(pred, 0, 255);
                }
                int v = c < cin ? pred + row[(size_t)x * cin + c] : pred;
                cur[x * cout + c] = (uint8_t)(v & 255);
            }
        }
    }
    out->width = w;
    out->height = h;
    out->channels = cout;
    out->max_alpha = 0;
    out->pixels = std::move(pixels);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// PNG through libpng, over a DataFile

static void read_from_stream(png_structp png, png_bytep data, size_t n) {
    DataFile* f = (DataFile*)png_get_io_ptr(png);
    if (data_read(f, data, n) != n) png_error(png, "Unexpected end of PNG data");
}

static void write_to_stream(png_structp png, png_bytep data, size_t n) {
    DataFile* f = (DataFile*)png_get_io_ptr(png);
    if (data_write(f, data, n) != n) png_error(png, "Write error");
}

static void flush_stream(png_structp png) {
    data_flush((DataFile*)png_get_io_ptr(png));
}

static void png_on_error(png_structp png, png_const_charp message) {
    image_error(message);
    png_longjmp(png, 1);
}

static void png_on_warning(png_structp, png_const_charp) {} // recoverable; nothing to tell

// libpng's own allocations are a few rows and chunk buffers at most. A bogus chunk length
// would otherwise be allocated in full, because libpng reports an oversized chunk only as a
// warning when reading; refusing it makes libpng skip the chunk or fail the read instead.
static png_voidp png_on_malloc(png_structp, png_alloc_size_t size) {
    return size > (32u << 20) ? nullptr : malloc(size);
}

static void png_on_free(png_structp, png_voidp p) {
    free(p);
}

static bool text_has_max_alpha(png_structp png, png_infop info) {
    png_textp text;
    int n = 0;
    if (!info || !png_get_text(png, info, &text, &n)) return false;
    for (int i = 0; i < n; i++)
        if (text[i].text && strstr(text[i].text, "[mip_max_alpha]")) return true;
    return false;
}

// What a decode run fills in; kept outside the function that calls setjmp so nothing it
// needs after a longjmp lives in that function's registers.
struct PngDecode {
    int grey16 = 0; // 16-bit grey output instead of 8-bit RGB(A)
    int width = 0, height = 0, channels = 0, max_alpha = 0;
    size_t rowbytes = 0;
    std::vector<uint8_t> data;
};

// Reads every row. The buffer grows row by row as the data arrive, so a bogus header never
// costs more memory than the data actually present (ancillary chunks are capped as well).
static int png_decode_rows(png_structp png, png_infop info, png_infop end, PngDecode* d) {
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    png_set_chunk_cache_max(png, 1000);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 w, h;
    int depth, colour, interlace;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0;
    bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (d->grey16) {
        if (depth == 16) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            png_set_swap(png);
#endif
        }
        png_set_strip_alpha(png); // also drops the alpha a palette's tRNS expands to
        if (colour & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    } else {
        if (depth == 16) png_set_strip_16(png);
        if (trns) png_set_tRNS_to_alpha(png);
        if (!(colour & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    }
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    d->width = (int)w;
    d->height = (int)h;
    d->rowbytes = png_get_rowbytes(png, info);
    d->channels = png_get_channels(png, info);
    if (!d->grey16 && d->channels != ((alpha || trns) ? 4 : 3))
        png_error(png, "Unexpected PNG layout");
    if (d->grey16 && d->channels != 1) png_error(png, "Unexpected PNG layout");
    // Rows are stored as they are first reached; an interlaced image revisits them in later
    // passes, so they stay in the one buffer.
    for (int p = 0; p < passes; p++) {
        for (png_uint_32 y = 0; y < h; y++) {
            size_t need = d->rowbytes * (y + 1);
            if (d->data.size() < need) d->data.resize(need);
            png_read_row(png, d->data.data() + d->rowbytes * y, nullptr);
        }
    }
    png_read_end(png, end);
    d->max_alpha = text_has_max_alpha(png, info) || text_has_max_alpha(png, end);
    return 1;
}

static int png_decode(DataFile* f, PngDecode* d) {
    png_byte sig[8];
    if (data_read(f, sig, 8) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        image_error("Not a PNG file");
        return 0;
    }
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, png_on_error,
                                               png_on_warning, nullptr, png_on_malloc, png_on_free);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    int ok = 0;
    if (info && end) {
        png_set_read_fn(png, f, read_from_stream);
        ok = png_decode_rows(png, info, end, d);
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, end ? &end : nullptr);
    return ok;
}

int image_read_png(DataFile* f, Image* out) {
    PngDecode d;
    if (!png_decode(f, &d)) return 0;
    out->width = d.width;
    out->height = d.height;
    out->channels = d.channels;
    out->max_alpha = d.max_alpha;
    out->pixels = std::move(d.data);
    return 1;
}

int image_load_png_grey16(const char* name, int* width, int* height, std::vector<uint16_t>* out) {
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    PngDecode d;
    d.grey16 = 1;
    int ok = png_decode(f, &d);
    data_close(f);
    if (!ok) return 0;
    size_t n = (size_t)d.width * d.height;
    out->resize(n);
    bool wide = d.rowbytes >= (size_t)d.width * 2;
    for (int y = 0; y < d.height; y++) {
        const uint8_t* row = d.data.data() + d.rowbytes * y;
        uint16_t* dst = out->data() + (size_t)y * d.width;
        for (int x = 0; x < d.width; x++) {
            if (wide)
                memcpy(&dst[x], row + 2 * x, 2); // already in host order
            else
                dst[x] = (uint16_t)(row[x] * 257);
        }
    }
    *width = d.width;
    *height = d.height;
    return 1;
}

// The body of both writers; rows[] point at each image row, top row first.
static int png_encode(png_structp png, png_infop info, DataFile* f, int width, int height,
                      int depth, int colour, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_write_fn(png, f, write_to_stream, flush_stream);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, depth, colour,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (depth == 16) png_set_swap(png);
#endif
    png_write_image(png, rows);
    png_write_end(png, info);
    return 1;
}

// Encodes into an open stream; the caller owns the stream.
static int png_write_stream(DataFile* f, int width, int height, int depth, int colour,
                            png_bytep* rows) {
    if (width <= 0 || height <= 0 || !f) return 0;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_on_error, png_on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    int ok = info && png_encode(png, info, f, width, height, depth, colour, rows);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    if (data_flush(f) != 0) ok = 0;
    return ok;
}

// A whole file, saved atomically: a failed encoding leaves the old file. *error (when given)
// receives the save's reason on failure.
static int png_write_file(const char* name, int width, int height, int depth, int colour,
                          png_bytep* rows, std::string* error = nullptr) {
    if (error) error->clear();
    if (width <= 0 || height <= 0) {
        if (error) *error = "no picture";
        return 0;
    }
    DataSave save;
    int ok = data_save_begin(name, &save);
    if (ok && !png_write_stream(save.file, width, height, depth, colour, rows)) {
        // A write error is the save's failure (the commit names it); anything else is libpng's.
        if (data_save_write_error(&save)) {
            data_save_commit(&save);
        } else {
            data_save_abort(&save);
            save.error = "can't encode";
        }
        ok = 0;
    } else if (ok) {
        ok = data_save_commit(&save);
    }
    if (!ok && error) *error = save.error;
    return ok;
}

static std::vector<png_bytep> grey16_rows(int width, int height, const uint16_t* samples) {
    std::vector<png_bytep> rows(std::max(height, 0));
    for (int y = 0; y < height; y++) rows[y] = (png_bytep)(samples + (size_t)y * width);
    return rows;
}

int image_write_png_grey16(const char* name, int width, int height, const uint16_t* samples) {
    std::vector<png_bytep> rows = grey16_rows(width, height, samples);
    return png_write_file(name, width, height, 16, PNG_COLOR_TYPE_GRAY, rows.data());
}

int image_write_png_grey16_to(DataFile* f, int width, int height, const uint16_t* samples) {
    std::vector<png_bytep> rows = grey16_rows(width, height, samples);
    return png_write_stream(f, width, height, 16, PNG_COLOR_TYPE_GRAY, rows.data());
}

int image_write_png_rgb(const char* name, int width, int height, const uint8_t* rgb,
                        std::string* error) {
    std::vector<png_bytep> rows(std::max(height, 0));
    for (int y = 0; y < height; y++)
        rows[y] = (png_bytep)(rgb + (size_t)(height - 1 - y) * width * 3);
    return png_write_file(name, width, height, 8, PNG_COLOR_TYPE_RGB, rows.data(), error);
}

int image_png_header(const char* name, PngHeader* out) {
    *out = PngHeader{};
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    unsigned char b[26];
    size_t n = data_read(f, b, sizeof b);
    data_close(f);
    static const unsigned char SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (n < sizeof b || memcmp(b, SIGNATURE, 8) != 0 || memcmp(b + 12, "IHDR", 4) != 0) return 0;
    auto be32 = [](const unsigned char* p) {
        return (unsigned)p[0] << 24 | (unsigned)p[1] << 16 | (unsigned)p[2] << 8 | p[3];
    };
    unsigned w = be32(b + 16), h = be32(b + 20);
    // Beyond int range is as absurd as zero; both read as 0 for the caller to refuse.
    out->width = w > 0x7fffffffu ? 0 : (int)w;
    out->height = h > 0x7fffffffu ? 0 : (int)h;
    out->depth = b[24];
    out->colour = b[25];
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Whole files

// Reads the magic token that starts a text-headed image.
static int read_magic(DataFile* f, char magic[16]) {
    magic[0] = 0;
    return data_scanf(f, "%15s", magic) == 1;
}

int image_load_ppm(const char* name, Image* out) {
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    char magic[16];
    read_magic(f, magic);
    int ok = image_read_ppm(f, magic, out, 1);
    data_close(f);
    return ok;
}

int image_load_pgm(const char* name, Image* out) {
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    char magic[16];
    read_magic(f, magic);
    int ok = image_read_pgm(f, magic, out);
    data_close(f);
    return ok;
}

int image_load_rgba(const char* name, Image* out) {
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    int ok = image_read_png(f, out);
    data_close(f);
    if (ok) {
        if (out->channels == 3) {
            std::vector<uint8_t> rgba((size_t)out->width * out->height * 4);
            for (size_t i = 0, n = (size_t)out->width * out->height; i < n; i++) {
                memcpy(&rgba[i * 4], &out->pixels[i * 3], 3);
                rgba[i * 4 + 3] = 255;
            }
            out->pixels = std::move(rgba);
            out->channels = 4;
        }
        return 1;
    }
    f = data_open(name, "rb");
    if (!f) return 0;
    char magic[16];
    read_magic(f, magic);
    if (strcmp(magic, "J7") == 0)
        ok = image_read_predictive(f, 4, 4, out);
    else if (strcmp(magic, "J6") == 0)
        ok = image_read_predictive(f, 3, 4, out);
    data_close(f);
    return ok;
}
