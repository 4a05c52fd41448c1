// Billboard sprites (trees, bushes, banners, flaggers), particles, lens flares, decals and the
// textures of the track objects.
#include <cmath>

#include "gen.h"

static const Colour CLEAR = {0, 0, 0, 0};

// Leaves: a blob of small circles shaded darker toward the bottom-right, lit from the top-left.
static void foliage(Canvas* c, float cx, float cy, float rx, float ry, Colour base, int count,
                    GenRandom* r) {
    for (int k = 0; k < count; k++) {
        float a = gen_random_unit(r) * 2 * GEN_PI, d = std::sqrt(gen_random_unit(r));
        float x = cx + std::cos(a) * d * rx, y = cy + std::sin(a) * d * ry;
        float lit = 0.75f + 0.35f * clampf(((cx - x) / rx + (cy - y) / ry) * 0.5f + 0.3f, -0.5f, 1);
        lit *= 0.85f + 0.3f * gen_random_unit(r);
        paint_circle(c, x, y, rx * gen_random_range(r, 0.12f, 0.24f), colour_scale(base, lit));
    }
}

Canvas paint_tree(int kind, int width, int height, uint32_t seed) {
    Canvas c = canvas_new(width, height, CLEAR);
    GenRandom r;
    gen_random_seed(&r, seed);
    float w = (float)width, h = (float)height;
    Colour bark = rgb(0.33f, 0.24f, 0.16f);
    if (kind == 0) { // pine
        paint_rect(&c, w * 0.46f, h * 0.75f, w * 0.54f, h, bark);
        Colour needles = rgb(0.13f, 0.28f, 0.15f);
        for (int layer = 0; layer < 6; layer++) {
            float top = h * (0.02f + layer * 0.12f), bottom = top + h * 0.26f;
            float half = w * (0.16f + layer * 0.065f);
            float shade = 0.8f + 0.06f * layer;
            paint_polygon(&c, {w / 2, top, w / 2 + half, bottom, w / 2 - half, bottom},
                          colour_scale(needles, shade));
            foliage(&c, w / 2, bottom - h * 0.03f, half * 0.9f, h * 0.03f, needles, 18, &r);
        }
    } else if (kind == 1) { // broadleaf
        paint_polygon(&c, {w * 0.44f, h, w * 0.56f, h, w * 0.53f, h * 0.45f, w * 0.47f, h * 0.45f},
                      bark);
        paint_line(&c, w * 0.5f, h * 0.6f, w * 0.3f, h * 0.42f, w * 0.04f, bark);
        paint_line(&c, w * 0.5f, h * 0.55f, w * 0.7f, h * 0.38f, w * 0.04f, bark);
        Colour leaves = rgb(0.20f, 0.36f, 0.14f);
        foliage(&c, w * 0.5f, h * 0.35f, w * 0.42f, h * 0.3f, colour_scale(leaves, 0.8f), 90, &r);
        foliage(&c, w * 0.45f, h * 0.3f, w * 0.3f, h * 0.22f, leaves, 60, &r);
    } else { // palm
        float bx = w * 0.5f, by = h;
        float tx = w * 0.58f, ty = h * 0.22f;
        for (int k = 0; k < 24; k++) {
            float t0 = k / 24.0f, t1 = (k + 1) / 24.0f;
            float x0 = lerpf(bx, tx, t0) + std::sin(t0 * GEN_PI) * w * 0.08f;
            float x1 = lerpf(bx, tx, t1) + std::sin(t1 * GEN_PI) * w * 0.08f;
            paint_line(&c, x0, lerpf(by, ty, t0), x1, lerpf(by, ty, t1), w * (0.07f - 0.03f * t0),
                       colour_scale(rgb(0.45f, 0.36f, 0.24f), (k & 1) ? 0.85f : 1.0f));
        }
        Colour frond = rgb(0.22f, 0.42f, 0.16f);
        for (int f = 0; f < 13; f++) {
            float ang =
                -GEN_PI * 1.05f + f * GEN_PI * 1.1f / 12 + gen_random_range(&r, -0.15f, 0.15f);
            float len = w * gen_random_range(&r, 0.32f, 0.46f);
            float px = tx, py = ty;
            for (int s = 1; s <= 10; s++) {
                float t = s / 10.0f;
                float nx = tx + std::cos(ang) * len * t;
                float ny = ty + std::sin(ang) * len * t * 0.6f + t * t * h * 0.12f;
                Colour fc = colour_scale(frond, 0.75f + 0.3f * t);
                paint_line(&c, px, py, nx, ny, w * 0.03f, fc);
                // Leaflets hang from both sides of the stem.
                float lx = -(ny - py), ly = nx - px, ll = std::sqrt(lx * lx + ly * ly) + 1e-6f;
                float leaf = w * 0.09f * (1.2f - t);
                paint_line(&c, nx, ny, nx + lx / ll * leaf, ny + ly / ll * leaf + leaf * 0.6f,
                           w * 0.02f, fc);
                paint_line(&c, nx, ny, nx - lx / ll * leaf, ny - ly / ll * leaf + leaf * 0.6f,
                           w * 0.02f, fc);
                px = nx;
                py = ny;
            }
        }
    }
    return c;
}

