// The bike models of each model stem, and the collision shapes of the frame, steering, lower
// fork and swingarm. Parts are laid out in the bike's rest pose (world feet, the bike at the
// origin facing -z) and then moved into the frame of the body that carries them.
//
// Models: "<stem>_frame.jm" (frame, engine, tank, shrouds, seat, fenders, exhaust, pegs),
// "<stem>_fork_upper.jm" (fork tubes, triple clamps, bars, front fender),
// "<stem>_fork_lower.jm" (sliders, fork feet, guards, caliper, axle), "<stem>_swingarm.jm"
// (arms, chain, caliper), "<stem>_side_plates.jm" and "<stem>_front_plate.jm". The plates'
// number faces span the whole texture so that a plate-number picture fits them.
#include <algorithm>
#include <cmath>

#include "bikegen.h"

namespace {

constexpr float ROOT2 = 1.41421356f;

// The steering axis: up along the fork, and the direction square to it pointing ahead.
Vec3 fork_axis() {
    return vec_unit(BIKE_STEERING_POS - BIKE_FORK_LOWER_POS);
}
Vec3 fork_ahead() {
    return vec_cross(fork_axis(), v3(1, 0, 0));
}
// A point s feet along the steering axis from the steering head, `ahead` feet in front of it.
Vec3 fork_point(float x, float s, float ahead) {
    return BIKE_STEERING_POS + fork_axis() * s + fork_ahead() * ahead + v3(x, 0, 0);
}
constexpr float LEG_AHEAD = 0.12f; // fork legs in front of the steering axis (clamp offset)

// Materials of the meshes of one model.
enum Material { MAT_PLASTIC, MAT_METAL, MAT_DARK, MAT_COUNT };

struct Parts {
    KitMesh mesh[MAT_COUNT];
    Vec3 origin;
    Parts(Vec3 body) : origin(body) {
        kitmesh_material(&mesh[MAT_PLASTIC], 40, 0.45f);
        kitmesh_material(&mesh[MAT_METAL], 60, 0.7f);
        kitmesh_material(&mesh[MAT_DARK], 6, 0.08f);
    }
    Kit kit(Material m) { return kit_on(&mesh[m], origin * -1.0f); }
    std::vector<KitMesh> meshes() const { return {mesh[0], mesh[1], mesh[2]}; }
};

// A rectangular beam along a path: half width along x, half heights per point.
void beam(Kit* k, const std::vector<Vec3>& path, float half_width, std::vector<float> half_height,
          UvRect uv) {
    std::vector<float> ra(path.size(), half_width * ROOT2);
    for (float& h : half_height) h *= ROOT2;
    kit_tube(k, path, ra, half_height, 4, v3(1, 0, 0), uv, 3);
}

void round_tube(Kit* k, const std::vector<Vec3>& path, const std::vector<float>& radius, int sides,
                UvRect uv, int caps = 3) {
    kit_tube(k, path, radius, radius, sides, v3(1, 0, 0), uv, caps);
}

// Both sides of a part built at +x: side 0 mirrored to -x.
template <typename F> void both_sides(Kit k, F build) {
    build(&k);
    kit_mirror_x(&k);
    build(&k);
}

// A box along the steering axis.
void fork_box(Kit* k, Vec3 c, Vec3 half, UvRect uv) {
    kit_obox(k, c, v3(1, 0, 0), fork_axis(), fork_ahead() * -1.0f, half, uv);
}

// ---- frame -----------------------------------------------------------------------------------

void frame_structure(Parts* p) {
    Kit metal = p->kit(MAT_METAL);
    UvRect fr = bike_uv(BR_FRAME);
    kit_cylinder(&metal, fork_point(0, -0.32f, 0), fork_point(0, 0.2f, 0), 0.13f, 10, fr, 3);
    both_sides(metal, [&](Kit* k) {
        beam(k,
             {v3(0.12f, 2.95f, 2.25f), v3(0.36f, 2.92f, 2.75f), v3(0.38f, 2.68f, 3.55f),
              v3(0.36f, 2.2f, 4.0f), v3(0.34f, 1.62f, 4.17f), v3(0.32f, 1.35f, 4.05f)},
             0.06f, {0.14f, 0.16f, 0.15f, 0.14f, 0.16f, 0.12f}, fr);
        round_tube(k,
                   {v3(0.05f, 1.5f, 2.78f), v3(0.18f, 1.25f, 3.0f), v3(0.2f, 1.22f, 3.8f),
                    v3(0.3f, 1.35f, 4.05f)},
                   {0.055f, 0.055f, 0.055f, 0.055f}, 6, fr);
        round_tube(k, {v3(0.3f, 2.75f, 3.9f), v3(0.26f, 3.05f, 5.3f), v3(0.22f, 3.1f, 6.5f)},
                   {0.05f, 0.05f, 0.045f}, 6, fr);
        round_tube(k, {v3(0.34f, 2.0f, 4.2f), v3(0.26f, 2.95f, 5.9f)}, {0.045f, 0.04f}, 6, fr);
    });
    round_tube(&metal, {v3(0, 2.72f, 2.1f), v3(0, 2.2f, 2.45f), v3(0, 1.5f, 2.78f)},
               {0.075f, 0.075f, 0.07f}, 8, fr);
    kit_cylinder(&metal, BIKE_SWINGARM_PIVOT + v3(-0.44f, 0, 0),
                 BIKE_SWINGARM_PIVOT + v3(0.44f, 0, 0), 0.05f, 8, bike_uv(BR_METAL), 3);
    // Skid plate under the engine.
    kit_box(&metal, v3(0, 1.19f, 3.45f), v3(0.24f, 0.025f, 0.58f), bike_uv(BR_METAL));
}

void frame_engine(Parts* p, const BikeStyle& style) {
    Kit metal = p->kit(MAT_METAL);
    Kit dark = p->kit(MAT_DARK);
    UvRect eng = bike_uv(BR_ENGINE);
    kit_extrude(&metal,
                {2.85f, 1.75f, 2.95f, 1.35f, 3.3f, 1.25f, 3.85f, 1.28f, 4.05f, 1.5f, 4.05f, 1.9f,
                 3.8f, 2.1f, 3.3f, 2.15f, 2.95f, 2.05f},
                -0.26f, 0.26f, 0.05f, eng, eng);
    // Clutch cover on the right, ignition cover on the left.
    kit_lathe(&metal, v3(0.26f, 1.72f, 3.45f), {0.31f, 0.31f, 0.27f, 0.0f},
              {0.0f, 0.07f, 0.11f, 0.11f}, 14, bike_uv(BR_METAL));
    Kit left = metal;
    kit_mirror_x(&left);
    kit_lathe(&left, v3(0.26f, 1.62f, 3.12f), {0.23f, 0.23f, 0.2f, 0.0f},
              {0.0f, 0.06f, 0.09f, 0.09f}, 12, bike_uv(BR_METAL));
    Vec3 up = vec_unit(v3(0, 0.55f, -0.25f)), side = v3(1, 0, 0);
    Vec3 back = vec_cross(side, up);
    if (!style.two_stroke) {
        // A big four-stroke cylinder and head leaning forward, with a dark valve cover.
        kit_obox(&metal, v3(0, 2.2f, 3.18f), side, up, back, v3(0.2f, 0.28f, 0.22f), eng);
        kit_obox(&metal, v3(0, 2.62f, 2.97f), side, up, back, v3(0.25f, 0.14f, 0.27f), eng);
        kit_obox(&dark, v3(0, 2.8f, 2.9f), side, up, back, v3(0.2f, 0.06f, 0.21f),
                 bike_uv(BR_BLACK));
    } else {
        // A small two-stroke barrel with deep cooling fins.
        kit_obox(&metal, v3(0, 2.2f, 3.18f), side, up, back, v3(0.13f, 0.32f, 0.15f), eng);
        for (int f = 0; f < 6; f++)
            kit_obox(&metal, v3(0, 2.0f, 3.27f) + up * (0.09f * f), side, up, back,
                     v3(0.21f, 0.022f, 0.23f), eng);
        kit_obox(&metal, v3(0, 2.6f, 3.0f), side, up, back, v3(0.17f, 0.05f, 0.18f),
                 bike_uv(BR_METAL));
    }
    // Carburettor, intake boot and airbox behind the cylinder.
    kit_cylinder(&metal, v3(0, 2.28f, 3.45f), v3(0, 2.42f, 3.85f), 0.1f, 8, bike_uv(BR_METAL), 3);
    kit_cylinder(&dark, v3(0, 2.42f, 3.85f), v3(0, 2.55f, 4.25f), 0.12f, 8, bike_uv(BR_BLACK), 0);
    kit_box(&dark, v3(0, 2.62f, 4.65f), v3(0.26f, 0.3f, 0.42f), bike_uv(BR_BLACK));
    // Rear shock: spring over the damper body, reservoir on the right.
    kit_cylinder(&metal, v3(0, 2.62f, 4.05f), v3(0, 1.42f, 4.5f), 0.1f, 10, bike_uv(BR_SPRING), 3);
    kit_cylinder(&metal, v3(0.13f, 2.55f, 4.2f), v3(0.13f, 2.25f, 4.32f), 0.06f, 8,
                 bike_uv(BR_METAL), 3);
    // Radiators either side of the down tube, leaning back with the fork.
    Vec3 rup = vec_unit(v3(0, 0.95f, 0.31f)), rback = vec_cross(side, rup);
    both_sides(dark, [&](Kit* k) {
        kit_obox(k, v3(0.28f, 2.55f, 2.72f), side, rup, rback, v3(0.11f, 0.42f, 0.06f),
                 bike_uv(BR_RADIATOR));
    });
}

void frame_exhaust(Parts* p, const BikeStyle& style) {
    Kit metal = p->kit(MAT_METAL);
    UvRect pipe = bike_uv(BR_EXHAUST), can = bike_uv(BR_SILENCER);
    if (!style.two_stroke) {
        round_tube(&metal,
                   {v3(0.0f, 2.62f, 2.78f), v3(0.06f, 2.5f, 2.6f), v3(0.22f, 2.25f, 2.58f),
                    v3(0.38f, 2.0f, 2.85f), v3(0.44f, 1.95f, 3.3f), v3(0.46f, 2.1f, 3.9f),
                    v3(0.5f, 2.4f, 4.45f), v3(0.54f, 2.55f, 4.75f)},
                   {0.065f, 0.065f, 0.065f, 0.065f, 0.065f, 0.07f, 0.075f, 0.08f}, 8, pipe);
        round_tube(&metal,
                   {v3(0.54f, 2.55f, 4.7f), v3(0.54f, 2.63f, 5.0f), v3(0.54f, 2.9f, 6.2f),
                    v3(0.54f, 2.98f, 6.55f)},
                   {0.1f, 0.16f, 0.16f, 0.13f}, 12, can);
    } else {
        // The expansion chamber swells below the engine and tapers into the silencer.
        round_tube(&metal,
                   {v3(0.0f, 2.2f, 2.98f), v3(0.1f, 2.05f, 2.66f), v3(0.3f, 1.75f, 2.55f),
                    v3(0.45f, 1.45f, 2.85f), v3(0.5f, 1.45f, 3.4f), v3(0.5f, 1.75f, 3.95f),
                    v3(0.5f, 2.15f, 4.45f), v3(0.54f, 2.45f, 4.8f)},
                   {0.07f, 0.09f, 0.15f, 0.2f, 0.21f, 0.17f, 0.09f, 0.06f}, 12, pipe);
        round_tube(&metal,
                   {v3(0.54f, 2.43f, 4.75f), v3(0.54f, 2.5f, 5.0f), v3(0.54f, 2.78f, 6.05f),
                    v3(0.54f, 2.85f, 6.3f)},
                   {0.07f, 0.13f, 0.13f, 0.1f}, 12, can);
    }
}

// Per brand: where the shrouds start, how far they flare, how tall the tank stands.
struct BrandShape {
    float shroud_tip, flare, tank_top;
};
BrandShape brand_shape(int brand) {
    static const BrandShape shapes[5] = {{2.3f, 0.10f, 3.48f},
                                         {2.24f, 0.14f, 3.5f},
                                         {2.34f, 0.12f, 3.46f},
                                         {2.28f, 0.09f, 3.52f},
                                         {2.2f, 0.13f, 3.47f}};
    return shapes[std::clamp(brand, 0, 4)];
}

void frame_bodywork(Parts* p, const BikeStyle& style) {
    BrandShape b = brand_shape(style.brand);
    Kit plastic = p->kit(MAT_PLASTIC);
    Kit dark = p->kit(MAT_DARK);
    kit_extrude(&plastic,
                {2.55f, 2.95f, 2.62f, 3.3f, 2.85f, b.tank_top, 3.35f, b.tank_top + 0.02f, 3.75f,
                 3.42f, 3.85f, 3.1f, 3.6f, 2.85f, 2.9f, 2.8f},
                -0.3f, 0.3f, 0.1f, bike_uv(BR_PLASTIC), bike_uv(BR_PLASTIC));
    kit_cylinder(&dark, v3(0, b.tank_top - 0.02f, 2.98f), v3(0, b.tank_top + 0.06f, 2.98f), 0.08f,
                 8, bike_uv(BR_BLACK), 2);
    // Radiator shrouds, flaring out toward the bottom, carrying the graphics.
    float flare = b.flare, tip = b.shroud_tip;
    both_sides(plastic, [&](Kit* k) {
        kit_extrude(k,
                    {tip, 3.05f, tip + 0.12f, 3.4f, 2.9f, 3.52f, 3.5f, 3.45f, 3.55f, 3.2f, 3.25f,
                     2.95f, 3.0f, 2.35f, 2.6f, 2.15f, tip + 0.05f, 2.4f},
                    0.4f, 0.45f, 0.015f, bike_uv(BR_PLASTIC), bike_uv(BR_GRAPHICS),
                    [&](Vec3 q) { return q + v3((3.4f - q.y) * flare, 0, 0); });
    });
    kit_extrude(&dark,
                {3.2f, 3.42f, 3.5f, 3.52f, 4.2f, 3.45f, 5.4f, 3.38f, 6.35f, 3.36f, 6.45f, 3.24f,
                 5.4f, 3.2f, 4.2f, 3.22f, 3.4f, 3.3f},
                -0.25f, 0.25f, 0.09f, bike_uv(BR_SEAT), bike_uv(BR_SEAT));
    // Rear fender: a plate over the wheel reaching past the axle.
    std::vector<Vec3> path = {v3(0, 3.22f, 5.5f), v3(0, 3.3f, 6.3f), v3(0, 3.25f, 6.85f),
                              v3(0, 3.14f, 7.2f), v3(0, 3.04f, 7.38f)};
    std::vector<Vec3> across(path.size(), v3(1, 0, 0));
    kit_strip(&plastic, path, across, {0.3f, 0.32f, 0.28f, 0.2f, 0.14f}, 0.04f, bike_uv(BR_FENDER),
              bike_uv(BR_FENDER));
}

void frame_controls(Parts* p) {
    Kit metal = p->kit(MAT_METAL);
    // Foot pegs at the catalogue's peg points, on their mounts.
    for (int side = 0; side < 2; side++) {
        Vec3 peg = RIDER_PEG[side] + BIKE_FRAME_POS;
        float s = side ? 1.0f : -1.0f;
        kit_box(&metal, peg + v3(s * 0.02f, 0, 0), v3(0.17f, 0.035f, 0.075f), bike_uv(BR_METAL));
        kit_box(&metal, v3(s * 0.42f, 1.47f, peg.z), v3(0.04f, 0.09f, 0.08f), bike_uv(BR_FRAME));
    }
    // Brake pedal on the right, gear lever on the left.
    beam(&metal, {v3(0.4f, 1.33f, 4.0f), v3(0.47f, 1.38f, 3.75f), v3(0.52f, 1.45f, 3.55f)}, 0.025f,
         {0.03f, 0.03f, 0.03f}, bike_uv(BR_METAL));
    beam(&metal, {v3(-0.38f, 1.68f, 3.92f), v3(-0.47f, 1.58f, 3.75f), v3(-0.52f, 1.52f, 3.58f)},
         0.025f, {0.025f, 0.025f, 0.025f}, bike_uv(BR_METAL));
}

// ---- steering, lower fork, swingarm ---------------------------------------------------------

void fork_upper_parts(Parts* p) {
    Kit metal = p->kit(MAT_METAL);
    Kit plastic = p->kit(MAT_PLASTIC);
    Kit dark = p->kit(MAT_DARK);
    float leg = BIKE_FORK_SPACING / 2;
    for (int side = 0; side < 2; side++) {
        float x = side ? leg : -leg;
        kit_cylinder(&metal, fork_point(x, -1.05f, LEG_AHEAD), fork_point(x, 0.4f, LEG_AHEAD), 0.1f,
                     10, bike_uv(BR_FORK), 3);
        kit_cylinder(&metal, fork_point(x, 0.4f, LEG_AHEAD), fork_point(x, 0.46f, LEG_AHEAD), 0.07f,
                     8, bike_uv(BR_METAL), 2);
    }
    fork_box(&metal, fork_point(0, 0.32f, 0.06f), v3(0.53f, 0.05f, 0.16f), bike_uv(BR_METAL));
    fork_box(&metal, fork_point(0, -0.22f, 0.06f), v3(0.53f, 0.07f, 0.17f), bike_uv(BR_METAL));
    kit_cylinder(&metal, fork_point(0, -0.22f, 0), fork_point(0, 0.32f, 0), 0.07f, 8,
                 bike_uv(BR_METAL), 0);
    // Bar risers, the bar rising and sweeping back to the grips, its pad.
    Vec3 grip_l = RIDER_GRIP[0] + BIKE_STEERING_POS, grip_r = RIDER_GRIP[1] + BIKE_STEERING_POS;
    Vec3 clamp_top = fork_point(0, 0.37f, 0.06f);
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        kit_cylinder(&metal, clamp_top + v3(s * 0.13f, 0, 0),
                     v3(s * 0.13f, grip_l.y - 0.55f, grip_l.z - 0.5f), 0.05f, 8, bike_uv(BR_METAL),
                     3);
    }
    std::vector<Vec3> bar;
    const float bx[5] = {1.3f, 1.0f, 0.72f, 0.42f, 0.16f};
    const float by[5] = {0, 0, -0.07f, -0.35f, -0.55f};
    const float bz[5] = {0, 0, -0.06f, -0.3f, -0.5f};
    for (int i = 0; i < 5; i++) bar.push_back(v3(-bx[i], grip_l.y + by[i], grip_l.z + bz[i]));
    for (int i = 4; i >= 0; i--) bar.push_back(v3(bx[i], grip_r.y + by[i], grip_r.z + bz[i]));
    round_tube(&metal, bar, std::vector<float>(bar.size(), 0.045f), 8, bike_uv(BR_METAL));
    kit_cylinder(&plastic, v3(-0.26f, grip_l.y - 0.5f, grip_l.z - 0.45f),
                 v3(0.26f, grip_l.y - 0.5f, grip_l.z - 0.45f), 0.08f, 8, bike_uv(BR_PLASTIC), 3);
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        Vec3 g = side ? grip_r : grip_l;
        kit_cylinder(&dark, v3(s * 0.86f, g.y, g.z), v3(s * 1.32f, g.y, g.z), 0.07f, 8,
                     bike_uv(BR_RUBBER), 3);
        kit_box(&metal, v3(s * 0.78f, g.y - 0.01f, g.z - 0.04f), v3(0.05f, 0.045f, 0.05f),
                bike_uv(BR_BLACK));
        beam(&metal,
             {v3(s * 0.8f, g.y - 0.02f, g.z - 0.1f), v3(s * 1.02f, g.y - 0.03f, g.z - 0.2f),
              v3(s * 1.22f, g.y - 0.05f, g.z - 0.17f)},
             0.02f, {0.02f, 0.02f, 0.02f}, bike_uv(BR_METAL));
    }
    kit_box(&dark, v3(0.64f, grip_r.y + 0.02f, grip_r.z - 0.06f), v3(0.06f, 0.05f, 0.05f),
            bike_uv(BR_BLACK));
    // Front fender: an arc over the tyre, concentric with the front axle at rest.
    std::vector<Vec3> path, across;
    const float deg[6] = {-24, -8, 10, 28, 44, 56};
    for (float d : deg) {
        float a = d * GEN_PI / 180;
        path.push_back(BIKE_FRONT_AXLE +
                       v3(0, std::cos(a), -std::sin(a)) * (1.33f + 0.12f * std::max(d, 0.0f) / 56));
        across.push_back(v3(1, 0, 0));
    }
    kit_strip(&plastic, path, across, {0.22f, 0.27f, 0.27f, 0.25f, 0.21f, 0.17f}, 0.04f,
              bike_uv(BR_FENDER), bike_uv(BR_FENDER));
    beam(&plastic, {path[0] + v3(0, 0.02f, -0.1f), fork_point(0, -0.27f, 0.06f)}, 0.12f,
         {0.025f, 0.025f}, bike_uv(BR_FENDER));
}

