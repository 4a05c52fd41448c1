// "dunebay": a short sand track among beach dunes at sunset: a creek to splash through, wet
// sand along the shore, dune jumps and whoops, a 20-slot gate and painted decals.
#include <cmath>

#include "track.h"

namespace {

enum Surface : uint8_t { DUNEGRASS, SAND, WETSAND, WATER, CONCRETE, SURFACE_COUNT };

float creek_distance(float x, float z) {
    return std::fabs(x - (600 + 30 * std::sin(z / 80)));
}

float ground(float x, float z) {
    float ridge = 1 - std::fabs(fbm2(x / 160, z / 110, 4, 31) * 2 - 1);
    float dunes = 5 + 9 * ridge * ridge + 2 * fbm2(x / 40, z / 40, 2, 32);
    float h = lerpf(dunes, -2.0f, smoothstepf(880, 960, z));
    h -= 3.0f * (1 - smoothstepf(10, 28, creek_distance(x, z))) * smoothstepf(600, 660, z);
    return h;
}

int off_track(float x, float z) {
    if (ground(x, z) < -0.5f || (creek_distance(x, z) < 13 && z > 640)) return WATER;
    if (z > 860) return WETSAND;
    return -1;
}

std::vector<SurfaceDef> surfaces() {
    std::vector<SurfaceDef> s(SURFACE_COUNT);
    s[DUNEGRASS] = {
        "@textures/dunegrass.png",
        {0.75f, 5, 0.68f, 40, 0.6f, 80},
        {9, 45, 10, 12, 60, 60},
        {"texture=@roost.png count=6 dig=0.8 size=0.12 grow=1.2 r=205 g=185 b=140 fade_a=-256"}};
    s[SAND] = {"@textures/sand.png",
               {0.85f, 5, 0.8f, 40, 0.72f, 90},
               {7, 40, 10, 10, 60, 60},
               {"texture=@roost.png count=12 dig=1.4 size=0.1 grow=1.5 drag=0.7 r=220 g=196 b=146 "
                "fade_a=-256",
                "texture=@roost.png count=2 dig=0 size=0.6 grow=6 drag=2 vscale=0.5 r=225 g=210 "
                "b=170 a=100 fade_a=-128"}};
    s[WETSAND] = {
        "@textures/wetsand.png",
        {1.0f, 5, 0.92f, 50, 0.85f, 100},
        {4, 16, 10, 6, 22, 60},
        {"texture=@roost.png count=5 dig=0.6 size=0.18 grow=0.8 r=140 g=122 b=92 fade_a=-256"}};
    s[WATER] = {"@textures/water.png",
                {0.55f, 5, 0.45f, 40},
                {20, 60, 10, 30, 90, 60},
                {"splash=1 texture=@splash.png count=14 dig=0 size=0.3 grow=5 drag=0.8 r=200 g=220 "
                 "b=235 a=190 fade_a=-384",
                 "splash=1 texture=@splash.png count=4 dig=0 size=0.8 grow=8 drag=1.5 vscale=0.6 "
                 "r=235 g=240 b=245 a=120 fade_a=-256"}};
    s[CONCRETE] = {"@textures/concrete.png", {1.3f, 5, 1.2f, 60}, {2, 3, 10}, {}};
    return s;
}

} // namespace

