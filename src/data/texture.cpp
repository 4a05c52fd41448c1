#include "data/texture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/scanner.h"
#include "platform/log.h"
#include "platform/options.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

TextureState g_textures;

static bool is_pow2(int v) {
    return v > 0 && (v & (v - 1)) == 0;
}

// ---------------------------------------------------------------------------------------------
// GL: the only functions of this module that call it. Headless runs never reach them.

// Uploads a chain starting at level 0 = width x height, every level down to 1 x 1.
static unsigned gl_texture_upload(const uint8_t* chain, int width, int height, int channels,
                                  int hrepeat, int vrepeat, const float border[4]) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, hrepeat ? GL_REPEAT : GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, vrepeat ? GL_REPEAT : GL_CLAMP);
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; i++) {
    }
    // Older drivers refuse clamp-to-edge and keep GL_CLAMP; they then also get nearest
    // mipmap filtering so that the border colour does not bleed in.
    if (!hrepeat) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (!vrepeat) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    bool refused = glGetError() != GL_NO_ERROR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    refused ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    GLint align;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1); // 3-channel rows are not 4-byte aligned
    GLenum format = channels == 4 ? GL_RGBA : channels == 3 ? GL_RGB : GL_LUMINANCE;
    for (int level = 0;; level++) {
        int w = std::max(1, width >> level), h = std::max(1, height >> level);
        glTexImage2D(GL_TEXTURE_2D, level, channels, w, h, 0, format, GL_UNSIGNED_BYTE, chain);
        chain += (size_t)w * h * channels;
        if (w == 1 && h == 1) break;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, align);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

// Replaces levels 0, 1, ... of an animation's texture with another frame of the same size.
// The sides halve without clamping, so the walk stops once either reaches 0.
static void gl_texture_replace(unsigned name, const TextureFrame* frame) {
    glBindTexture(GL_TEXTURE_2D, name);
    GLint align;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLenum format = frame->channels == 4 ? GL_RGBA : frame->channels == 3 ? GL_RGB : GL_LUMINANCE;
    const uint8_t* data = frame->pixels.data();
    for (int level = 0, w = frame->width, h = frame->height; w > 0 && h > 0;
         level++, w /= 2, h /= 2) {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, data);
        data += (size_t)w * h * frame->channels;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, align);
    glBindTexture(GL_TEXTURE_2D, 0);
}

static void gl_texture_delete(unsigned name) {
    GLuint n = name;
    glDeleteTextures(1, &n);
}

// ---------------------------------------------------------------------------------------------
// Creation

// Most common edge colour, each channel quantised to 8 levels; ties go to the lowest bin.
static void border_colour(const uint8_t* p, int width, int height, int channels, float rgba[4]) {
    if (channels == 4) {
        // Transparent black: where a driver keeps GL_CLAMP, the edge fades out instead of
        // showing a colour the artist never drew.
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        return;
    }
    std::vector<int> count(512, 0);
    auto add = [&](int x, int y) {
        const uint8_t* s = p + ((size_t)y * width + x) * channels;
        int r = s[0] * 7 / 255;
        int g = channels >= 3 ? s[1] * 7 / 255 : r;
        int b = channels >= 3 ? s[2] * 7 / 255 : r;
        count[(r << 6) | (g << 3) | b]++;
    };
    for (int x = 0; x < width; x++) {
        add(x, 0);
        add(x, height - 1);
    }
    for (int y = 0; y < height; y++) {
        add(0, y);
        add(width - 1, y);
    }
    int best = 0;
    for (int i = 1; i < 512; i++)
        if (count[i] > count[best]) best = i;
    rgba[0] = (float)(best >> 6) / 7.0f;
    rgba[1] = (float)((best >> 3) & 7) / 7.0f;
    rgba[2] = (float)(best & 7) / 7.0f;
    rgba[3] = 0.0f;
}

void texture_border_colour(const Image* image, float rgba[4]) {
    border_colour(image->pixels.data(), image->width, image->height, image->channels, rgba);
}

