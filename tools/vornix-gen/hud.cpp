// HUD art (tachometer dial, gear indicator, pit board) and the title screen.
#include <cmath>

#include "gen.h"

// The tachometer: a dial from 0 to 14 thousand rpm over 270 degrees, red from 12 up. The
// needle is the HUD's own drawing; the dial's centre is the image's centre.
Canvas paint_tach(int size) {
    Canvas c = canvas_new(size, size, rgb(0, 0, 0, 0));
    float s = (float)size, cx = s / 2, cy = s / 2;
    paint_circle(&c, cx, cy, s * 0.49f, rgb(0.75f, 0.75f, 0.78f, 0.9f));
    paint_circle(&c, cx, cy, s * 0.46f, rgb(0.06f, 0.06f, 0.07f, 0.85f));
    const float start = GEN_PI * 0.75f, sweep = GEN_PI * 1.5f;
    for (int k = 0; k <= 28; k++) {
        float a = start + sweep * k / 28.0f;
        bool major = (k % 2) == 0;
        float r0 = s * (major ? 0.36f : 0.39f), r1 = s * 0.43f;
        Colour col = k >= 24 ? rgb(0.95f, 0.15f, 0.1f) : rgb(0.95f, 0.95f, 0.95f);
        paint_line(&c, cx + std::cos(a) * r0, cy + std::sin(a) * r0, cx + std::cos(a) * r1,
                   cy + std::sin(a) * r1, s * (major ? 0.012f : 0.006f), col);
        if (major) {
            std::string label = strf("%d", k / 2);
            int px = (int)(s * 0.075f);
            float tw = font_text(nullptr, label.c_str(), 0, 0, px, 1, col);
            float lx = cx + std::cos(a) * s * 0.29f - tw / 2,
                  ly = cy + std::sin(a) * s * 0.29f + px * 0.35f;
            font_text(&c, label.c_str(), lx, ly, px, 1, col);
        }
    }
    const char* unit = "x1000 rpm";
    int px = (int)(s * 0.05f);
    float tw = font_text(nullptr, unit, 0, 0, px, 0, rgb(1, 1, 1));
    font_text(&c, unit, cx - tw / 2, cy + s * 0.22f, px, 0, rgb(0.8f, 0.8f, 0.8f));
    paint_circle(&c, cx, cy, s * 0.035f, rgb(0.6f, 0.6f, 0.62f));
    return c;
}

// The gear indicator's frame: a rounded box with the lever's gate bar down its left side. The
// gear labels beside the bar are the HUD's, which knows how many gears the bike has.
Canvas paint_shifter(int size) {
    Canvas c = canvas_new(size, size, rgb(0, 0, 0, 0));
    float s = (float)size;
    paint_rect(&c, s * 0.04f, s * 0.04f, s * 0.96f, s * 0.96f, rgb(0.7f, 0.7f, 0.72f, 0.9f));
    paint_rect(&c, s * 0.08f, s * 0.08f, s * 0.92f, s * 0.92f, rgb(0.05f, 0.05f, 0.06f, 0.85f));
    paint_rect(&c, s * 0.3f, s * 0.12f, s * 0.32f, s * 0.88f, rgb(0.4f, 0.4f, 0.42f));
    return c;
}

// A pit board: a black slate with a white rim on a handle.
Canvas paint_pitboard(int width, int height) {
    Canvas c = canvas_new(width, height, rgb(0, 0, 0, 0));
    float w = (float)width, h = (float)height;
    paint_rect(&c, w * 0.47f, h * 0.8f, w * 0.53f, h, rgb(0.55f, 0.55f, 0.58f));
    paint_rect(&c, w * 0.02f, h * 0.02f, w * 0.98f, h * 0.82f, rgb(0.92f, 0.92f, 0.9f));
    paint_rect(&c, w * 0.05f, h * 0.06f, w * 0.95f, h * 0.78f, rgb(0.07f, 0.07f, 0.08f));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            Colour p = canvas_get(c, x, y);
            if (p.a > 0 && p.r < 0.1f) {
                float n = fbm2(x / 16.0f, y / 16.0f, 2, 501);
                canvas_set(&c, x, y,
                           rgb(0.05f + 0.05f * n, 0.05f + 0.05f * n, 0.06f + 0.05f * n, p.a));
            }
        }
    return c;
}