Canvas paint_bush(int width, int height, uint32_t seed) {
    Canvas c = canvas_new(width, height, CLEAR);
    GenRandom r;
    gen_random_seed(&r, seed);
    foliage(&c, width * 0.5f, height * 0.6f, width * 0.42f, height * 0.36f,
            rgb(0.24f, 0.38f, 0.16f), 70, &r);
    return c;
}

// A cloth banner between two posts, lettered in the middle.
Canvas paint_banner(const char* text, Colour back, Colour ink, int width, int height) {
    Canvas c = canvas_new(width, height, CLEAR);
    float w = (float)width, h = (float)height;
    paint_rect(&c, 0, 0, w * 0.03f, h, rgb(0.55f, 0.55f, 0.55f));
    paint_rect(&c, w * 0.97f, 0, w, h, rgb(0.55f, 0.55f, 0.55f));
    paint_rect(&c, w * 0.03f, h * 0.05f, w * 0.97f, h * 0.7f, back);
    paint_rect(&c, w * 0.03f, h * 0.05f, w * 0.97f, h * 0.1f, colour_scale(back, 0.7f));
    paint_rect(&c, w * 0.03f, h * 0.65f, w * 0.97f, h * 0.7f, colour_scale(back, 0.7f));
    int px = (int)(h * 0.42f);
    float tw = font_text(nullptr, text, 0, 0, px, 1, ink);
    font_text(&c, text, (w - tw) / 2, h * 0.53f, px, 1, ink);
    return c;
}

/*
 * Flagger poses: 0 standing; start flagger 1 board up, 2 board turning, 3 board down,
 * 4 walking away, 5 standing aside with the board; lap board 6 waiting, 7 crossed flags
 * (half way), 8 white flag (last lap), 9 chequered flag (finish); gate flagger 10 yellow flag
 * rolled, 11 yellow flag waving.
 */
