// Ground surface textures (each repeats without a seam, one copy per ground tile) and the sky.
#include <cmath>

#include "gen.h"

const char* surface_art_name(SurfaceArt kind) {
    static const char* names[ART_COUNT] = {"dirt",     "hardpack", "sand",    "mud",      "grass",
                                           "concrete", "water",    "wetsand", "dunegrass"};
    return names[kind];
}

// Pebbles: small stones at the cell points of a tileable cellular pattern.
static float pebbles(float u, float v, int period, uint32_t seed, float size) {
    float d = cells2_tile(u * period, v * period, period, seed);
    return 1.0f - smoothstepf(size * 0.6f, size, d);
}

static Colour shade_by(Colour c, float k) {
    return colour_scale(c, k);
}

Canvas paint_surface(SurfaceArt kind, int size) {
    Canvas c = canvas_new(size, size, rgb(0, 0, 0));
    uint32_t seed = 1000u + (uint32_t)kind * 7919u;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float u = (x + 0.5f) / size, v = (y + 0.5f) / size;
            float broad = fbm2_tile(u * 4, v * 4, 4, 4, seed);
            float fine = fbm2_tile(u * 32, v * 32, 32, 2, seed + 17);
            Colour p;
            switch (kind) {
            case ART_DIRT: {
                // Darker than the grass beside it, so the track reads from the saddle.
                p = colour_mix(rgb(0.33f, 0.23f, 0.145f), rgb(0.44f, 0.31f, 0.20f), broad);
                p = shade_by(p, 0.85f + 0.3f * fine);
                float clod = pebbles(u, v, 12, seed + 3, 0.22f);
                p = colour_mix(p, rgb(0.30f, 0.21f, 0.13f), clod * 0.7f);
                float stone = pebbles(u, v, 24, seed + 5, 0.12f);
                p = colour_mix(p, rgb(0.62f, 0.58f, 0.52f), stone * 0.8f);
                break;
            }
            case ART_HARDPACK: {
                p = colour_mix(rgb(0.34f, 0.27f, 0.20f), rgb(0.43f, 0.36f, 0.28f), broad);
                p = shade_by(p, 0.93f + 0.14f * fine);
                // Thin cracks along the edges of a cellular pattern.
                float a = cells2_tile(u * 6, v * 6, 6, seed + 9);
                float b = cells2_tile(u * 6 + 0.37f, v * 6 + 0.61f, 6, seed + 9);
                float crack = 1.0f - smoothstepf(0.0f, 0.06f, std::fabs(a - b));
                p = colour_mix(p, rgb(0.26f, 0.20f, 0.15f), crack * 0.5f);
                break;
            }
            case ART_SAND: {
                float ripple = 0.5f + 0.5f * std::sin((v * 10 + 0.6f * broad) * 2 * GEN_PI);
                p = colour_mix(rgb(0.80f, 0.70f, 0.50f), rgb(0.90f, 0.82f, 0.62f), broad);
                p = shade_by(p, 0.9f + 0.1f * ripple + 0.12f * (hash_unit(x, y, seed) - 0.5f));
                break;
            }
            case ART_MUD: {
                p = colour_mix(rgb(0.22f, 0.16f, 0.10f), rgb(0.33f, 0.24f, 0.15f), broad);
                p = shade_by(p, 0.85f + 0.25f * fine);
                float wet = smoothstepf(0.55f, 0.7f, fbm2_tile(u * 3, v * 3, 3, 3, seed + 11));
                p = colour_mix(p, rgb(0.30f, 0.26f, 0.22f), wet * 0.5f);
                float sheen = smoothstepf(0.8f, 0.95f, fine) * wet;
                p = colour_mix(p, rgb(0.7f, 0.7f, 0.68f), sheen * 0.5f);
                break;
            }
            case ART_GRASS: {
                float blades = 0.6f * fbm2_tile(u * 48, v * 48, 48, 2, seed + 13) +
                               0.4f * hash_unit(x, y, seed + 14);
                p = colour_mix(rgb(0.22f, 0.38f, 0.13f), rgb(0.36f, 0.52f, 0.20f), broad);
                p = shade_by(p, 0.75f + 0.45f * blades);
                float bare = smoothstepf(0.68f, 0.8f, fbm2_tile(u * 4, v * 4, 4, 3, seed + 19));
                p = colour_mix(p, rgb(0.42f, 0.34f, 0.22f), bare * 0.6f);
                break;
            }
            case ART_CONCRETE: {
                p = colour_mix(rgb(0.58f, 0.58f, 0.56f), rgb(0.68f, 0.67f, 0.64f), broad);
                p = shade_by(p, 0.92f + 0.16f * (hash_unit(x, y, seed) - 0.5f) + 0.08f * fine);
                float joint = std::fmin(std::fmin(u, 1 - u), std::fmin(v, 1 - v));
                p = shade_by(p, 0.75f + 0.25f * smoothstepf(0.0f, 0.012f, joint));
                break;
            }
            case ART_WATER: {
                float w1 = std::sin((u * 6 + broad * 1.5f) * 2 * GEN_PI);
                float w2 = std::sin((v * 5 + fine * 0.8f + u * 2) * 2 * GEN_PI);
                p = colour_mix(rgb(0.16f, 0.30f, 0.34f), rgb(0.28f, 0.45f, 0.50f), broad);
                p = shade_by(p, 0.9f + 0.08f * w1 + 0.06f * w2);
                p = colour_mix(p, rgb(0.85f, 0.92f, 0.95f), smoothstepf(0.85f, 1.0f, fine) * 0.5f);
                break;
            }
            case ART_WETSAND: {
                p = colour_mix(rgb(0.52f, 0.45f, 0.33f), rgb(0.62f, 0.55f, 0.41f), broad);
                p = shade_by(p, 0.94f + 0.1f * fine + 0.06f * (hash_unit(x, y, seed) - 0.5f));
                break;
            }
            case ART_DUNEGRASS: {
                p = colour_mix(rgb(0.78f, 0.69f, 0.50f), rgb(0.88f, 0.80f, 0.60f), broad);
                p = shade_by(p, 0.92f + 0.12f * (hash_unit(x, y, seed) - 0.5f));
                float tuft = pebbles(u, v, 8, seed + 23, 0.3f);
                float blades = fbm2_tile(u * 48, v * 12, 48, 2, seed + 29);
                p = colour_mix(p, shade_by(rgb(0.45f, 0.52f, 0.25f), 0.7f + 0.5f * blades),
                               tuft * 0.85f);
                break;
            }
            default:
                p = rgb(1, 0, 1);
            }
            p.a = 1;
            canvas_set(&c, x, y, p);
        }
    return c;
}

