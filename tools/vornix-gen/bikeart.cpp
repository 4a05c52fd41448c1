// Texture atlases of the bikes, wheels, rider gear and helmets. Each atlas is a set of fixed
// rectangles (the regions below) that the models map their parts into; the painters fill each
// rectangle with its material. Shading grain comes from one tileable noise field computed once.
#include <cmath>

#include "bikegen.h"

namespace {

struct Rect {
    int x0, y0, x1, y1;
};

const Rect BIKE_RECTS[BR_COUNT] = {
    {0, 0, 128, 128},     {128, 0, 192, 64},    {192, 0, 256, 64},    {128, 64, 256, 128},
    {0, 128, 64, 192},    {64, 128, 128, 192},  {128, 128, 160, 160}, {160, 128, 192, 160},
    {128, 160, 192, 192}, {192, 128, 224, 192}, {224, 128, 256, 192}, {0, 192, 64, 256},
    {64, 192, 96, 256},   {96, 192, 128, 256},  {128, 192, 192, 256}, {192, 192, 256, 256}};
const Rect WHEEL_RECTS[WR_COUNT] = {{0, 0, 128, 128},    {128, 0, 256, 128},  {0, 128, 64, 256},
                                    {64, 128, 128, 192}, {64, 192, 128, 256}, {128, 128, 192, 192},
                                    {192, 128, 256, 192}};
const Rect RIDER_RECTS[RR_COUNT] = {{0, 0, 128, 128},     {128, 0, 256, 128},   {0, 128, 128, 192},
                                    {128, 128, 192, 192}, {192, 128, 256, 192}, {0, 192, 128, 256},
                                    {128, 192, 192, 256}, {192, 192, 256, 256}};
const Rect HEAD_RECTS[HR_COUNT] = {{0, 0, 256, 128},
                                   {0, 128, 128, 192},
                                   {128, 128, 256, 192},
                                   {0, 192, 128, 256},
                                   {128, 192, 256, 256}};

UvRect rect_uv(const Rect& r) {
    return atlas_rect(ATLAS, r.x0, r.y0, r.x1, r.y1);
}

// Broad shading grain shared by every painter: tileable, so region edges need no care.
const std::vector<float>& grain() {
    static std::vector<float> g;
    if (g.empty()) {
        g.resize((size_t)ATLAS * ATLAS);
        for (int y = 0; y < ATLAS; y++)
            for (int x = 0; x < ATLAS; x++)
                g[(size_t)y * ATLAS + x] =
                    fbm2_tile((x + 0.5f) / ATLAS * 8, (y + 0.5f) / ATLAS * 8, 8, 3, 7707);
    }
    return g;
}

float grain_at(int x, int y) {
    return grain()[(size_t)(y & (ATLAS - 1)) * ATLAS + (x & (ATLAS - 1))];
}

// Fills a rectangle from a function of the local position: u across (0 left .. 1 right), v down
// (0 top .. 1 bottom), plus the pixel's grain and a per-pixel speckle, both 0..1.
template <typename F> void fill(Canvas* c, const Rect& r, F colour) {
    float w = (float)(r.x1 - r.x0), h = (float)(r.y1 - r.y0);
    for (int y = r.y0; y < r.y1; y++)
        for (int x = r.x0; x < r.x1; x++) {
            float u = (x - r.x0 + 0.5f) / w, v = (y - r.y0 + 0.5f) / h;
            c->px[(size_t)y * c->width + x] = colour(u, v, grain_at(x, y), hash_unit(x, y, 9001));
        }
}

Colour shade(Colour c, float k) {
    return rgb(clampf(c.r * k, 0, 1), clampf(c.g * k, 0, 1), clampf(c.b * k, 0, 1));
}

// A soft band of width w around the line v = a + b u (local units).
float band(float u, float v, float a, float b, float w) {
    float d = std::fabs(v - (a + b * u)) / std::sqrt(1 + b * b);
    return 1.0f - smoothstepf(w * 0.5f - 0.01f, w * 0.5f + 0.01f, d);
}

// Plastic: the colour with a gentle top-lit gradient and a faint grain.
Colour plastic(Colour base, float v, float g) {
    return shade(base, 1.08f - 0.18f * v + 0.08f * (g - 0.5f));
}

// Brushed metal: streaks along u.
Colour brushed(Colour base, float v, float g, float s) {
    float streak = hash_unit((int)(v * 97), 0, 4242);
    return shade(base, 0.88f + 0.14f * streak + 0.06f * g + 0.03f * s);
}

} // namespace

