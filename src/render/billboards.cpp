#include "render/billboards.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/config.h"
#include "effects/roost.h"
#include "platform/messages.h"
#include "render/frame.h"
#include "track/objects.h"

BillboardSort g_billboard_sort;

uint32_t billboard_sort_key(float depth) {
    double k = std::floor((double)depth * 1024.0 + 16777216.0);
    if (!(k > 0)) return 0; // also a NaN depth
    if (k >= 4294967295.0) return 4294967295u;
    return (uint32_t)k;
}

void billboard_radix_sort(uint32_t* keys, int* items, int n, uint32_t* ks, int* is) {
    uint32_t* from_k = keys;
    int* from_i = items;
    uint32_t* to_k = ks;
    int* to_i = is;
    for (int shift = 0; shift < 32; shift += 8) {
        int count[257] = {};
        for (int i = 0; i < n; i++) count[((from_k[i] >> shift) & 255) + 1]++;
        for (int b = 0; b < 256; b++) count[b + 1] += count[b];
        for (int i = 0; i < n; i++) {
            int at = count[(from_k[i] >> shift) & 255]++;
            to_k[at] = from_k[i];
            to_i[at] = from_i[i];
        }
        std::swap(from_k, to_k);
        std::swap(from_i, to_i);
    }
    // Four passes: the result is back in the caller's arrays.
}

int billboard_lookahead(int* items, unsigned* textures, int n, int window) {
    int changes = 0;
    for (int i = 0; i < n; i++) {
        if (window >= 2 && i > 0 && textures[i] != textures[i - 1]) {
            unsigned want = textures[i - 1];
            int end = std::min(n, i + window);
            for (int j = i + 1; j < end; j++) {
                if (textures[j] != want) continue;
                // Move entry j up to i; the entries between keep their order.
                int item = items[j];
                for (int k = j; k > i; k--) {
                    items[k] = items[k - 1];
                    textures[k] = textures[k - 1];
                }
                items[i] = item;
                textures[i] = want;
                break;
            }
        }
        if (i == 0 || textures[i] != textures[i - 1]) changes++;
    }
    return changes;
}

void billboard_lookahead_set(int window) {
    config_set_billboard_lookahead(window);
    char text[64];
    snprintf(text, sizeof text, "Billboard optimization window is now %d", window);
    post_message(text);
}

void billboards_reset() {
    g_billboard_sort = BillboardSort();
}