Canvas paint_flagger(int pose, Colour shirt, int width, int height) {
    Canvas c = canvas_new(width, height, CLEAR);
    float sx = width / 64.0f, sy = height / 128.0f;
    auto X = [&](float v) { return v * sx; };
    auto Y = [&](float v) { return v * sy; };
    Colour skin = rgb(0.85f, 0.66f, 0.52f), pants = rgb(0.18f, 0.2f, 0.28f);
    Colour boots = rgb(0.1f, 0.1f, 0.1f);
    float lw = 7 * sx;
    // Legs, apart when walking.
    float spread = pose == 4 ? 9.0f : 4.0f;
    paint_line(&c, X(29), Y(76), X(32 - spread), Y(120), lw, pants);
    paint_line(&c, X(35), Y(76), X(32 + spread), Y(120), lw, pants);
    paint_rect(&c, X(32 - spread - 5), Y(118), X(32 - spread + 4), Y(125), boots);
    paint_rect(&c, X(32 + spread - 4), Y(118), X(32 + spread + 5), Y(125), boots);
    // Body and head.
    paint_polygon(&c, {X(23), Y(42), X(41), Y(42), X(39), Y(80), X(25), Y(80)}, shirt);
    paint_circle(&c, X(32), Y(31), 8 * sx, skin);
    paint_ellipse(&c, X(32), Y(25), 9 * sx, 5 * sy, rgb(0.15f, 0.15f, 0.15f)); // cap
    // Hands: where each arm ends, by pose.
    float lx = 22, ly = 76, rx = 42, ry = 76;
    switch (pose) {
    case 1:
        lx = 18, ly = 22, rx = 46, ry = 22;
        break;
    case 2:
        lx = 27, ly = 22, rx = 37, ry = 22;
        break;
    case 3:
        lx = 24, ly = 60, rx = 40, ry = 60;
        break;
    case 4:
        lx = 20, ly = 70, rx = 44, ry = 66;
        break;
    case 7:
        lx = 14, ly = 24, rx = 50, ry = 24;
        break;
    case 8:
    case 9:
        lx = 22, ly = 74, rx = 42, ry = 24;
        break;
    case 11:
        lx = 22, ly = 74, rx = 44, ry = 24;
        break;
    default:
        break;
    }
    paint_line(&c, X(25), Y(45), X(lx), Y(ly), 5 * sx, shirt);
    paint_line(&c, X(39), Y(45), X(rx), Y(ry), 5 * sx, shirt);
    paint_circle(&c, X(lx), Y(ly), 3 * sx, skin);
    paint_circle(&c, X(rx), Y(ry), 3 * sx, skin);
    Colour board = rgb(0.95f, 0.95f, 0.92f), black = rgb(0.05f, 0.05f, 0.05f);
    if (pose == 1 || pose == 5 || pose == 3) {
        float bx = pose == 5 ? 48 : 32, by = pose == 1 ? 12 : (pose == 3 ? 60 : 62);
        paint_rect(&c, X(bx - 13), Y(by - 8), X(bx + 13), Y(by + 10), board);
        font_text(&c, "30", X(bx - 9), Y(by + 7), (int)(14 * sy), 1, black);
    } else if (pose == 2) {
        paint_rect(&c, X(30), Y(3), X(34), Y(23), board);
    } else if (pose == 4) {
        paint_rect(&c, X(44), Y(56), X(48), Y(78), board);
    }
    auto flag = [&](float hx, float hy, float dir, Colour col, int chequer) {
        float tipx = hx + dir * 3, tipy = hy - 18;
        paint_line(&c, X(hx), Y(hy + 6), X(tipx), Y(tipy), 1.6f * sx, rgb(0.4f, 0.3f, 0.2f));
        float fx0 = tipx, fx1 = tipx + dir * 15;
        for (int k = 0; k < 6; k++)
            for (int m = 0; m < 3; m++) {
                float x0 = fx0 + (fx1 - fx0) * k / 6, x1 = fx0 + (fx1 - fx0) * (k + 1) / 6;
                float wave = std::sin(k * 1.1f) * 1.5f;
                Colour q = chequer ? (((k + m) & 1) ? black : board) : col;
                paint_rect(&c, X(std::fmin(x0, x1)), Y(tipy + m * 4 + wave), X(std::fmax(x0, x1)),
                           Y(tipy + (m + 1) * 4 + wave), q);
            }
    };
    Colour yellow = rgb(0.98f, 0.85f, 0.1f);
    if (pose == 7) {
        paint_line(&c, X(14), Y(24), X(50), Y(6), 1.6f * sx, rgb(0.4f, 0.3f, 0.2f));
        paint_line(&c, X(50), Y(24), X(14), Y(6), 1.6f * sx, rgb(0.4f, 0.3f, 0.2f));
        paint_rect(&c, X(44), Y(2), X(60), Y(12), rgb(0.1f, 0.55f, 0.2f));
        paint_rect(&c, X(4), Y(2), X(20), Y(12), rgb(0.1f, 0.55f, 0.2f));
    }
    if (pose == 8) flag(42, 24, 1, board, 0);
    if (pose == 9) flag(42, 24, 1, board, 1);
    if (pose == 11) flag(44, 24, 1, yellow, 0);
    if (pose == 10) paint_line(&c, X(42), Y(76), X(46), Y(50), 3 * sx, yellow);
    if (pose == 6) paint_line(&c, X(42), Y(76), X(46), Y(52), 3 * sx, board);
    return c;
}

Canvas paint_flare(int kind, int size) {
    Canvas c = canvas_new(size, size, rgb(1, 1, 1, 0));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float dx = (x + 0.5f) / size * 2 - 1, dy = (y + 0.5f) / size * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy), a;
            if (kind == 0)
                a = std::exp(-r * r * 6) + 0.25f * std::exp(-r * 2.5f) * (r < 1 ? 1 - r : 0);
            else if (kind == 1)
                a = std::exp(-(r - 0.8f) * (r - 0.8f) * 180) * 0.8f;
            else
                a = (1 - smoothstepf(0.6f, 0.7f, r)) * 0.5f;
            canvas_set(&c, x, y, rgb(1, 1, 1, clampf(a, 0, 1)));
        }
    return c;
}