// The title screen: a sunny sky, layered hills with a track scar and the name.
Canvas paint_title(int width, int height) {
    Canvas c = canvas_new(width, height, rgb(0, 0, 0));
    float w = (float)width, h = (float)height;
    SkyStyle sky = {{0.55f, 0.35f, -0.76f},
                    rgb(0.20f, 0.42f, 0.78f),
                    rgb(0.62f, 0.76f, 0.90f),
                    rgb(0.80f, 0.85f, 0.90f),
                    rgb(1.0f, 0.92f, 0.75f),
                    rgb(0.3f, 0.35f, 0.25f),
                    0.45f,
                    901};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            float a = (x + 0.5f) / w * 2 - 1, b = 1 - (y + 0.5f) / h * 2;
            canvas_set(&c, x, y, sky_colour(sky, a * 1.2f, b * 0.6f + 0.12f, -1));
        }
    // Hills, far to near: each a noise ridge filled down to the bottom.
    const Colour hills[3] = {rgb(0.42f, 0.52f, 0.45f), rgb(0.30f, 0.45f, 0.22f),
                             rgb(0.24f, 0.38f, 0.15f)};
    for (int layer = 0; layer < 3; layer++) {
        float base = h * (0.58f + layer * 0.1f), amp = h * (0.12f - layer * 0.02f);
        for (int x = 0; x < width; x++) {
            float top = base - amp * fbm2(x / (w * (0.25f - layer * 0.05f)), (float)layer * 7, 4,
                                          911 + layer);
            for (int y = (int)top; y < height; y++) {
                if (y < 0) continue;
                float depth = (y - top) / h;
                Colour p = colour_scale(hills[layer], 1.0f - depth * 0.6f);
                float cover = clampf(top + 1 - y, 0, 1);
                canvas_blend(&c, x, y, p, 1 - cover);
            }
        }
    }
    // A dirt track winding over the nearest hill.
    for (int k = 0; k < 200; k++) {
        float t0 = k / 200.0f, t1 = (k + 1) / 200.0f;
        auto px = [&](float t) { return w * (0.05f + 0.9f * t); };
        auto py = [&](float t) {
            return h * (0.86f + 0.06f * std::sin(t * 9.0f) + 0.03f * std::sin(t * 23.0f));
        };
        paint_line(&c, px(t0), py(t0), px(t1), py(t1), h * (0.02f + 0.015f * t0),
                   rgb(0.5f, 0.37f, 0.24f));
    }
    int big = (int)(h * 0.26f);
    float tw = font_text(nullptr, "VORNIX", 0, 0, big, 1, rgb(1, 1, 1));
    float x0 = (w - tw) / 2, y0 = h * 0.42f;
    font_text(&c, "VORNIX", x0 + h * 0.012f, y0 + h * 0.012f, big, 1, rgb(0, 0, 0, 0.55f));
    font_text(&c, "VORNIX", x0, y0, big, 1, rgb(0.98f, 0.52f, 0.08f));
    int small = (int)(h * 0.05f);
    const char* sub = "MOTOCROSS SIMULATOR";
    float sw = font_text(nullptr, sub, 0, 0, small, 1, rgb(1, 1, 1));
    font_text(&c, sub, (w - sw) / 2 + 2, y0 + h * 0.09f + 2, small, 1, rgb(0, 0, 0, 0.5f));
    font_text(&c, sub, (w - sw) / 2, y0 + h * 0.09f, small, 1, rgb(1, 1, 1));
    return c;
}