namespace {

// One entry of the draw order: a track billboard, or (from the track's count on) a roost
// particle's own billboard.
struct Sprite {
    float x, y, z;
    float width, height;
    unsigned texture;
    const uint8_t* color;
    bool particle; // centred on its point and facing the camera fully
};

Sprite sprite_of(int index) {
    const std::vector<Billboard>& list = g_objects.billboards;
    if (index < (int)list.size()) {
        const Billboard& b = list[(size_t)index];
        return {b.x, b.y, b.z, b.width, b.height, b.texture, b.color, false};
    }
    const RoostParticle& p = g_roost.particles[index - (int)list.size()];
    return {p.position[0], p.position[1], p.position[2], p.size, p.size, p.texture, p.color, true};
}

// Centre of a billboard: particles are centred on their point, the others stand on it.
void billboard_centre(const Sprite& b, float c[3]) {
    c[0] = b.x;
    c[1] = b.particle ? b.y : b.y + b.height * 0.5f;
    c[2] = b.z;
}

// Adds entry index to the draw order when it shows and may be seen.
void consider(const Camera& camera, int index, int* count) {
    BillboardSort& s = g_billboard_sort;
    Sprite b = sprite_of(index);
    if (!b.texture) return;
    float c[3];
    billboard_centre(b, c);
    float radius = b.particle ? b.width * 0.7072f : 0.5f * std::hypot(b.width, b.height);
    if (!frame_sphere_visible(camera, g_render.extent_u, g_render.extent_v, c, radius)) return;
    const float* back = camera.rot + 6;
    float depth = -((c[0] - camera.eye[0]) * back[0] + (c[1] - camera.eye[1]) * back[1] +
                    (c[2] - camera.eye[2]) * back[2]);
    s.keys[*count] = billboard_sort_key(depth);
    s.order[*count] = index;
    (*count)++;
}

// Collects the visible billboards and live particles with their sort keys; returns how many.
int collect(const Camera& camera) {
    BillboardSort& s = g_billboard_sort;
    size_t tracked = g_objects.billboards.size();
    // Room for every particle the pool holds, so a growing roost never reallocates.
    size_t n = tracked + ROOST_POOL;
    if (s.keys.size() < n) {
        s.keys.resize(n);
        s.keys_scratch.resize(n);
        s.order.resize(n);
        s.order_scratch.resize(n);
        s.textures.resize(n);
    }
    int count = 0;
    for (size_t i = 0; i < tracked; i++) consider(camera, (int)i, &count);
    for (int p = g_roost.live_head; p != ROOST_NONE; p = g_roost.particles[p].next)
        consider(camera, (int)tracked + p, &count);
    return count;
}

// Appends one billboard's four corners to the vertex list.
void add_quad(const Camera& camera, const Sprite& b, std::vector<BillboardVertex>* v) {
    const float* right = camera.rot;
    const float* up = camera.rot + 3;
    float corner[4][3];
    if (b.particle) {
        float h = b.width * 0.5f;
        for (int k = 0; k < 4; k++) {
            float sx = (k == 1 || k == 2) ? h : -h, sy = k >= 2 ? h : -h;
            corner[k][0] = b.x + right[0] * sx + up[0] * sy;
            corner[k][1] = b.y + right[1] * sx + up[1] * sy;
            corner[k][2] = b.z + right[2] * sx + up[2] * sy;
        }
    } else {
        // Upright: turned about the vertical only, so trees and banners never lean.
        float rx = right[0], rz = right[2];
        float l = std::hypot(rx, rz);
        if (l > 1e-6f)
            rx /= l, rz /= l;
        else
            rx = 1, rz = 0;
        float h = b.width * 0.5f;
        for (int k = 0; k < 4; k++) {
            float sx = (k == 1 || k == 2) ? h : -h;
            corner[k][0] = b.x + rx * sx;
            corner[k][1] = k >= 2 ? b.y + b.height : b.y;
            corner[k][2] = b.z + rz * sx;
        }
    }
    // Image rows run top first: the top edge takes t = 0.
    static const float ST[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int k = 0; k < 4; k++)
        v->push_back({corner[k][0],
                      corner[k][1],
                      corner[k][2],
                      ST[k][0],
                      ST[k][1],
                      {b.color[0], b.color[1], b.color[2], b.color[3]}});
}

// Draws the collected vertices of one texture run.
void flush(std::vector<BillboardVertex>* v) {
    if (v->empty()) return;
    const int stride = sizeof(BillboardVertex);
    const BillboardVertex* first = v->data();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, &first->x);
    glTexCoordPointer(2, GL_FLOAT, stride, &first->s);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, first->rgba);
    glDrawArrays(GL_QUADS, 0, (GLsizei)v->size());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    v->clear();
}

} // namespace

void billboards_draw(const Camera& camera) {
    BillboardSort& s = g_billboard_sort;
    int n = collect(camera);
    if (n == 0) return;
    billboard_radix_sort(s.keys.data(), s.order.data(), n, s.keys_scratch.data(),
                         s.order_scratch.data());
    // Far first.
    std::reverse(s.order.begin(), s.order.begin() + n);
    for (int i = 0; i < n; i++) s.textures[i] = sprite_of(s.order[i]).texture;
    billboard_lookahead(s.order.data(), s.textures.data(), n,
                        g_config.billboard_optimize_lookahead);

    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    std::vector<BillboardVertex>& v = s.vertices;
    v.clear();
    unsigned current = 0;
    for (int i = 0; i < n; i++) {
        Sprite b = sprite_of(s.order[i]);
        if (b.texture != current) {
            flush(&v);
            frame_bind_texture(b.texture);
            current = b.texture;
        }
        add_quad(camera, b, &v);
    }
    flush(&v);
    render_stats_add(STAT_BILLBOARDS, n);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
}