// White particles: the roost colour in the surface's roost settings tints them.
Canvas paint_roost(int splash, int size) {
    Canvas c = canvas_new(size, size, rgb(1, 1, 1, 0));
    uint32_t seed = splash ? 77u : 55u;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float dx = u * 2 - 1, dy = v * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy);
            float lump = fbm2(u * 6, v * 6, 3, seed);
            float a = splash ? (1 - smoothstepf(0.2f, 0.9f, r)) * smoothstepf(0.45f, 0.6f, lump)
                             : (1 - smoothstepf(0.3f + 0.4f * lump, 0.95f, r));
            float lit = 0.8f + 0.2f * clampf(-(dx + dy) * 0.5f + 0.5f, 0, 1);
            canvas_set(&c, x, y, rgb(lit, lit, lit, clampf(a, 0, 1)));
        }
    return c;
}

Canvas paint_haybale_texture(int size) {
    Canvas c = canvas_new(size, size, rgb(0, 0, 0));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float straw = fbm2_tile(u * 64, v * 4, 64, 3, 301);
            Colour p = colour_mix(rgb(0.72f, 0.6f, 0.3f), rgb(0.9f, 0.8f, 0.45f), straw);
            p = colour_scale(p, 0.9f + 0.2f * hash_unit(x, y, 303));
            float twine = std::fabs(u - 0.3f) < 0.012f || std::fabs(u - 0.7f) < 0.012f;
            canvas_set(&c, x, y, colour_mix(p, rgb(0.25f, 0.45f, 0.7f), twine * 0.8f));
        }
    return c;
}

Canvas paint_tuff_texture(int size) {
    Canvas c = canvas_new(size, size, rgb(0.12f, 0.3f, 0.7f));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float n = fbm2((x + 0.5f) / size * 8, (y + 0.5f) / size * 8, 2, 311);
            canvas_set(&c, x, y, colour_scale(rgb(0.12f, 0.3f, 0.7f), 0.92f + 0.12f * n));
        }
    paint_rect(&c, 0, size * 0.62f, (float)size, size * 0.7f, rgb(0.95f, 0.95f, 0.95f));
    float tw = font_text(nullptr, "VORNIX", 0, 0, size / 5, 1, rgb(1, 1, 1));
    font_text(&c, "VORNIX", (size - tw) / 2, size * 0.45f, size / 5, 1, rgb(0.97f, 0.97f, 0.97f));
    return c;
}

// Tread plate with a yellow and black band; the bottom fifth is the hinge bar.
Canvas paint_startgate_texture(int size) {
    Canvas c = canvas_new(size, size, rgb(0.5f, 0.52f, 0.55f));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size * 12, v = (y + 0.5f) / size * 12;
            float du = u - std::floor(u) - 0.5f, dv = v - std::floor(v) - 0.5f;
            float diamond = 1 - smoothstepf(0.08f, 0.16f,
                                            std::fabs(du + dv * 0.5f) * 0.6f +
                                                std::fabs(dv - du * 0.5f) * 0.25f);
            Colour p = colour_scale(rgb(0.5f, 0.52f, 0.55f), 0.9f + 0.25f * diamond);
            float fy = (y + 0.5f) / size;
            if (fy < 0.2f) {
                bool stripe = ((int)((x + y) / (size / 8.0f)) & 1) != 0;
                p = stripe ? rgb(0.95f, 0.8f, 0.05f) : rgb(0.08f, 0.08f, 0.08f);
            }
            canvas_set(&c, x, y, p);
        }
    return c;
}

Canvas paint_finishline(int width, int height) {
    Canvas c = canvas_new(width, height, rgb(1, 1, 1, 0));
    int square = height / 2;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            bool black = (((x / square) + (y / square)) & 1) != 0;
            float edge = std::fmin(std::fmin(x + 0.5f, width - x - 0.5f),
                                   std::fmin(y + 0.5f, height - y - 0.5f));
            float a = 0.85f * smoothstepf(0, 2.5f, edge) * (0.85f + 0.15f * hash_unit(x, y, 401));
            canvas_set(&c, x, y, black ? rgb(0.06f, 0.06f, 0.06f, a) : rgb(0.95f, 0.95f, 0.95f, a));
        }
    return c;
}

Canvas paint_logo_decal(int width, int height) {
    Canvas c = canvas_new(width, height, rgb(1, 1, 1, 0));
    int px = height * 2 / 3;
    float tw = font_text(nullptr, "VORNIX", 0, 0, px, 1, rgb(1, 1, 1));
    if (tw > width * 0.9f) { // fit the width
        px = (int)(px * width * 0.9f / tw);
        tw = font_text(nullptr, "VORNIX", 0, 0, px, 1, rgb(1, 1, 1));
    }
    font_text(&c, "VORNIX", (width - tw) / 2, height * 0.5f + px * 0.36f, px, 1,
              rgb(0.95f, 0.35f, 0.1f, 0.8f));
    return c;
}