void front_plate_parts(Parts* p) {
    Kit plastic = p->kit(MAT_PLASTIC);
    std::vector<Vec3> path, across;
    const float s[4] = {-0.3f, -0.02f, 0.28f, 0.5f};
    for (int i = 0; i < 4; i++) {
        float bulge = i == 1 || i == 2 ? 0.03f : 0.0f;
        path.push_back(fork_point(0, s[i], 0.4f + bulge));
        across.push_back(v3(1, 0, 0));
    }
    // Seen from in front the rider's right (+x) is on the viewer's left: u runs from +x to -x.
    UvRect face;
    face.u0 = 1;
    face.u1 = 0;
    kit_strip(&plastic, path, across, {0.3f, 0.4f, 0.42f, 0.36f}, 0.04f, face,
              atlas_rect(ATLAS, 0, 0, 4, 4));
}

void fork_lower_parts(Parts* p) {
    Kit metal = p->kit(MAT_METAL);
    Kit plastic = p->kit(MAT_PLASTIC);
    Kit dark = p->kit(MAT_DARK);
    float leg = BIKE_FORK_SPACING / 2;
    for (int side = 0; side < 2; side++) {
        float x = side ? leg : -leg;
        kit_cylinder(&metal, fork_point(x, -1.85f, LEG_AHEAD), fork_point(x, -0.78f, LEG_AHEAD),
                     0.075f, 10, bike_uv(BR_CHROME), 2);
        kit_cylinder(&dark, fork_point(x, -2.2f, LEG_AHEAD), fork_point(x, -1.8f, LEG_AHEAD), 0.1f,
                     10, bike_uv(BR_BLACK), 3);
        fork_box(&dark, BIKE_FRONT_AXLE + v3(x, 0, 0), v3(0.07f, 0.11f, 0.12f), bike_uv(BR_BLACK));
        std::vector<Vec3> guard = {fork_point(x, -1.95f, LEG_AHEAD + 0.1f),
                                   fork_point(x, -1.45f, LEG_AHEAD + 0.11f),
                                   fork_point(x, -0.95f, LEG_AHEAD + 0.1f)};
        kit_strip(&plastic, guard, std::vector<Vec3>(3, v3(1, 0, 0)), {0.08f, 0.095f, 0.09f}, 0.03f,
                  bike_uv(BR_PLASTIC), bike_uv(BR_PLASTIC));
    }
    kit_cylinder(&metal, BIKE_FRONT_AXLE + v3(-0.5f, 0, 0), BIKE_FRONT_AXLE + v3(0.5f, 0, 0), 0.04f,
                 8, bike_uv(BR_METAL), 3);
    // Front caliper behind the left leg, over the disc's edge.
    Vec3 caliper = BIKE_FRONT_AXLE + v3(-0.25f, 0.18f, 0.36f);
    fork_box(&metal, caliper, v3(0.06f, 0.14f, 0.08f), bike_uv(BR_METAL));
    beam(&metal, {caliper + v3(-0.03f, 0.05f, -0.05f), fork_point(-leg, -1.75f, LEG_AHEAD)}, 0.03f,
         {0.04f, 0.04f}, bike_uv(BR_METAL));
}

