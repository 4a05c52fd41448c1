// Canvases and anti-aliased drawing: the painters build every picture from these few shapes.
#include <algorithm>
#include <cmath>

#include "gen.h"

Colour rgb(float r, float g, float b, float a) {
    Colour c;
    c.r = r;
    c.g = g;
    c.b = b;
    c.a = a;
    return c;
}

Colour colour_mix(Colour a, Colour b, float t) {
    return rgb(lerpf(a.r, b.r, t), lerpf(a.g, b.g, t), lerpf(a.b, b.b, t), lerpf(a.a, b.a, t));
}

Colour colour_scale(Colour c, float k) {
    return rgb(c.r * k, c.g * k, c.b * k, c.a);
}

Canvas canvas_new(int width, int height, Colour fill) {
    Canvas c;
    c.width = width;
    c.height = height;
    c.px.assign((size_t)width * height, fill);
    return c;
}

Colour canvas_get(const Canvas& c, int x, int y) {
    x = std::clamp(x, 0, c.width - 1);
    y = std::clamp(y, 0, c.height - 1);
    return c.px[(size_t)y * c.width + x];
}

void canvas_set(Canvas* c, int x, int y, Colour v) {
    if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
    c->px[(size_t)y * c->width + x] = v;
}

// Source-over compositing with non-premultiplied colours.
void canvas_blend(Canvas* c, int x, int y, Colour v, float k) {
    if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
    float a = clampf(v.a * k, 0, 1);
    if (a <= 0) return;
    Colour& d = c->px[(size_t)y * c->width + x];
    float out_a = a + d.a * (1 - a);
    if (out_a <= 0) return;
    d.r = (v.r * a + d.r * d.a * (1 - a)) / out_a;
    d.g = (v.g * a + d.g * d.a * (1 - a)) / out_a;
    d.b = (v.b * a + d.b * d.a * (1 - a)) / out_a;
    d.a = out_a;
}

// Fills the pixels of a box from a signed distance (negative inside, in pixels).
template <typename F>
static void paint_sdf(Canvas* c, float x0, float y0, float x1, float y1, Colour v, F sdf) {
    int ix0 = std::max(0, (int)std::floor(x0) - 1), iy0 = std::max(0, (int)std::floor(y0) - 1);
    int ix1 = std::min(c->width - 1, (int)std::ceil(x1) + 1);
    int iy1 = std::min(c->height - 1, (int)std::ceil(y1) + 1);
    for (int y = iy0; y <= iy1; y++)
        for (int x = ix0; x <= ix1; x++) {
            float k = clampf(0.5f - sdf(x + 0.5f, y + 0.5f), 0, 1);
            if (k > 0) canvas_blend(c, x, y, v, k);
        }
}

void paint_rect(Canvas* c, float x0, float y0, float x1, float y1, Colour v) {
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
    paint_sdf(c, x0, y0, x1, y1, v, [&](float px, float py) {
        float dx = std::fabs(px - cx) - hx, dy = std::fabs(py - cy) - hy;
        float ox = std::max(dx, 0.0f), oy = std::max(dy, 0.0f);
        return std::sqrt(ox * ox + oy * oy) + std::min(std::max(dx, dy), 0.0f);
    });
}

void paint_circle(Canvas* c, float cx, float cy, float radius, Colour v) {
    paint_sdf(c, cx - radius, cy - radius, cx + radius, cy + radius, v, [&](float px, float py) {
        return std::sqrt((px - cx) * (px - cx) + (py - cy) * (py - cy)) - radius;
    });
}

void paint_ellipse(Canvas* c, float cx, float cy, float rx, float ry, Colour v) {
    float m = std::min(rx, ry);
    paint_sdf(c, cx - rx, cy - ry, cx + rx, cy + ry, v, [&](float px, float py) {
        float nx = (px - cx) / rx, ny = (py - cy) / ry;
        return (std::sqrt(nx * nx + ny * ny) - 1) * m; // close enough for round shapes
    });
}

void paint_polygon(Canvas* c, const std::vector<float>& xy, Colour v) {
    size_t n = xy.size() / 2;
    if (n < 3) return;
    float x0 = xy[0], x1 = xy[0], y0 = xy[1], y1 = xy[1];
    for (size_t i = 0; i < n; i++) {
        x0 = std::min(x0, xy[2 * i]);
        x1 = std::max(x1, xy[2 * i]);
        y0 = std::min(y0, xy[2 * i + 1]);
        y1 = std::max(y1, xy[2 * i + 1]);
    }
    paint_sdf(c, x0, y0, x1, y1, v, [&](float px, float py) {
        float best = 1e9f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            float ax = xy[2 * j], ay = xy[2 * j + 1], bx = xy[2 * i], by = xy[2 * i + 1];
            best = std::min(best, segment_distance(px, py, ax, ay, bx, by, nullptr));
            if ((by > py) != (ay > py) && px < (ax - bx) * (py - by) / (ay - by) + bx)
                inside = !inside;
        }
        return inside ? -best : best;
    });
}

void paint_line(Canvas* c, float x0, float y0, float x1, float y1, float width, Colour v) {
    float r = width / 2;
    paint_sdf(c, std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r,
              std::max(y0, y1) + r, v, [&](float px, float py) {
                  return segment_distance(px, py, x0, y0, x1, y1, nullptr) - r;
              });
}

std::vector<uint8_t> canvas_bytes(const Canvas& c, int channels) {
    std::vector<uint8_t> out((size_t)c.width * c.height * channels);
    auto q = [](float v) { return (uint8_t)std::lround(clampf(v, 0, 1) * 255.0f); };
    for (size_t i = 0; i < c.px.size(); i++) {
        const Colour& p = c.px[i];
        uint8_t* o = &out[i * channels];
        if (channels == 1) {
            o[0] = q(0.299f * p.r + 0.587f * p.g + 0.114f * p.b);
            continue;
        }
        o[0] = q(p.r);
        o[1] = q(p.g);
        o[2] = q(p.b);
        if (channels == 4) o[3] = q(p.a);
    }
    return out;
}