int dunebay_write(const std::string& out, TrackSummary* sum) {
    const std::string dir = out + "dunebay/";
    Lane loop, chute;
    lane_begin(&loop, 250, 800, 0, -1);
    lane_straight(&loop, 400); // S1 finish straight
    lane_arc(&loop, 70, 90);
    lane_straight(&loop, 350); // S2 dune jumps
    lane_arc(&loop, 70, 90);
    lane_straight(&loop, 250); // S3 whoops
    lane_arc(&loop, 60, 90);
    lane_straight(&loop, 120); // S4 creek
    lane_arc(&loop, 50, -90);
    lane_straight(&loop, 60);
    lane_arc(&loop, 50, 90);
    lane_straight(&loop, 140); // S6 along the shore
    lane_arc(&loop, 70, 90);
    lane_finish(&loop, 1, 14, SAND);
    const std::vector<float>& m = loop.marks;
    auto start_of = [&](int section) { return section == 0 ? 0.0f : m[(size_t)section - 1]; };

    lane_begin(&chute, 150, 830, 0, -1);
    lane_straight(&chute, 100);
    lane_arc(&chute, 170.7f, 45);
    lane_arc(&chute, 170.7f, -45);
    lane_finish(&chute, 0, 16, SAND);
    const float gate_s = 20, merge_s = 800 - chute.path.pts.back().z;

    for (int turn : {1, 3, 5, 7, 9, 11}) lane_set_width(&loop, start_of(turn), m[(size_t)turn], 15);
    lane_set_berm(&loop, start_of(1) - 10, m[1] + 10, 4, 20);
    lane_set_berm(&loop, start_of(11) - 10, m[11] + 10, 4, 20);
    lane_set_surface(&loop, start_of(9), m[10], WETSAND);
    lane_base_from_ground(&loop, ground, 50);
    float table_s = start_of(2) + 60, double_s = start_of(2) + 200;
    lane_add_profile(&loop, table_s, {0, 0, 18, 5, 50, 5, 72, 0});
    lane_add_profile(&loop, double_s, {0, 0, 14, 4, 17, 4, 27, 0, 52, 0, 60, 4, 84, 0});
    lane_add_bumps(&loop, start_of(4) + 40, 9, 16, 1.8f);
    float creek_s = start_of(6) + (680 - (600 + 30 * std::sin(710.0f / 80)));
    lane_add_profile(&loop, creek_s - 30, {0, 0, 12, -1.2f, 48, -1.2f, 60, 0});
    lane_set_surface(&loop, creek_s - 18, creek_s + 18, WATER);
    const float finish_s = 200;

    for (size_t k = 0; k < chute.base.size(); k++)
        chute.half_width[k] = lerpf(36, 16, smoothstepf(50, 200, (float)k));
    lane_set_surface(&chute, 0, gate_s - 1, CONCRETE);
    float pad = ground(150, 810);
    float join = lane_value(loop, loop.base, merge_s);
    for (size_t k = 0; k < chute.base.size(); k++)
        chute.base[k] = lerpf(pad, join, smoothstepf(50, chute.path.length, (float)k));

    TerrainGen t;
    terrain_gen_init(&t, 8, 2.0f);
    NearField near;
    FieldPlan plan;
    plan.lanes = {&loop, &chute};
    plan.ground = ground;
    plan.off_track_surface = off_track;
    plan.off_surface = DUNEGRASS;
    plan.shoulder = 22;
    field_build(&t, &near, plan);
    terrain_gen_range(&t);
    Lighting light = {{-0.6f, 0.35f, 0.55f}, {0.95f, 0.72f, 0.5f}, {0.40f, 0.37f, 0.45f}};
    float len = std::sqrt(0.6f * 0.6f + 0.35f * 0.35f + 0.55f * 0.55f);
    for (float& v : light.sun) v /= len;
    terrain_gen_shadows(&t, light);
    terrain_gen_shading(&t, light);
    if (!terrain_gen_write(t, dir, nullptr, &sum->heights_digest)) return 0;
    float extent = t.spacing * 2 * t.tiles;

    GateSet g;
    PathPoint gate_line = path_at(chute.path, gate_s);
    start_slots_build(&g, chute, gate_s, 20, 1); // the first turn goes right
    PathPoint c = path_at(chute.path, 120);
    g.gates.push_back({lane_value(chute, chute.half_width, 120) + 10, c.x,
                       terrain_gen_height(t, c.x, c.z), c.z, c.dx, 0, c.dz, -1});
    gates_build(&g, loop, t, finish_s, merge_s, 100, 3, {0});
    if (!write_text(dir + "timing_gates", timing_gates_text(g))) return 0;

    std::vector<Statue> statues;
    auto along = [&](float s0, float s1, float step, float d, const std::string& name) {
        for (float s = s0; s <= s1; s += step) {
            PathPoint p = path_at(loop.path, s);
            float x, z;
            lane_point(loop, s, d, &x, &z);
            statues.push_back({x, 0, z, std::atan2(-p.dz, p.dx), "@" + name + ".jm",
                               "@" + name + ".png", "@" + name + ".shp"});
        }
    };
    along(start_of(1), m[1], 9, -(15 + 7), "haybale");
    along(start_of(11), m[11], 9, -(15 + 7), "haybale");
    along(start_of(3) + 4, m[3] - 4, 6, 15 + 2, "tuffblock");
    along(start_of(7) + 4, m[7] - 4, 6, -(15 + 2), "tuffblock");
    statues_off_lanes(&statues, plan.lanes, 1.0f);
    if (!write_text(dir + "statues", statues_text(statues))) return 0;

    std::vector<Billboard> boards;
    scatter_trees(&boards, near, plan.lanes, extent, 90, 22,
                  {"@sprites/palm.png", "@sprites/palm.png", "@sprites/bush.png"}, 777);
    for (float s : {60.0f, 140.0f, 260.0f}) {
        float x, z;
        lane_point(loop, s, 14 + 9, &x, &z);
        boards.push_back({x, 2.0f, z, 12, 3, "@sprites/banner_vornix.png"});
    }
    if (!write_text(dir + "billboards", billboards_text(boards))) return 0;

    std::string fl;
    {
        float x1, z1, x2, z2, lx, lz;
        // The starter stands beside the gate's right end and walks off when it drops.
        lane_point(chute, gate_s + 12, 36 + 6, &x1, &z1);
        lane_point(chute, gate_s + 18, 36 + 14, &x2, &z2);
        fl +=
            strf("[%f %f %f] [%f %f %f] %f %f %f\n", x1, 3.0f, z1, x2, 3.0f, z2, 3.0f, 6.0f, 2.5f);
        for (int k = 1; k <= 5; k++) fl += strf("@flaggers/start%d.png\n", k);
        lane_point(loop, finish_s, 14 + 8, &lx, &lz);
        fl += strf("[%f %f %f] %f %f\n", lx, 3.0f, lz, 3.0f, 6.0f);
        for (int k = 1; k <= 4; k++) fl += strf("@flaggers/lap%d.png\n", k);
    }
    int gate_flaggers = 0;
    for (float s : {table_s + 50, double_s + 60}) {
        fl += gate_flagger_text(g, loop, s, -(14 + 6), 200);
        gate_flaggers++;
    }
    if (!write_text(dir + "flaggers", fl)) return 0;

    // Decals: the chequered finish line across the straight and the name in the chute's sand.
    PathPoint fin = path_at(loop.path, finish_s);
    std::string decals =
        strf("[%f %f] %f %f %f %s\n", fin.x, fin.z, 0.0f, 4.0f, 8.0f, "@dunebay/finishline.png");
    decals += strf("[%f %f] %f %f %f %s\n", 150.0f, 700.0f, 0.0f, 14.0f, 2.0f, "@dunebay/logo.png");
    if (!write_text(dir + "decals", decals) ||
        !write_canvas_png(dir + "finishline.png", paint_finishline(256, 32), 4) ||
        !write_canvas_png(dir + "logo.png", paint_logo_decal(256, 128), 4))
        return 0;

    // A sunset sky of its own, written as PNG beside the track.
    SkyStyle sky = {{light.sun[0], light.sun[1], light.sun[2]},
                    rgb(0.22f, 0.30f, 0.55f),
                    rgb(0.95f, 0.62f, 0.38f),
                    rgb(0.98f, 0.78f, 0.58f),
                    rgb(1.0f, 0.75f, 0.45f),
                    rgb(0.55f, 0.48f, 0.36f),
                    0.35f,
                    4711};
    const char* faces[5] = {"n", "e", "s", "w", "u"};
    for (int f = 0; f < 5; f++)
        if (!write_canvas_png(dir + "sky-" + faces[f] + ".png", paint_sky_face(sky, f, 256), 3))
            return 0;
    if (!write_canvas_png(dir + "sky-env.png", paint_sky_env(sky, 256), 3)) return 0;

    std::vector<SurfaceDef> surf = surfaces();
    if (!write_text(dir + "tileinfo", tileinfo_text(surf))) return 0;
    std::string lighting = lighting_text(
        light,
        "sun_color [ 0.95 0.72 0.5 ]\nambient [ 0.4 0.37 0.45 ]\n"
        "global_ambient [ 0.22 0.2 0.2 ]\n"
        "sky_n @dunebay/sky-n.png\nsky_e @dunebay/sky-e.png\nsky_s @dunebay/sky-s.png\n"
        "sky_w @dunebay/sky-w.png\nsky_u @dunebay/sky-u.png\nsky_env @dunebay/sky-env.png\n"
        "flare_element [ 0 1 ] [ 1 0.8 0.6 ] 3.5 @flare_glow.png\n"
        "flare_element [ 0.5 0.4 ] [ 1 0.6 0.4 ] 0.6 @flare_ring.png\n"
        "flare_element [ 1.3 0.3 ] [ 0.9 0.7 1 ] 0.4 @flare_disc.png\n",
        "fog [ 0.9 0.72 0.6 ] 0.0006\n");
    if (!write_text(dir + "lighting", lighting)) return 0;
    if (!write_text(dir + "desc", "Dune Bay\n")) return 0;
    if (!write_canvas_png(
            dir + "map.png",
            paint_track_map(plan.lanes, extent, gate_line.x, gate_line.z, fin.x, fin.z), 4))
        return 0;

    track_summary_fill(sum, "dunebay", t, loop, g, surf.size(), boards.size(), statues.size(),
                       gate_flaggers, 2);
    return 1;
}