// Convex hull (monotone chain) of points given as (z, y) pairs.
std::vector<float> hull(std::vector<std::pair<float, float>> pts) {
    std::sort(pts.begin(), pts.end());
    std::vector<std::pair<float, float>> h(2 * pts.size());
    size_t k = 0;
    auto cross = [](std::pair<float, float> o, std::pair<float, float> a,
                    std::pair<float, float> b) {
        return (a.first - o.first) * (b.second - o.second) -
               (a.second - o.second) * (b.first - o.first);
    };
    for (size_t i = 0; i < pts.size(); i++) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0) k--;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i > 0; i--) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i - 1]) <= 0) k--;
        h[k++] = pts[i - 1];
    }
    std::vector<float> out;
    for (size_t i = 0; i + 1 < k; i++) {
        out.push_back(h[i].first);
        out.push_back(h[i].second);
    }
    return out;
}

void swingarm_parts(Parts* p) {
    Kit metal = p->kit(MAT_METAL);
    Kit dark = p->kit(MAT_DARK);
    Vec3 pv = BIKE_SWINGARM_PIVOT, ax = BIKE_REAR_AXLE;
    both_sides(metal, [&](Kit* k) {
        beam(k,
             {v3(0.33f, pv.y, pv.z), v3(0.4f, 1.42f, 4.7f), v3(0.42f, 1.2f, 5.5f),
              v3(0.42f, ax.y + 0.01f, ax.z + 0.25f)},
             0.05f, {0.13f, 0.12f, 0.09f, 0.07f}, bike_uv(BR_METAL));
        kit_box(k, ax + v3(0.42f, 0, 0), v3(0.06f, 0.07f, 0.12f), bike_uv(BR_BLACK));
    });
    kit_cylinder(&metal, pv + v3(-0.38f, 0, 0), pv + v3(0.38f, 0, 0), 0.09f, 10, bike_uv(BR_METAL),
                 3);
    kit_box(&metal, v3(0, 1.5f, 4.48f), v3(0.36f, 0.09f, 0.1f), bike_uv(BR_METAL));
    kit_box(&metal, v3(0, 1.28f, 4.62f), v3(0.1f, 0.06f, 0.25f), bike_uv(BR_METAL));
    kit_cylinder(&metal, ax + v3(-0.48f, 0, 0), ax + v3(0.48f, 0, 0), 0.04f, 8, bike_uv(BR_METAL),
                 3);
    // Chain slider, guide and the chain loop from the engine sprocket to the wheel sprocket.
    kit_box(&dark, v3(-0.42f, 1.6f, 4.55f), v3(0.056f, 0.03f, 0.32f), bike_uv(BR_BLACK));
    kit_box(&dark, v3(-0.35f, 0.92f, 5.45f), v3(0.05f, 0.1f, 0.25f), bike_uv(BR_BLACK));
    std::vector<std::pair<float, float>> pts;
    for (int i = 0; i < 24; i++) {
        float a = 2 * GEN_PI * i / 24;
        pts.push_back({3.95f + 0.13f * std::cos(a), 1.72f + 0.13f * std::sin(a)});
        pts.push_back({ax.z + 0.36f * std::cos(a), ax.y + 0.36f * std::sin(a)});
    }
    std::vector<float> loop = hull(pts);
    std::vector<Vec3> path;
    for (size_t i = 0; i < loop.size(); i += 2) path.push_back(v3(-0.3f, loop[i + 1], loop[i]));
    path.push_back(path.front());
    kit_tube(&dark, path, std::vector<float>(path.size(), 0.035f * ROOT2),
             std::vector<float>(path.size(), 0.02f * ROOT2), 4, v3(1, 0, 0), bike_uv(BR_CHAIN), 0);
    kit_box(&metal, v3(0.24f, ax.y - 0.06f, ax.z - 0.33f), v3(0.05f, 0.1f, 0.08f),
            bike_uv(BR_METAL));
}

