// Ground shading from the sun and the low-detail ground textures built from it.
#include <GL/gl.h>
#include <cmath>
#include <cstddef>

#include "core/settings.h"
#include "core/maths.h"
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


void ground_lowdetail_free(Terrain* t) {
    if (gl_ready())
        for (unsigned& name : t->lowdetail_textures)
            if (name) glDeleteTextures(1, &name);
    t->lowdetail_textures.clear();
    t->lowdetail_dirty.clear();
    t->lowdetail_count = 0;
    g_ground.lowdetail_cursor = 0;
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
        int sj = clamp(bz + j - LOWDETAIL_MARGIN, 0, last);
        for (int k = 0; k < w; k++) {
            int si = clamp(bx + k - LOWDETAIL_MARGIN, 0, last);
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
        if (terrain_lowdetail_dirty(t, index)) {
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