UvRect bike_uv(BikeRegion r) {
    return rect_uv(BIKE_RECTS[r]);
}
UvRect wheel_uv(WheelRegion r) {
    return rect_uv(WHEEL_RECTS[r]);
}
UvRect rider_uv(RiderRegion r) {
    return rect_uv(RIDER_RECTS[r]);
}
UvRect head_uv(HeadRegion r) {
    return rect_uv(HEAD_RECTS[r]);
}

Canvas paint_bike_texture(const BikeLook& look) {
    Canvas c = canvas_new(ATLAS, ATLAS, rgb(0.1f, 0.1f, 0.1f));
    float tilt = 0.35f + 0.3f * hash_unit((int)look.seed, 1, 55);
    // Shrouds: a broad diagonal stripe with a thin accent line, the bottom edge darker, and
    // a round badge in the upper front corner.
    fill(&c, BIKE_RECTS[BR_GRAPHICS], [&](float u, float v, float g, float) {
        Colour p = plastic(look.plastic, v, g);
        float stripe = band(u, v, 0.95f - 0.1f, -tilt, 0.22f);
        float accent = band(u, v, 0.95f - 0.25f, -tilt, 0.05f);
        float low = smoothstepf(0.82f, 0.95f, v);
        p = colour_mix(p, shade(look.stripe, 1.05f - 0.1f * v), stripe);
        p = colour_mix(p, look.accent, accent);
        p = colour_mix(p, shade(look.plastic, 0.45f), low * 0.8f);
        float du = u - 0.78f, dv = v - 0.22f;
        float badge = 1.0f - smoothstepf(0.085f, 0.1f, std::sqrt(du * du + dv * dv));
        float ring = band(std::sqrt(du * du + dv * dv), 0, 0.07f, 0, 0.025f);
        p = colour_mix(p, look.stripe, badge);
        return colour_mix(p, look.accent, ring * badge);
    });
    fill(&c, BIKE_RECTS[BR_PLASTIC],
         [&](float, float v, float g, float) { return plastic(look.plastic, v, g); });
    fill(&c, BIKE_RECTS[BR_FENDER], [&](float u, float v, float g, float) {
        Colour p = plastic(look.fender, v * 0.5f, g);
        return colour_mix(p, look.stripe, band(u, v, 0.5f, 0, 0.08f) * 0.6f);
    });
    // Gripper seat: ribs across, a coloured band along the bottom.
    fill(&c, BIKE_RECTS[BR_SEAT], [&](float, float v, float g, float s) {
        float rib = 0.5f + 0.5f * std::sin(v * 60.0f);
        Colour p = shade(look.seat, 0.8f + 0.25f * rib + 0.1f * g + 0.06f * s);
        return v > 0.82f ? plastic(look.plastic, 0.5f, g) : p;
    });
    fill(&c, BIKE_RECTS[BR_FRAME],
         [&](float, float v, float g, float s) { return brushed(look.frame, v, g, s); });
    // Engine cases: dark alloy with the cylinder's cooling fins as dark lines.
    fill(&c, BIKE_RECTS[BR_ENGINE], [&](float, float v, float g, float s) {
        float fin = std::fmod(v * 12.0f, 1.0f) < 0.18f;
        Colour p = brushed(rgb(0.42f, 0.43f, 0.45f), v, g, s);
        return shade(p, 1.0f - 0.45f * fin);
    });
    fill(&c, BIKE_RECTS[BR_BLACK], [&](float, float, float g, float s) {
        return shade(rgb(0.08f, 0.08f, 0.09f), 0.9f + 0.3f * g + 0.1f * s);
    });
    fill(&c, BIKE_RECTS[BR_RUBBER], [&](float u, float v, float, float s) {
        float knurl = (std::fmod(u * 10 + v * 10, 1.0f) < 0.3f) ||
                      (std::fmod(u * 10 - v * 10 + 10, 1.0f) < 0.3f);
        return shade(rgb(0.06f, 0.06f, 0.06f), 1.0f + 0.8f * knurl + 0.2f * s);
    });
    // Fork sliders: a bright highlight running along the tube.
    fill(&c, BIKE_RECTS[BR_CHROME], [&](float u, float, float, float s) {
        float hi = std::exp(-std::pow((u - 0.3f) * 9, 2.0f));
        return colour_mix(shade(look.chrome, 0.75f + 0.05f * s), rgb(1, 1, 0.95f), hi * 0.7f);
    });
    fill(&c, BIKE_RECTS[BR_FORK], [&](float u, float v, float g, float) {
        float hi = std::exp(-std::pow((u - 0.3f) * 7, 2.0f));
        return colour_mix(plastic(look.fork, v * 0.3f, g), rgb(1, 1, 1), hi * 0.35f);
    });
    // Header pipe: steel turning golden and blue with heat toward one end.
    fill(&c, BIKE_RECTS[BR_EXHAUST], [&](float u, float v, float g, float s) {
        Colour steel = brushed(rgb(0.7f, 0.7f, 0.72f), u, g, s);
        Colour heat = colour_mix(rgb(0.8f, 0.6f, 0.3f), rgb(0.3f, 0.3f, 0.6f), v);
        return colour_mix(steel, heat, 0.5f * (1 - v) * (0.6f + 0.4f * g));
    });
    fill(&c, BIKE_RECTS[BR_RADIATOR], [&](float u, float v, float, float s) {
        float slat = std::fmod(v * 24, 1.0f) < 0.45f, bar = std::fmod(u * 6, 1.0f) < 0.1f;
        Colour p = shade(rgb(0.12f, 0.12f, 0.13f), 0.8f + 0.4f * slat + 0.1f * s);
        return colour_mix(p, look.plastic, bar * 0.8f);
    });
    fill(&c, BIKE_RECTS[BR_SPRING], [&](float, float v, float g, float) {
        float coil = 0.5f + 0.5f * std::sin(v * 2 * GEN_PI * 10);
        return shade(look.spring, 0.55f + 0.55f * coil + 0.05f * g);
    });
    fill(&c, BIKE_RECTS[BR_CHAIN], [&](float u, float v, float, float s) {
        float link = std::fmod(v * 16, 1.0f) < 0.55f;
        float side = std::fabs(u - 0.5f) > 0.3f;
        return shade(rgb(0.3f, 0.28f, 0.26f), 0.5f + 0.5f * link + 0.3f * side + 0.1f * s);
    });
    fill(&c, BIKE_RECTS[BR_METAL], [&](float, float v, float g, float s) {
        return brushed(rgb(0.72f, 0.73f, 0.75f), v, g, s);
    });
    // Silencer: aluminium can with a dark end band and a small label.
    fill(&c, BIKE_RECTS[BR_SILENCER], [&](float u, float v, float g, float s) {
        Colour p = brushed(rgb(0.78f, 0.78f, 0.8f), u, g, s);
        if (v > 0.88f) p = rgb(0.15f, 0.15f, 0.16f);
        float label = std::fabs(u - 0.5f) < 0.16f && std::fabs(v - 0.45f) < 0.2f;
        return colour_mix(p, look.plastic, label * 0.9f);
    });
    return c;
}