void side_plates_parts(Parts* p, const BikeStyle& style) {
    Kit plastic = p->kit(MAT_PLASTIC);
    float lift = style.two_stroke ? -0.03f : 0.0f;
    std::vector<float> zy = {4.5f, 3.25f + lift, 5.75f, 3.3f + lift,  5.85f, 3.05f + lift,
                             5.5f, 2.55f + lift, 4.65f, 2.45f + lift, 4.45f, 2.8f + lift};
    UvRect edge = atlas_rect(ATLAS, 0, 0, 4, 4);
    // Only the outer face carries the number.
    kit_extrude2(&plastic, zy, 0.42f, 0.46f, 0.012f, edge, edge, uv_full());
    kit_extrude2(&plastic, zy, -0.46f, -0.42f, 0.012f, edge, uv_full(), edge);
}

int write_model(const std::string& out, const std::string& name, const Parts& p) {
    return write_text(out + name, jm_model_text(p.meshes()));
}

// One sphere of a shape, given at its world rest position and moved into the body's frame.
Sphere body_sphere(Vec3 body, Vec3 world, float radius, float friction, float spring,
                   float damper) {
    Vec3 r = world - body;
    return {r.x, r.y, r.z, radius, friction, spring, damper};
}

} // namespace

int bike_models_write(const std::string& out, const BikeStyle& style) {
    std::string stem = style.stem;
    Parts frame(BIKE_FRAME_POS);
    frame_structure(&frame);
    frame_engine(&frame, style);
    frame_exhaust(&frame, style);
    frame_bodywork(&frame, style);
    frame_controls(&frame);
    Parts upper(BIKE_STEERING_POS);
    fork_upper_parts(&upper);
    Parts lower(BIKE_FORK_LOWER_POS);
    fork_lower_parts(&lower);
    Parts arm(BIKE_SWINGARM_POS);
    swingarm_parts(&arm);
    Parts plates(BIKE_FRAME_POS);
    side_plates_parts(&plates, style);
    Parts front(BIKE_STEERING_POS);
    front_plate_parts(&front);
    return write_model(out, stem + "_frame.jm", frame) &&
           write_model(out, stem + "_fork_upper.jm", upper) &&
           write_model(out, stem + "_fork_lower.jm", lower) &&
           write_model(out, stem + "_swingarm.jm", arm) &&
           write_model(out, stem + "_side_plates.jm", plates) &&
           write_model(out, stem + "_front_plate.jm", front);
}