// Creates the texture for a chain whose level 0 is width x height; counts its memory.
static unsigned create_from_chain(const uint8_t* chain, int width, int height, int channels,
                                  int hrepeat, int vrepeat) {
    long long bytes = 0;
    for (int level = 0;; level++) {
        int w = std::max(1, width >> level), h = std::max(1, height >> level);
        bytes += (long long)w * h * channels;
        if (w == 1 && h == 1) break;
    }
    g_textures.memory += bytes;
    if (g_settings.headless) return ++g_textures.headless_names;
    float border[4];
    border_colour(chain, width, height, channels, border);
    return gl_texture_upload(chain, width, height, channels, hrepeat, vrepeat, border);
}

unsigned texture_create(const Image* image, int hrepeat, int vrepeat) {
    int w = image->width, h = image->height, ch = image->channels;
    if (w <= 0 || h <= 0 || ch <= 0) return 0;
    if (image->pixels.size() < image_chain_pixels(w, h) * ch) return 0;
    return create_from_chain(image->pixels.data(), w, h, ch, hrepeat, vrepeat);
}

int texture_resample_pow2(const Image* in, Image* out) {
    int width = in->width, height = in->height, ch = in->channels;
    if (is_pow2(width) && is_pow2(height)) return 0;
    int W = 1, H = 1;
    while (W < width) W *= 2;
    while (H < height) H *= 2;
    out->width = W;
    out->height = H;
    out->channels = ch;
    out->max_alpha = 0;
    out->pixels.assign((size_t)W * H * ch, 0);
    for (int y = 0; y < H; y++) {
        const uint8_t* row = in->pixels.data() + (size_t)((long long)y * height / H) * width * ch;
        uint8_t* dst = out->pixels.data() + (size_t)y * W * ch;
        for (int x = 0; x < W; x++)
            memcpy(dst + (size_t)x * ch, row + (size_t)((long long)x * width / W) * ch, ch);
    }
    return 1;
}

unsigned texture_create_any(Image* image, int hrepeat, int vrepeat, int detail) {
    Image resampled;
    Image* img = image;
    if (image->width <= 0 || image->height <= 0 || image->channels <= 0) return 0;
    if (texture_resample_pow2(image, &resampled)) {
        img = &resampled; // its chain is built with the plain rule
    }
    int w = img->width, h = img->height, ch = img->channels;
    if (img->pixels.size() < image_chain_pixels(w, h) * ch) image_build_chain(img);
    // Detail reduction: drop whole top levels of textures larger than 128 x 128. A level is
    // dropped while either side is above 128, so 512 x 512 can reach 128 x 128 and 256 x 128
    // loses exactly one level (to 128 x 64); "both sides above 128" would leave the latter
    // untouched, which is not what the level setting promises for such textures.
    size_t offset = 0;
    while (detail > 0 && (w > 128 || h > 128)) {
        offset += (size_t)w * h * ch;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        detail--;
    }
    return create_from_chain(img->pixels.data() + offset, w, h, ch, hrepeat, vrepeat);
}

// ---------------------------------------------------------------------------------------------
// Animations

static void anim_free(TextureAnim* a) {
    delete a;
}

// Reads an "ANIM1" body (after the magic); null on any failure, with the reason logged.
static TextureAnim* anim_read(DataFile* f) {
    TextureAnim* a = new TextureAnim();
    a->gl_name = 0;
    a->current = 0;
    a->start = 0;
    a->paused = 0;
    if (data_scanf(f, "%d %d %d %d", &a->steps, &a->frames, &a->step_time, &a->loop) != 4 ||
        a->steps <= 0 || a->frames <= 0) {
        anim_free(a);
        return nullptr;
    }
    for (int i = 0; i < a->steps; i++) {
        int index;
        if (data_scanf(f, "%d", &index) != 1) {
            anim_free(a);
            return nullptr;
        }
        a->sequence.push_back(index);
    }
    // A step naming a frame that does not exist would upload from outside the frame list.
    for (int index : a->sequence) {
        if (index < 0 || index >= a->frames) {
            log_printf("Bad frame index %d reading .seq\n", index);
            anim_free(a);
            return nullptr;
        }
    }
    for (int i = 0; i < a->frames; i++) {
        char token[16] = "";
        Image img;
        int ok = 0;
        int got = data_scanf(f, "%15s", token);
        if (got == 1 && strcmp(token, "J7") == 0) {
            ok = image_read_predictive(f, 4, 4, &img);
            if (!ok) log_printf("Error reading .seq frame %d\n", i);
        } else if (got == 1 && strcmp(token, "PNG") == 0) {
            char line[1024];
            if (!data_gets(f, line, sizeof line)) {
                log_printf("EOF while reading .seq\n");
            } else {
                char* s = line;
                while (*s && strchr(" \t\r\n\v\f", *s)) s++;
                char* e = s + strlen(s);
                while (e > s && strchr(" \t\r\n\v\f", e[-1])) *--e = 0;
                DataFile* pf = data_open(s, "rb");
                ok = pf && image_read_png(pf, &img);
                if (pf) data_close(pf);
                if (!ok) log_printf("Can't read %.900s\n", s);
            }
        } else {
            log_printf("Error reading .seq frame %d\n", i);
        }
        if (!ok) {
            anim_free(a);
            return nullptr;
        }
        if (i > 0 && (img.width != a->frame[0].width || img.height != a->frame[0].height)) {
            log_printf("Width/height mismatch reading .seq\n");
            anim_free(a);
            return nullptr;
        }
        if (i > 0 && img.channels != a->frame[0].channels) {
            log_printf("Depth mismatch reading .seq\n");
            anim_free(a);
            return nullptr;
        }
        image_build_chain(&img);
        a->frame.push_back({img.width, img.height, img.channels, std::move(img.pixels)});
    }
    return a;
}