Canvas paint_wheel_texture(Colour rim, Colour hub) {
    Canvas c = canvas_new(ATLAS, ATLAS, rgb(0.05f, 0.05f, 0.05f));
    // Tread: rubber with the knobs' worn, lighter edges.
    fill(&c, WHEEL_RECTS[WR_TREAD], [&](float u, float v, float g, float s) {
        float edge = std::fmod(u * 24, 1.0f) < 0.12f || std::fmod(v * 4, 1.0f) < 0.08f;
        return shade(rgb(0.08f, 0.08f, 0.08f), 0.85f + 0.5f * edge + 0.3f * g + 0.15f * s);
    });
    // Sidewall: rubber with raised grey lettering marks in a band.
    fill(&c, WHEEL_RECTS[WR_SIDEWALL], [&](float u, float v, float g, float s) {
        Colour p = shade(rgb(0.09f, 0.09f, 0.09f), 0.9f + 0.3f * g + 0.1f * s);
        bool letter = std::fabs(v - 0.5f) < 0.12f && std::fmod(u * 40, 1.0f) < 0.55f &&
                      hash_unit((int)(u * 40), 3, 77) > 0.35f;
        return letter ? rgb(0.55f, 0.55f, 0.55f) : p;
    });
    fill(&c, WHEEL_RECTS[WR_RIM], [&](float u, float v, float g, float s) {
        float hi = std::exp(-std::pow((v - 0.4f) * 6, 2.0f));
        return colour_mix(brushed(rim, u, g, s), rgb(1, 1, 1), hi * 0.3f);
    });
    fill(&c, WHEEL_RECTS[WR_HUB],
         [&](float u, float v, float g, float s) { return brushed(hub, u + v, g, s); });
    fill(&c, WHEEL_RECTS[WR_SPOKE], [&](float u, float, float g, float s) {
        return brushed(rgb(0.6f, 0.61f, 0.63f), u, g, s);
    });
    // Brake disc: polished ring with drilled holes between the inner and outer radius.
    fill(&c, WHEEL_RECTS[WR_DISC], [&](float u, float v, float g, float s) {
        float du = u - 0.5f, dv = v - 0.5f, r = std::sqrt(du * du + dv * dv) * 2;
        float ang = std::atan2(dv, du);
        Colour p = brushed(rgb(0.7f, 0.7f, 0.72f), r, g, s);
        float hole_a = std::fmod(ang / (2 * GEN_PI) * 18 + 1, 1.0f);
        bool hole = r > 0.78f && r < 0.9f && std::fabs(hole_a - 0.5f) < 0.18f;
        return hole ? rgb(0.05f, 0.05f, 0.05f) : (r < 0.7f ? brushed(hub, r, g, s) : p);
    });
    fill(&c, WHEEL_RECTS[WR_SPROCKET], [&](float u, float v, float g, float s) {
        float du = u - 0.5f, dv = v - 0.5f, r = std::sqrt(du * du + dv * dv) * 2;
        float ang = std::atan2(dv, du);
        bool cut = r > 0.45f && r < 0.75f && std::fmod(ang / (2 * GEN_PI) * 6 + 1, 1.0f) < 0.5f;
        Colour p = brushed(rim, r, g, s);
        return cut ? rgb(0.05f, 0.05f, 0.05f) : p;
    });
    return c;
}