// A yellow board on a post with a black chevron pointing the way the track turns.
Canvas paint_arrow_board(int right, int width, int height) {
    Canvas c = canvas_new(width, height, CLEAR);
    float w = (float)width, h = (float)height;
    paint_rect(&c, w * 0.46f, h * 0.5f, w * 0.54f, h, rgb(0.45f, 0.45f, 0.45f));
    paint_rect(&c, 0, 0, w, h * 0.55f, rgb(0.1f, 0.1f, 0.1f));
    paint_rect(&c, w * 0.04f, h * 0.03f, w * 0.96f, h * 0.52f, rgb(1.0f, 0.82f, 0.1f));
    float tip = right ? w * 0.8f : w * 0.2f, back = right ? w * 0.35f : w * 0.65f;
    float thick = w * 0.16f;
    for (float o : {0.0f, right ? -w * 0.28f : w * 0.28f}) {
        paint_polygon(&c,
                      {back + o, h * 0.08f, tip + o, h * 0.275f, back + o, h * 0.47f,
                       back + o + (right ? -thick : thick), h * 0.47f,
                       tip + o + (right ? -thick : thick), h * 0.275f,
                       back + o + (right ? -thick : thick), h * 0.08f},
                      rgb(0.08f, 0.08f, 0.08f));
    }
    return c;
}

// A row of spectators behind a fence: heads and shirts in mixed colours.
Canvas paint_crowd(int width, int height, uint32_t seed) {
    Canvas c = canvas_new(width, height, CLEAR);
    GenRandom r;
    gen_random_seed(&r, seed);
    float w = (float)width, h = (float)height;
    for (int row = 0; row < 2; row++)
        for (float x = w * 0.02f + row * 6; x < w - 8; x += gen_random_range(&r, 9, 14)) {
            float top = h * (row == 0 ? 0.12f : 0.3f) + gen_random_range(&r, -3, 3);
            Colour shirt = rgb(gen_random_unit(&r), gen_random_unit(&r), gen_random_unit(&r));
            Colour skin = colour_scale(rgb(0.87f, 0.68f, 0.54f), gen_random_range(&r, 0.55f, 1));
            paint_rect(&c, x - 5, top + 9, x + 5, h * 0.85f, shirt);
            paint_circle(&c, x, top + 4, 4.5f, skin);
        }
    paint_rect(&c, 0, h * 0.62f, w, h * 0.66f, rgb(0.85f, 0.85f, 0.85f)); // fence rails
    paint_rect(&c, 0, h * 0.78f, w, h * 0.82f, rgb(0.85f, 0.85f, 0.85f));
    for (float x = 2; x < w; x += w / 8)
        paint_rect(&c, x, h * 0.6f, x + 3, h, rgb(0.6f, 0.6f, 0.6f));
    return c;
}

// Tyre marks and ruts for the track surface: dark, soft-edged streaks along the decal's x axis
// on a transparent ground, so the surface below shows through between them.
Canvas paint_ruts(int width, int height, uint32_t seed) {
    Canvas c = canvas_new(width, height, rgb(0, 0, 0, 0));
    GenRandom r;
    gen_random_seed(&r, seed);
    for (int k = 0; k < 7; k++) {
        float y = gen_random_range(&r, height * 0.1f, height * 0.9f);
        float wave = gen_random_range(&r, 2, 7), phase = gen_random_range(&r, 0, 6.28f);
        float thick = gen_random_range(&r, 2.5f, 5.5f), dark = gen_random_range(&r, 0.35f, 0.6f);
        for (int x = 0; x < width; x++) {
            float fade = smoothstepf(0, width * 0.15f, (float)x) *
                         smoothstepf(0, width * 0.15f, (float)(width - 1 - x));
            float yc = y + wave * std::sin(x * 6.28f / width + phase);
            for (int yy = (int)(yc - thick); yy <= (int)(yc + thick); yy++) {
                if (yy < 0 || yy >= height) continue;
                float a = dark * fade * (1 - std::fabs(yy - yc) / (thick + 0.5f));
                canvas_blend(&c, x, yy, rgb(0.16f, 0.11f, 0.07f, 1), std::max(0.0f, a));
            }
        }
    }
    return c;
}