static TextureAnim* anim_find(unsigned gl_name) {
    for (TextureAnim* a : g_textures.anims)
        if (a->gl_name == gl_name) return a;
    return nullptr;
}

void texture_anim_start(unsigned gl_name, int time) {
    if (TextureAnim* a = anim_find(gl_name)) {
        a->paused = 0;
        a->start = time;
    }
}

TextureAnim* texture_anim_pause(unsigned gl_name) {
    TextureAnim* a = anim_find(gl_name);
    if (a) a->paused = 1;
    return a;
}

int texture_anim_step(const TextureAnim* a, int time) {
    // A step duration below 1 would divide by zero; such a sequence advances every unit.
    int step_time = std::max(a->step_time, 1);
    long long step = std::max(0LL, (long long)time - a->start) / step_time;
    if (a->loop)
        step %= a->steps;
    else
        step = std::min(step, (long long)a->steps - 1);
    return (int)step;
}

void texture_anim_update(int time) {
    for (TextureAnim* a : g_textures.anims) {
        if (a->paused) continue;
        int frame = a->sequence[texture_anim_step(a, time)];
        if (frame == a->current) continue;
        if (!g_settings.headless) gl_texture_replace(a->gl_name, &a->frame[frame]);
        a->current = frame;
    }
}

// ---------------------------------------------------------------------------------------------
// The cache

static void textures_create() {
    if (g_textures.created) return;
    g_textures.created = true;
    g_textures.cache.reserve(16);
    g_textures.anims.reserve(16);
}

static bool name_has(const char* name, const char* part) {
    return strstr(name, part) != nullptr;
}

// Decodes the file and creates its texture; 0 when nothing could be decoded.
static unsigned texture_decode(const char* name, DataFile* f, int detail) {
    int hrepeat = name_has(name, "-hrepeat.") || name_has(name, "-repeat.");
    int vrepeat = name_has(name, "-vrepeat.") || name_has(name, "-repeat.");
    char token[16] = "";
    data_scanf(f, "%15s", token);
    Image img;
    int ok = 0;
    if (strcmp(token, "J7") == 0) {
        ok = image_read_predictive(f, 4, 4, &img);
    } else if (strcmp(token, "J6") == 0) {
        ok = image_read_predictive(f, 3, 3, &img);
    } else if (strcmp(token, "P3") == 0 || strcmp(token, "P6") == 0) {
        ok = image_read_ppm(f, token, &img, 1);
    } else if (strcmp(token, "ANIM1") == 0) {
        if (TextureAnim* a = anim_read(f)) {
            const TextureFrame& first = a->frame[a->sequence[0]];
            Image frame;
            frame.width = first.width;
            frame.height = first.height;
            frame.channels = first.channels;
            frame.pixels = first.pixels;
            a->gl_name = texture_create(&frame, hrepeat, vrepeat);
            a->current = a->sequence[0];
            g_textures.anims.push_back(a);
            data_close(f);
            if (!is_pow2(first.width) || !is_pow2(first.height))
                log_printf("Warning: Non power of 2 texture '%.950s'\n", name);
            return a->gl_name;
        }
    }
    data_close(f);
    if (!ok) {
        // Anything else, or a reader that failed: read the file again from the start as PNG.
        f = data_open(name, "rb");
        if (!f) return 0;
        ok = image_read_png(f, &img);
        data_close(f);
        if (!ok) return 0;
    }
    int w = img.width, h = img.height;
    unsigned gl_name = texture_create_any(&img, hrepeat, vrepeat, detail);
    if (!is_pow2(w) || !is_pow2(h)) log_printf("Warning: Non power of 2 texture '%.950s'\n", name);
    return gl_name;
}

