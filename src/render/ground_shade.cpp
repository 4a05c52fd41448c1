// Ground shading from the sun and the low-detail ground textures built from it.
#include <GL/gl.h>
#include <cmath>
#include <cstddef>

#include "core/settings.h"
#include "data/image.h"
#include "render/ground.h"
#include "render/ground_internal.h"
#include "track/lighting.h"
#include "track/terrain.h"

GroundState g_ground;

void ground_reset() {
    g_ground = GroundState();
}

// GL exists only while a window with its context is open; headless runs (whose window has no
// context) never touch it.
static bool gl_ready() {
    return ground_gl_ready();
}

static inline int clamp_int(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

void ground_sample_shade(const Terrain* t, int i, int j, uint8_t rgb[3]) {
    int P = t->samples;
    if (P <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    // Step 1-2: the centre and its eight neighbours; positions from the unclamped indices,
    // heights from clamped ones.
    i = clamp_int(i, 0, P - 1);
    j = clamp_int(j, 0, P - 1);
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                   {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
    float s = t->spacing;
    const float* h = t->heights.data();
    size_t centre = (size_t)i + (size_t)P * j;
    float ch = h[centre];
    float d[8][3];
    bool interior = i > 0 && j > 0 && i < P - 1 && j < P - 1;
    for (int k = 0; k < 8; k++) {
        int di = ring[k][0], dj = ring[k][1];
        float nh =
            interior ? h[centre + di + (ptrdiff_t)P * dj] : terrain_sample(t, i + di, j + dj);
        d[k][0] = (float)di * s;
        d[k][1] = nh - ch;
        d[k][2] = (float)dj * s;
    }
    // Step 3: the sum of the normalised normals of the eight triangles around the sample.
    float n[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        const float* a = d[(k + 1) & 7];
        const float* b = d[k];
        float c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                      a[0] * b[1] - a[1] * b[0]};
        float len2 = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
        if (len2 > 0) {
            float inv = 1.0f / sqrtf(len2);
            n[0] += c[0] * inv, n[1] += c[1] * inv, n[2] += c[2] * inv;
        }
    }
    float len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (len2 > 0) {
        float inv = 1.0f / sqrtf(len2);
        n[0] *= inv, n[1] *= inv, n[2] *= inv;
    }
    // Step 4-5.
    const Lighting& l = g_lighting;
    float light = n[0] * l.sun_vector[0] + n[1] * l.sun_vector[1] + n[2] * l.sun_vector[2];
    light = light < 0 ? 0 : (light > 1 ? 1 : light);
    if (!t->shadows.empty()) light *= 1.0f - (float)t->shadows[(size_t)i + (size_t)P * j] / 255.0f;
    for (int c = 0; c < 3; c++) {
        float v = (l.sun_color[c] * light + l.ambient[c]) * 0.5f * 255.0f;
        rgb[c] = !(v > 0) ? 0 : (v >= 255 ? 255 : (uint8_t)(int)v);
    }
}

void ground_mark_shading(Terrain* t, int i0, int j0, int i1, int j1) {
    int W = t->lowdetail_count;
    if (W <= 0) return;
    int bx0 = clamp_int(i0 / LOWDETAIL_STEP, 0, W - 1),
        bx1 = clamp_int(i1 / LOWDETAIL_STEP, 0, W - 1);
    int bz0 = clamp_int(j0 / LOWDETAIL_STEP, 0, W - 1),
        bz1 = clamp_int(j1 / LOWDETAIL_STEP, 0, W - 1);
    for (int bz = bz0; bz <= bz1; bz++)
        for (int bx = bx0; bx <= bx1; bx++) {
            int index = bz * W + bx;
            t->lowdetail_dirty[index >> 5] |= 1u << (index & 31);
        }
}

void ground_relight(Terrain* t, int i0, int j0, int i1, int j1) {
    int P = t->samples;
    if (P <= 0 || t->shading.size() != (size_t)P * P * 3) return;
    i0 = clamp_int(i0, 0, P - 1), i1 = clamp_int(i1, 0, P - 1);
    j0 = clamp_int(j0, 0, P - 1), j1 = clamp_int(j1, 0, P - 1);
    if (i0 > i1 || j0 > j1) return;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++)
            ground_sample_shade(t, i, j, &t->shading[3 * ((size_t)i + (size_t)P * j)]);
    ground_mark_shading(t, i0, j0, i1, j1);
}

int ground_lowdetail_count(int tiles) {
    int w = (2 * tiles / 64 + 6) / 7;
    return w < 1 ? 1 : w;
}

void ground_lowdetail_alloc(Terrain* t) {
    int W = ground_lowdetail_count(t->tiles);
    t->lowdetail_count = W;
    t->lowdetail_textures.assign((size_t)W * W, 0);
    t->lowdetail_dirty.assign(((size_t)W * W + 31) / 32, 0);
    g_ground.lowdetail_cursor = 0;
}

void ground_lowdetail_free(Terrain* t) {
    if (gl_ready())
        for (unsigned& name : t->lowdetail_textures)
            if (name) glDeleteTextures(1, &name);
    t->lowdetail_textures.clear();
    t->lowdetail_dirty.clear();
    t->lowdetail_count = 0;
    g_ground.lowdetail_cursor = 0;
}

int ground_lowdetail_dirty(const Terrain* t, int index) {
    if (index < 0 || index >= t->lowdetail_count * t->lowdetail_count) return 0;
    return (t->lowdetail_dirty[index >> 5] >> (index & 31)) & 1;
}

int ground_lowdetail_size(const Terrain* t, int origin) {
    int need = 2 * t->tiles - origin + 2 * LOWDETAIL_MARGIN;
    int size = 1;
    while (size < need && size < LOWDETAIL_MAX_SIZE) size *= 2;
    return size;
}

void ground_lowdetail_image(const Terrain* t, int index, Image* out) {
    int W = t->lowdetail_count;
    int bx = (index % W) * LOWDETAIL_STEP, bz = (index / W) * LOWDETAIL_STEP;
    int w = ground_lowdetail_size(t, bx), h = ground_lowdetail_size(t, bz);
    int last = 2 * t->tiles, P = t->samples;
    out->width = w;
    out->height = h;
    out->channels = 3;
    out->max_alpha = 0;
    out->pixels.assign((size_t)w * h * 3, 0);
    for (int j = 0; j < h; j++) {
        int sj = clamp_int(bz + j - LOWDETAIL_MARGIN, 0, last);
        for (int k = 0; k < w; k++) {
            int si = clamp_int(bx + k - LOWDETAIL_MARGIN, 0, last);
            const uint8_t* s = &t->shading[3 * ((size_t)si + (size_t)P * sj)];
            uint8_t* d = &out->pixels[3 * ((size_t)k + (size_t)w * j)];
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
    }
}

int ground_lowdetail_next(Terrain* t) {
    int total = t->lowdetail_count * t->lowdetail_count;
    for (int look = 0; look < total; look++) {
        int index = g_ground.lowdetail_cursor;
        g_ground.lowdetail_cursor = (index + 1) % total;
        if (ground_lowdetail_dirty(t, index)) {
            t->lowdetail_dirty[index >> 5] &= ~(1u << (index & 31));
            return index;
        }
    }
    return -1;
}

// Uploads every level of a built chain into the bound texture; create allocates the levels.
static void upload_chain(const Image& image, bool create) {
    const uint8_t* p = image.pixels.data();
    int w = image.width, h = image.height;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int level = 0;; level++) {
        if (create)
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, p);
        else
            glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, p);
        if (w == 1 && h == 1) break;
        p += (size_t)w * h * 3;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

static void build_image(const Terrain* t, int index, Image* image) {
    ground_lowdetail_image(t, index, image);
    size_t chain = image_chain_pixels(image->width, image->height) * 3;
    if (image->pixels.size() < chain) image->pixels.resize(chain, 0);
    image_build_chain(image);
}

void ground_lowdetail_upload(Terrain* t, int index) {
    if (!gl_ready() || index < 0 || index >= (int)t->lowdetail_textures.size() ||
        !t->lowdetail_textures[index])
        return;
    Image image;
    build_image(t, index, &image);
    glBindTexture(GL_TEXTURE_2D, t->lowdetail_textures[index]);
    upload_chain(image, false);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void ground_lowdetail_build(Terrain* t) {
    if (!gl_ready() || t->shading.empty()) return;
    for (size_t index = 0; index < t->lowdetail_textures.size(); index++) {
        GLuint name = 0;
        glGenTextures(1, &name);
        t->lowdetail_textures[index] = name;
        glBindTexture(GL_TEXTURE_2D, name);
        // The shading is sampled between sample centres when the ground tiles are drawn.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        Image image;
        build_image(t, (int)index, &image);
        upload_chain(image, true);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}