/*
 * Collision spheres of the bike's bodies. Ground contacts use only each sphere's friction;
 * bike-to-bike and object contacts also take its spring and damper. Metal and plastic parts
 * slide with friction about 0.4 to 0.6 and are stiff (25000 / 2500, as hard as a tyre); the
 * spheres sit on the parts that stick out: pegs, engine cases, shrouds, seat, fender,
 * silencer, bar ends, the fork feet and the swingarm arms. None reaches the ground while the
 * bike stands or rides upright, so only a fall, a bottomed landing or a deep lean touches.
 */
int bike_shapes_write(const std::string& out) {
    const float K = 25000, D = 2500;
    Vec3 f = BIKE_FRAME_POS;
    std::vector<Sphere> frame = {
        body_sphere(f, v3(0, 1.5f, 3.45f), 0.38f, 0.4f, K, D),    // skid plate
        body_sphere(f, v3(0, 3.3f, 3.1f), 0.42f, 0.5f, K, D),     // tank
        body_sphere(f, v3(0, 3.22f, 5.1f), 0.36f, 0.6f, K, D),    // seat
        body_sphere(f, v3(0, 3.1f, 6.6f), 0.33f, 0.5f, K, D),     // rear fender
        body_sphere(f, v3(0.56f, 2.75f, 6.1f), 0.2f, 0.4f, K, D), // silencer
    };
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        Vec3 peg = RIDER_PEG[side] + f;
        frame.push_back(body_sphere(f, peg + v3(s * 0.12f, 0, 0), 0.12f, 0.4f, K, D));
        frame.push_back(body_sphere(f, v3(s * 0.42f, 1.8f, 3.45f), 0.3f, 0.4f, K, D)); // cases
        frame.push_back(body_sphere(f, v3(s * 0.5f, 2.85f, 2.8f), 0.33f, 0.5f, K, D)); // shroud
        frame.push_back(body_sphere(f, v3(s * 0.44f, 2.85f, 5.1f), 0.3f, 0.5f, K, D)); // plate
    }
    Vec3 st = BIKE_STEERING_POS;
    std::vector<Sphere> steering = {
        body_sphere(st, v3(0, 3.55f, 2.45f), 0.3f, 0.5f, K, D),         // bar pad and clamp
        body_sphere(st, fork_point(0, 0.1f, 0.45f), 0.38f, 0.5f, K, D), // front plate
        body_sphere(st, BIKE_FRONT_AXLE + v3(0, 1.0f, -1.05f), 0.25f, 0.5f, K, D), // fender tip
    };
    for (int side = 0; side < 2; side++) {
        Vec3 grip = RIDER_GRIP[side] + st;
        float s = side ? 1.0f : -1.0f;
        steering.push_back(body_sphere(st, grip + v3(s * 0.12f, 0, 0), 0.18f, 0.6f, K, D));
    }
    Vec3 fl = BIKE_FORK_LOWER_POS;
    std::vector<Sphere> lower;
    for (int side = 0; side < 2; side++) {
        float x = side ? BIKE_FORK_SPACING / 2 : -BIKE_FORK_SPACING / 2;
        lower.push_back(
            body_sphere(fl, BIKE_FRONT_AXLE + v3(x * 1.1f, 0.02f, 0), 0.17f, 0.4f, K, D));
        lower.push_back(
            body_sphere(fl, fork_point(x * 1.05f, -1.35f, LEG_AHEAD), 0.15f, 0.4f, K, D));
    }
    Vec3 sw = BIKE_SWINGARM_POS;
    std::vector<Sphere> arm;
    for (int side = 0; side < 2; side++) {
        float s = side ? 1.0f : -1.0f;
        arm.push_back(body_sphere(sw, v3(s * 0.4f, 1.45f, 4.6f), 0.16f, 0.4f, K, D));
        arm.push_back(body_sphere(sw, v3(s * 0.44f, 1.22f, 5.35f), 0.14f, 0.4f, K, D));
        arm.push_back(body_sphere(sw, v3(s * 0.46f, 1.04f, 6.05f), 0.13f, 0.4f, K, D));
    }
    return write_text(out + "generic_frame.shp", shape_text(frame)) &&
           write_text(out + "generic_fork_upper.shp", shape_text(steering)) &&
           write_text(out + "generic_fork_lower.shp", shape_text(lower)) &&
           write_text(out + "generic_swingarm.shp", shape_text(arm));
}