Canvas paint_rider_texture(const RiderLook& look) {
    Canvas c = canvas_new(ATLAS, ATLAS, rgb(0.1f, 0.1f, 0.1f));
    // Jersey front and back: the main colour with a trim panel down the sides and a chest band.
    fill(&c, RIDER_RECTS[RR_JERSEY], [&](float u, float v, float g, float s) {
        Colour p = shade(look.jersey, 0.92f + 0.12f * g + 0.04f * s);
        float side = std::fabs(u - 0.5f) > 0.38f;
        float chest = band(u, v, 0.3f, 0.15f, 0.1f);
        p = colour_mix(p, look.trim, std::max(side, chest));
        float fold = 0.5f + 0.5f * std::sin(u * 30 + g * 6);
        return shade(p, 0.95f + 0.07f * fold);
    });
    fill(&c, RIDER_RECTS[RR_SLEEVE], [&](float u, float v, float g, float s) {
        Colour p = shade(look.jersey, 0.92f + 0.12f * g + 0.04f * s);
        float stripe = std::fabs(u - 0.25f) < 0.06f || std::fabs(u - 0.75f) < 0.06f;
        float cuff = v > 0.9f;
        return colour_mix(p, look.trim, std::max(stripe, cuff));
    });
    fill(&c, RIDER_RECTS[RR_PANTS], [&](float u, float v, float g, float s) {
        Colour p = shade(look.pants, 0.9f + 0.15f * g + 0.05f * s);
        float panel = std::fabs(u - 0.5f) < 0.12f;
        float seam = std::fmod(v * 5, 1.0f) < 0.04f;
        return shade(colour_mix(p, look.trim, panel * 0.8f), 1.0f - 0.25f * seam);
    });
    fill(&c, RIDER_RECTS[RR_GLOVES], [&](float u, float v, float g, float s) {
        Colour p = shade(look.gloves, 0.85f + 0.2f * g + 0.05f * s);
        float knuckle = std::fmod(u * 4, 1.0f) < 0.25f && v < 0.5f;
        return colour_mix(p, look.trim, knuckle * 0.7f);
    });
    // Boots: the shaft with buckles, the sole dark at the bottom.
    fill(&c, RIDER_RECTS[RR_BOOTS], [&](float, float v, float g, float s) {
        Colour p = shade(look.boots, 0.85f + 0.2f * g + 0.05f * s);
        float buckle = std::fmod(v * 5, 1.0f) < 0.12f && v < 0.75f;
        p = colour_mix(p, rgb(0.7f, 0.7f, 0.72f), buckle);
        return v > 0.88f ? rgb(0.07f, 0.07f, 0.07f) : p;
    });
    fill(&c, RIDER_RECTS[RR_ARMOUR], [&](float u, float v, float g, float s) {
        float plate = std::fmod(u * 3, 1.0f) > 0.08f && std::fmod(v * 3, 1.0f) > 0.08f;
        return shade(colour_mix(look.trim, rgb(0.1f, 0.1f, 0.1f), 0.3f),
                     0.6f + 0.4f * plate + 0.1f * g + 0.04f * s);
    });
    fill(&c, RIDER_RECTS[RR_KNEE], [&](float u, float v, float g, float) {
        float du = u - 0.5f, dv = v - 0.5f;
        float cap = 1.0f - smoothstepf(0.3f, 0.34f, std::sqrt(du * du + dv * dv));
        return shade(colour_mix(rgb(0.15f, 0.15f, 0.16f), rgb(0.8f, 0.8f, 0.82f), cap),
                     0.9f + 0.15f * g);
    });
    fill(&c, RIDER_RECTS[RR_NECK], [&](float, float v, float g, float) {
        return shade(look.trim, 0.7f + 0.2f * g - 0.2f * v);
    });
    return c;
}