// ---- sky ----------------------------------------------------------------------------------------

Colour sky_colour(const SkyStyle& s, float x, float y, float z) {
    float len = std::sqrt(x * x + y * y + z * z);
    x /= len;
    y /= len;
    z /= len;
    float sun_len = std::sqrt(s.sun[0] * s.sun[0] + s.sun[1] * s.sun[1] + s.sun[2] * s.sun[2]);
    float sun_dot = (x * s.sun[0] + y * s.sun[1] + z * s.sun[2]) / sun_len;
    if (y < -0.02f) {
        // Below the horizon: the far ground, darker the steeper one looks down.
        float k = smoothstepf(-0.02f, -0.3f, y);
        return colour_mix(s.haze, s.ground, 0.6f + 0.4f * k);
    }
    float up = clampf(y, 0, 1);
    Colour c = colour_mix(s.horizon, s.zenith, std::pow(up, 0.55f));
    c = colour_mix(c, s.haze, (1 - smoothstepf(0.0f, 0.12f, up)) * 0.7f);
    // Clouds: 3D noise on the direction, flattened toward the horizon.
    float scale = 1.0f / (y + 0.15f);
    float cloud = fbm3(x * scale * 1.6f, y * 4, z * scale * 1.6f, 5, s.seed);
    float cover = smoothstepf(1.0f - s.cloud_cover * 0.75f, 1.05f - s.cloud_cover * 0.5f, cloud);
    cover *= smoothstepf(0.0f, 0.08f, up);
    Colour lit = colour_mix(rgb(0.97f, 0.97f, 0.98f), s.sun_colour, 0.3f);
    Colour cloud_col =
        colour_mix(colour_scale(lit, 0.78f), lit, clampf(sun_dot * 0.5f + 0.5f, 0, 1));
    c = colour_mix(c, cloud_col, cover * 0.9f);
    // The sun's disc and its glow.
    float glow = std::pow(clampf(sun_dot, 0, 1), 64.0f) * 0.5f +
                 std::pow(clampf(sun_dot, 0, 1), 8.0f) * 0.15f;
    c = colour_mix(c, s.sun_colour, clampf(glow, 0, 1));
    if (sun_dot > 0.9994f) c = colour_mix(c, rgb(1, 1, 0.96f), 1.0f - cover * 0.6f);
    c.a = 1;
    return c;
}

/*
 * Sky box faces, seen from inside the box with the image's top row up (for the top face, the
 * top row toward north): north looks along -z with +x to the right, east along +x with +z to
 * the right, south along +z with -x to the right, west along -x with -z to the right, and up
 * along +y with +x to the right. The renderer uses texture coordinates 1/128 .. 127/128 across
 * each face, so the picture is painted over that stretch exactly and adjoining faces meet.
 */
Canvas paint_sky_face(const SkyStyle& s, int face, int size) {
    Canvas c = canvas_new(size, size, rgb(0, 0, 0));
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            float u = (px + 0.5f) / size, v = (py + 0.5f) / size;
            float a = ((u - 1.0f / 128) / (126.0f / 128)) * 2 - 1;
            float b = 1 - ((v - 1.0f / 128) / (126.0f / 128)) * 2;
            float d[3];
            switch (face) {
            case 0:
                d[0] = a, d[1] = b, d[2] = -1;
                break;
            case 1:
                d[0] = 1, d[1] = b, d[2] = a;
                break;
            case 2:
                d[0] = -a, d[1] = b, d[2] = 1;
                break;
            case 3:
                d[0] = -1, d[1] = b, d[2] = -a;
                break;
            default:
                d[0] = a, d[1] = 1, d[2] = -b;
                break;
            }
            canvas_set(&c, px, py, sky_colour(s, d[0], d[1], d[2]));
        }
    return c;
}

// Angular map: the centre looks straight up, the distance from it is the angle from the
// vertical over 2 pi, so the rim (radius 0.5) looks straight down.
Canvas paint_sky_env(const SkyStyle& s, int size) {
    Canvas c = canvas_new(size, size, s.ground);
    for (int py = 0; py < size; py++)
        for (int px = 0; px < size; px++) {
            float dx = (px + 0.5f) / size - 0.5f, dy = (py + 0.5f) / size - 0.5f;
            float r = std::sqrt(dx * dx + dy * dy);
            if (r > 0.5f || r < 1e-6f) {
                if (r <= 1e-6f) canvas_set(&c, px, py, sky_colour(s, 0, 1, 0));
                continue;
            }
            float theta = r * 2 * GEN_PI;
            float sin_t = std::sin(theta);
            canvas_set(&c, px, py, sky_colour(s, sin_t * dx / r, std::cos(theta), sin_t * dy / r));
        }
    return c;
}