unsigned texture_load(const char* name) {
    textures_create();
    int detail = g_settings.model_texture_level;
    if (name[0] == '!') {
        detail = 0;
        name++;
    }
    for (Texture& t : g_textures.cache) {
        bool exact = t.name == name;
        if (!exact && strcasecmp(t.name.c_str(), name) != 0) continue;
        if (!exact) log_printf("Warning: case mismatch on '%.900s'\n", name);
        if (t.stamp != 0 && t.stamp != g_textures.generation) {
            g_textures.memory += t.bytes;
            t.stamp = g_textures.generation;
        }
        return t.gl_name;
    }
    DataFile* f = data_open(name, "rb");
    if (!f) {
        if (g_settings.debug_level) log_printf("Can't open texture \"%.900s\"\n", name);
        return 0;
    }
    long long before = g_textures.memory;
    unsigned gl_name = texture_decode(name, f, detail);
    if (!gl_name) return 0;
    g_textures.cache.push_back({gl_name, g_textures.generation, g_textures.memory - before, name});
    return gl_name;
}

const char* texture_file_name(unsigned gl_name) {
    for (const Texture& t : g_textures.cache)
        if (t.gl_name == gl_name) return t.name.c_str();
    return nullptr;
}

void texture_new_generation() {
    g_textures.generation++;
    g_textures.memory = 0;
}

void texture_purge() {
    std::vector<Texture>& cache = g_textures.cache;
    for (int i = (int)cache.size() - 1; i >= 0; i--) {
        Texture& t = cache[i];
        if (t.stamp == 0 || t.stamp == g_textures.generation) continue;
        if (!g_settings.headless) gl_texture_delete(t.gl_name);
        if (g_settings.debug_level)
            log_printf("deleting tid %d (%.900s)\n", (int)t.gl_name, t.name.c_str());
        cache.erase(cache.begin() + i);
    }
    std::vector<TextureAnim*>& anims = g_textures.anims;
    for (int i = (int)anims.size() - 1; i >= 0; i--) {
        TextureAnim* a = anims[i];
        if (texture_file_name(a->gl_name)) continue;
        if (g_settings.debug_level) log_printf("deleting anim %d for tid %d\n", i, (int)a->gl_name);
        anim_free(a);
        anims.erase(anims.begin() + i);
    }
}

void texture_reset() {
    if (!g_settings.headless)
        for (const Texture& t : g_textures.cache) gl_texture_delete(t.gl_name);
    for (TextureAnim* a : g_textures.anims) anim_free(a);
    g_textures = TextureState();
}

// ---------------------------------------------------------------------------------------------
// Variant lists

static bool ends_with(const char* s, const char* tail) {
    size_t n = strlen(s), m = strlen(tail);
    return n >= m && strcmp(s + n - m, tail) == 0;
}

void texture_variants(const char* prefix, std::vector<const char*>* values,
                      std::vector<const char*>* labels) {
    values->clear();
    labels->clear();
    values->push_back(nullptr);
    labels->push_back(intern_string("default"));
    size_t plen = strlen(prefix);
    for (const char* const* n = data_names(); *n; n++) {
        const char* name = *n;
        if (!ends_with(name, ".png") || ends_with(name, "_norm.png") ||
            ends_with(name, "_spec.png"))
            continue;
        const char* slash = strrchr(name, '/');
        const char* file = slash ? slash + 1 : name;
        if (strncmp(file, prefix, plen) != 0) continue;
        std::string value = std::string("@") + name;
        size_t rest = strlen(file + plen); // a prefix may reach into ".png" itself
        std::string label(file + plen, rest >= 4 ? rest - 4 : 0);
        values->push_back(intern_string(value.c_str()));
        labels->push_back(intern_string(label.c_str()));
    }
}