Canvas paint_head_texture(const HeadLook& look) {
    Canvas c = canvas_new(ATLAS, ATLAS, rgb(0.1f, 0.1f, 0.1f));
    // Shell: mapped around the helmet (u = longitude, v from the rim up to the crown); a
    // stripe over the crown from front to back and two side flashes.
    fill(&c, HEAD_RECTS[HR_SHELL], [&](float u, float v, float g, float s) {
        Colour p = shade(look.shell, 0.95f + 0.1f * g + 0.03f * s + 0.08f * (1 - v));
        float centre = std::min(std::fabs(u - 0.5f), std::min(u, 1 - u));
        float stripe = centre < 0.05f && v < 0.85f;
        float flash = std::fabs(v - 0.55f - 0.25f * std::sin(u * 4 * GEN_PI)) < 0.06f;
        p = colour_mix(p, look.stripe, std::max(stripe, flash));
        return v > 0.93f ? rgb(0.12f, 0.12f, 0.12f) : p; // the rubber rim trim
    });
    fill(&c, HEAD_RECTS[HR_PEAK], [&](float u, float v, float g, float) {
        Colour p = plastic(look.peak, v, g);
        return colour_mix(p, look.stripe, band(u, v, 0.5f, 0, 0.12f));
    });
    // Goggle lens: a mirrored gradient.
    fill(&c, HEAD_RECTS[HR_LENS], [&](float u, float v, float, float) {
        Colour top = rgb(0.95f, 0.55f, 0.15f), low = rgb(0.35f, 0.15f, 0.5f);
        Colour p = colour_mix(top, low, v);
        return colour_mix(p, rgb(1, 1, 1),
                          std::exp(-std::pow((u - v * 0.5f - 0.2f) * 8, 2.0f)) * 0.5f);
    });
    fill(&c, HEAD_RECTS[HR_STRAP], [&](float u, float v, float g, float) {
        bool letter = std::fabs(v - 0.5f) < 0.2f && std::fmod(u * 12, 1.0f) < 0.6f;
        return letter ? shade(look.stripe, 1.0f) : shade(rgb(0.1f, 0.1f, 0.1f), 0.9f + 0.3f * g);
    });
    fill(&c, HEAD_RECTS[HR_CHIN], [&](float u, float v, float g, float) {
        bool vent = std::fmod(u * 8, 1.0f) < 0.45f && std::fabs(v - 0.5f) < 0.3f;
        Colour p = plastic(look.shell, v, g);
        return vent ? rgb(0.08f, 0.08f, 0.08f) : p;
    });
    return c;
}
