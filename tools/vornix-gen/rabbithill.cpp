// "rabbithill": the default track. A 1.6 km motocross circuit over a wooded hill: a wide start
// chute with a 40-slot gate joining the finish straight into a wide first hairpin, three bermed
// hairpins, an off-camber left, a double, a tabletop, whoops, a step-up, a rhythm section, a mud
// bog, a sand climb and a long hardpack descent with a big tabletop and a step-down.
//
// Jump faces rise at 20 to 35 degrees; their landings run down at a shallower slope for longer
// than a bike at the speed it reaches there flies past the top.
#include <algorithm>
#include <cmath>

#include "track.h"

namespace {

enum Surface : uint8_t { GRASS, DIRT, HARDPACK, SAND, MUD, CONCRETE, SURFACE_COUNT };

const float OX = 450; // the plan below is drawn from x = 0; this centres it in the field

float ground(float x, float z) {
    float dx = x - 800, dz = z - 300;
    float hill = 42.0f * std::exp(-(dx * dx + dz * dz) / (2 * 280.0f * 280.0f));
    float roll = 26.0f * (fbm2(x / 520, z / 520, 4, 11) - 0.5f);
    float small = 4.0f * (fbm2(x / 70, z / 70, 3, 12) - 0.5f);
    float rim = 28.0f * smoothstepf(760, 1150, std::hypot(x - 1024, z - 1024));
    return 12.0f + hill + roll + small + rim;
}

std::vector<SurfaceDef> surfaces() {
    // Clods keep their size and fall; the dust that goes with them spreads and thins out.
    const std::string dust = "texture=@roost.png count=2 dig=0 size=0.6 grow=6 drag=2 vscale=0.5 "
                             "randomize=6 r=170 g=150 b=120 a=90 fade_a=-128";
    std::vector<SurfaceDef> s(SURFACE_COUNT);
    s[GRASS] = {
        "@textures/grass.png",
        {0.85f, 5, 0.75f, 40, 0.65f, 90},
        {5, 18, 10, 7, 24, 60},
        {"texture=@roost.png count=3 dig=0.3 size=0.15 grow=1 r=85 g=105 b=55 fade_a=-256"}};
    s[DIRT] = {"@textures/dirt.png",
               {1.1f, 5, 1.0f, 40, 0.95f, 90},
               {4, 14, 10, 6, 20, 60},
               {"texture=@roost.png count=6 dig=1 size=0.18 grow=0.8 drag=0.8 r=115 g=85 b=58 "
                "fade_a=-256",
                dust}};
    s[HARDPACK] = {"@textures/hardpack.png",
                   {1.2f, 5, 1.05f, 50, 0.95f, 100},
                   {3, 8, 10, 5, 12, 60},
                   {"texture=@roost.png count=3 dig=0.4 size=0.15 grow=1 r=105 g=88 b=68 "
                    "fade_a=-384",
                    dust}};
    s[SAND] = {"@textures/sand.png",
               {0.8f, 5, 0.75f, 40, 0.7f, 80},
               {8, 50, 10, 12, 70, 60},
               {"texture=@roost.png count=12 dig=1.5 size=0.1 grow=1.5 drag=0.7 "
                "slow_angle=1.2 r=215 g=190 b=140 fade_a=-256"}};
    s[MUD] = {"@textures/mud.png",
              {0.6f, 5, 0.5f, 40, 0.45f, 80},
              {12, 60, 10, 18, 80, 60},
              {"splash=1 texture=@splash.png count=5 dig=0.3 size=0.25 grow=1 drag=0.3 r=70 g=52 "
               "b=34 a=230 fade_a=-128",
               "texture=@roost.png count=4 dig=0.8 size=0.3 grow=0.5 drag=0.4 r=62 g=45 b=30 "
               "fade_a=-128"}};
    s[CONCRETE] = {
        "@textures/concrete.png", {1.3f, 5, 1.2f, 60, 1.1f, 100}, {2, 3, 10, 4, 5, 60}, {}};
    return s;
}

} // namespace

int rabbithill_write(const std::string& out, TrackSummary* sum) {
    const std::string dir = out + "rabbithill/";
    // ---- the plan: a loop that starts where the chute joins it, and the chute.
    Lane loop, chute;
    lane_begin(&loop, 300 + OX, 1500, 0, -1);
    lane_straight(&loop, 350); // S1 finish straight
    lane_arc(&loop, 70, 180);  // T1 bermed hairpin
    lane_straight(&loop, 250); // S2 double
    lane_arc(&loop, 60, -90);
    lane_straight(&loop, 350); // S3 tabletop
    lane_arc(&loop, 60, -90);
    lane_straight(&loop, 750); // S4 whoops and step-up
    lane_arc(&loop, 70, -180); // T4 bermed hairpin
    lane_straight(&loop, 350); // S5 rhythm
    lane_arc(&loop, 60, 90);   // mud bog: T5, S6, T6
    lane_straight(&loop, 150);
    lane_arc(&loop, 60, 90);
    lane_straight(&loop, 600); // S7 sand climb
    lane_arc(&loop, 80, -90);
    lane_straight(&loop, 150); // S8 hill top
    lane_arc(&loop, 80, -90);
    lane_straight(&loop, 1100); // S9 hardpack descent, finish line near its end
    lane_arc(&loop, 55, -180);  // T9 bermed hairpin into the finish straight
    lane_finish(&loop, 1, 14, DIRT);
    const std::vector<float>& m = loop.marks;
    auto start_of = [&](int section) { return section == 0 ? 0.0f : m[(size_t)section - 1]; };

    lane_begin(&chute, 300 + OX, 1880, 0, -1);
    lane_straight(&chute, 380);
    lane_finish(&chute, 0, 18, DIRT);
    const float gate_s = 30; // the gate line, 30 feet into the chute; the pad lies behind it

    // ---- widths, surfaces, berms and features of the loop.
    lane_set_width(&loop, 0, m[0], 18);
    for (int turn : {3, 5, 7, 9, 11, 13, 15, 17})
        lane_set_width(&loop, start_of(turn), m[(size_t)turn], 16);
    // The first turn takes the whole gate at once: wide, and widening into it from the straight.
    for (int k = (int)m[0] - 120; k <= (int)m[1] + 40; k++) {
        float in = smoothstepf(m[0] - 120, m[0], (float)k);
        float out = 1 - smoothstepf(m[1], m[1] + 40, (float)k);
        loop.half_width[(size_t)lane_index(loop, (float)k)] = lerpf(16, 26, std::min(in, out));
    }
    lane_set_surface(&loop, start_of(4), m[4], HARDPACK);
    lane_set_surface(&loop, start_of(16), m[17], HARDPACK);
    lane_set_surface(&loop, start_of(9), m[11], MUD);
    lane_set_surface(&loop, start_of(12), m[13], SAND);
    lane_set_berm(&loop, start_of(1) - 15, m[1] + 15, 6.0f, 30);
    lane_set_berm(&loop, start_of(7) - 15, m[7] + 15, 5.0f, 25);
    // The last hairpin's bank has run out before the start chute joins its exit.
    lane_set_berm(&loop, start_of(17) - 15, m[17] - 40, 4.5f, 25);
    // The left after the tabletop leans out: the outside edge lower than the inside.
    lane_set_camber(&loop, start_of(5) - 10, m[5] + 10, 2.2f, 20);
    lane_base_from_ground(&loop, ground, 60);
    // Jumps as (distance, height) knots: take-off face, lip, the jump's body, landing. Faces
    // rise 5 to 6 feet over 9 to 12 feet (25 to 30 degrees); landings fall at 10 to 15 degrees.
    float double_s = start_of(2) + 50, table_s = start_of(4) + 80, step_s = start_of(6) + 340;
    float big_table_s = start_of(16) + 200, step_down_s = start_of(16) + 700;
    // The double's inner faces are gentler (21 degrees) than its take-off: a rider who rolls
    // it, or comes up short, meets a slope he can ride up rather than a wall.
    const std::vector<float> double_jump = {0,  0, 11, 6, 13, 6, 29, 0,
                                            35, 0, 51, 6, 54, 6, 88, 0}; // 40 ft lip to landing top
    const std::vector<float> tabletop = {0, 0, 12, 6, 57, 6, 85, 0};
    const std::vector<float> step_up = {0,  0,    10, 5, 12, 5, 18,  1.5f,
                                        30, 1.5f, 42, 9, 85, 9, 170, 0};
    const std::vector<float> big_table = {0, 0, 14, 7.5f, 74, 7.5f, 106, 0};
    // A step-down: a long ramp to a kicker, then a landing well below the lip.
    const std::vector<float> step_down = {0, 0, 50, 6, 60, 10.5f, 63, 10.5f, 72, 5, 120, 0};
    lane_add_profile(&loop, double_s, double_jump);
    lane_add_profile(&loop, table_s, tabletop);
    lane_add_bumps(&loop, start_of(6) + 60, 12, 14, 1.5f); // whoops
    lane_add_profile(&loop, step_s, step_up);
    lane_add_bumps(&loop, start_of(8) + 50, 8, 28, 3.2f);                         // rhythm rollers
    lane_add_profile(&loop, start_of(10), {0, 0, 20, -0.9f, 130, -0.9f, 150, 0}); // bog
    lane_add_bumps(&loop, start_of(12) + 150, 3, 40, 1.5f);
    lane_add_profile(&loop, big_table_s, big_table);
    lane_add_bumps(&loop, start_of(16) + 500, 4, 35, 2.5f);
    lane_add_profile(&loop, step_down_s, step_down);
    const float finish_s = start_of(16) + 1000;

    // ---- the chute: a flat concrete pad behind the gate, then dirt narrowing into the loop.
    for (int k = 0; k < (int)chute.base.size(); k++) {
        float s = (float)k;
        chute.half_width[(size_t)k] = s < 90 ? 72 : lerpf(72, 18, smoothstepf(90, 330, s));
    }
    lane_set_surface(&chute, 0, gate_s - 1, CONCRETE);
    float pad_height = 0;
    for (int k = -60; k <= 60; k += 10) pad_height += ground(300 + OX + k, 1850) / 13;
    for (size_t k = 0; k < chute.base.size(); k++)
        chute.base[k] = lerpf(pad_height, loop.base[0], smoothstepf(90, 380, (float)k));

    // ---- the ground.
    TerrainGen t;
    terrain_gen_init(&t, 9, 2.0f);
    NearField near;
    FieldPlan plan;
    plan.lanes = {&loop, &chute};
    plan.ground = ground;
    plan.off_surface = GRASS;
    plan.shoulder = 26;
    field_build(&t, &near, plan);
    terrain_gen_range(&t);
    // A sun 20 degrees up: the far side of every jump lies in shadow, which shows its shape.
    Lighting light = {{0.62f, 0.34f, -0.68f}, {0.78f, 0.74f, 0.66f}, {0.44f, 0.46f, 0.52f}};
    float len = std::sqrt(0.62f * 0.62f + 0.34f * 0.34f + 0.68f * 0.68f);
    for (float& v : light.sun) v /= len;
    terrain_gen_shadows(&t, light);
    terrain_gen_shading(&t, light);
    std::vector<float> heights;
    if (!terrain_gen_write(t, dir, &heights, &sum->heights_digest)) return 0;
    float extent = t.spacing * 2 * t.tiles;

    // ---- start slots and timing gates.
    GateSet g;
    PathPoint gate_line = path_at(chute.path, gate_s);
    start_slots_build(&g, chute, gate_s, 40, 1); // the first turn is a right-hand hairpin
    std::vector<int> chute_refs;
    for (float s : {150.0f, 330.0f}) {
        PathPoint p = path_at(chute.path, s);
        float w = lane_value(chute, chute.half_width, s);
        g.gates.push_back({w + 10, p.x, terrain_gen_height(t, p.x, p.z), p.z, p.dx, 0, p.dz, -1});
    }
    chute_refs = {0, 1 + 100000};
    gates_build(&g, loop, t, finish_s, 0, 110, 3, chute_refs);
    if (!write_text(dir + "timing_gates", timing_gates_text(g))) return 0;

    // ---- statues: the edges marked all the way round (hay bales outside the turns, tuff blocks
    // lining their insides and spaced along the straights) and hay bales along the chute.
    std::vector<Statue> statues;
    auto along = [&](const Lane& l, float s0, float s1, float step, float d, const char* what) {
        for (float s = s0; s <= s1; s += step) {
            PathPoint p = path_at(l.path, s);
            float x, z;
            lane_point(l, s, d, &x, &z);
            std::string name = what;
            statues.push_back({x, 0, z, std::atan2(-p.dz, p.dx), "@" + name + ".jm",
                               "@" + name + ".png", "@" + name + ".shp"});
        }
    };
    along(loop, start_of(1), m[1], 9, -(26 + 7), "haybale"); // right hairpin: outside is left
    along(loop, start_of(7), m[7], 9, 16 + 7, "haybale");    // left hairpins: outside is right
    along(loop, start_of(17), m[17], 9, 16 + 7, "haybale");
    // The hairpins' insides stay open (riders cut across them), as do the insides of the
    // two wide turns over the hill top; the tighter turns are lined inside with tuff blocks.
    for (int turn : {3, 9, 11, 13, 15}) { // left turns but 9 and 11, the bog's rights
        float in = (turn == 9 || turn == 11) ? 1.0f : -1.0f;
        if (turn != 13 && turn != 15)
            along(loop, start_of(turn) + 4, m[(size_t)turn] - 4, 6, in * (16 + 2), "tuffblock");
        along(loop, start_of(turn), m[(size_t)turn], 9, -in * (16 + 5), "haybale");
    }
    // The off-camber left: its low outside edge is lined as closely as its inside.
    along(loop, start_of(5) + 4, m[5] - 4, 6, -(16 + 2), "tuffblock");
    along(loop, start_of(5), m[5], 6, 16 + 4, "haybale");
    for (int straight = 0; straight < 18; straight += 2)
        for (float s = start_of(straight) + 15; s <= m[(size_t)straight] - 15; s += 30)
            for (float side : {-1.0f, 1.0f}) {
                float w = lane_value(loop, loop.half_width, s);
                along(loop, s, s, 1, side * (w + 3), "tuffblock");
            }
    for (float side : {-1.0f, 1.0f})
        for (float s = 110; s <= 320; s += 14) {
            float w = lane_value(chute, chute.half_width, s) + 4;
            float x, z;
            lane_point(chute, s, side * w, &x, &z);
            statues.push_back(
                {x, 0, z, std::atan2(1.0f, 0.0f), "@haybale.jm", "@haybale.png", "@haybale.shp"});
        }
    statues_off_lanes(&statues, plan.lanes, 1.0f);
    if (!write_text(dir + "statues", statues_text(statues))) return 0;

    // ---- billboards: woods, bushes and banners.
    std::vector<Billboard> boards;
    scatter_trees(
        &boards, near, plan.lanes, extent, 340, 24,
        {"@sprites/pine.png", "@sprites/pine.png", "@sprites/broadleaf.png", "@sprites/bush.png"},
        4242);
    for (float s = 40; s < m[0] - 40; s += 70) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 9), &x, &z);
        boards.push_back({x, 2.0f, z, 12, 3,
                          s < 200 ? "@sprites/banner_vornix.png" : "@sprites/banner_race.png"});
    }
    for (float s : {double_s + 60, table_s + 40, step_s + 50, big_table_s + 60}) {
        float x, z;
        lane_point(loop, s, 14 + 10, &x, &z);
        boards.push_back({x, 2.0f, z, 12, 3, "#ffe0c0#@sprites/banner_race.png"});
    }
    // Arrow boards announce every turn 70 feet ahead, on its outside where the eye looks.
    for (int turn = 1; turn < 18; turn += 2) {
        float s = start_of(turn) - 70;
        float right = path_at(loop.path, start_of(turn) + 5).curve > 0 ? 1.0f : -1.0f;
        float x, z;
        lane_point(loop, s, -right * (lane_value(loop, loop.half_width, s) + 7), &x, &z);
        boards.push_back(
            {x, 2.2f, z, 4, 4, right > 0 ? "@sprites/arrow_right.png" : "@sprites/arrow_left.png"});
    }
    // Spectators behind the banners of the start straight and beside the big jumps.
    for (float s = 75; s < m[0] - 40; s += 70) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 18), &x, &z);
        boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
    }
    for (float s : {double_s + 30, table_s + 30, step_s + 30, big_table_s + 40, step_down_s + 70}) {
        for (float o : {0.0f, 17.0f}) {
            float x, z;
            lane_point(loop, s + o, -(lane_value(loop, loop.half_width, s + o) + 3 * 7.5f + 6), &x,
                       &z);
            boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
        }
    }
    if (!write_text(dir + "billboards", billboards_text(boards))) return 0;

    // ---- decals: ridden-in tyre marks along the racing line, darker than the bare track.
    int decal_count = 0;
    std::string decals = tyre_mark_decals(loop, 20, 40, &decal_count);
    if (!write_text(dir + "decals", decals)) return 0;

    // ---- flaggers: the starter in the chute, the lap board at the finish, and gate flaggers
    // that warn of riders down behind the blind landings.
    std::string fl;
    {
        float x1, z1, x2, z2;
        // The starter stands beside the gate's left end, in front of the riders' view, and
        // walks further off when the gate drops.
        lane_point(chute, gate_s + 12, -(72 + 6), &x1, &z1);
        lane_point(chute, gate_s + 18, -(72 + 16), &x2, &z2);
        fl +=
            strf("[%f %f %f] [%f %f %f] %f %f %f\n", x1, 3.0f, z1, x2, 3.0f, z2, 3.0f, 6.0f, 3.0f);
        for (int k = 1; k <= 5; k++) fl += strf("@flaggers/start%d.png\n", k);
        float lx, lz;
        lane_point(loop, finish_s, 14 + 8, &lx, &lz);
        fl += strf("[%f %f %f] %f %f\n", lx, 3.0f, lz, 3.0f, 6.0f);
        for (int k = 1; k <= 4; k++) fl += strf("@flaggers/lap%d.png\n", k);
    }
    int gate_flaggers = 0;
    for (float s : {double_s + 71, table_s + 70, step_s + 42, big_table_s + 80}) {
        fl += gate_flagger_text(g, loop, s, -(16 + 6), 220);
        gate_flaggers++;
    }
    if (!write_text(dir + "flaggers", fl)) return 0;

    // ---- surfaces, lighting, title and map.
    std::vector<SurfaceDef> surf = surfaces();
    if (!write_text(dir + "tileinfo", tileinfo_text(surf))) return 0;
    std::string lighting =
        lighting_text(light,
                      "sun_color [ 0.78 0.74 0.66 ]\nambient [ 0.44 0.46 0.52 ]\n"
                      "global_ambient [ 0.2 0.2 0.2 ]\n"
                      "sky_n @sky-n.ppm\nsky_e @sky-e.ppm\nsky_s @sky-s.ppm\nsky_w @sky-w.ppm\n"
                      "sky_u @sky-u.ppm\nsky_env @sky-env.ppm\n"
                      "flare_element [ 0 1 ] [ 1 0.96 0.85 ] 3 @flare_glow.png\n"
                      "flare_element [ 0.35 0.4 ] [ 0.6 0.8 1 ] 0.6 @flare_ring.png\n"
                      "flare_element [ 0.7 0.25 ] [ 1 0.7 0.5 ] 0.35 @flare_disc.png\n"
                      "flare_element [ 1.2 0.5 ] [ 0.6 1 0.7 ] 0.8 @flare_ring.png\n"
                      "flare_element [ 1.6 0.3 ] [ 0.8 0.7 1 ] 0.5 @flare_disc.png\n",
                      "fog [ 0.72 0.8 0.9 ] 0.0004\n");
    if (!write_text(dir + "lighting", lighting)) return 0;
    if (!write_text(dir + "desc", "Rabbit Hill\n")) return 0;
    PathPoint fin = path_at(loop.path, finish_s);
    if (!write_canvas_png(
            dir + "map.png",
            paint_track_map(plan.lanes, extent, gate_line.x, gate_line.z, fin.x, fin.z), 4))
        return 0;

    // ---- what the tests compare with.
    track_summary_fill(sum, "rabbithill", t, loop, g, surf.size(), boards.size(), statues.size(),
                       gate_flaggers, decal_count);
    sum->extra.push_back(strf("finish %f %f", fin.x, fin.z));
    for (float s : {table_s + 45, step_s + 60, double_s + 20, finish_s}) {
        PathPoint p = path_at(loop.path, s);
        int i = (int)std::lround(p.x / t.spacing), j = (int)std::lround(p.z / t.spacing);
        sum->extra.push_back(
            strf("probe %d %d %f", i, j, heights[(size_t)i + (size_t)t.samples * j]));
    }
    // Where the features are: "feature <kind> x0 z0 x1 z1" from its run-up to its end along the
    // centre line; "berm x_in z_in x_out z_out" across each bermed apex, edge to edge;
    // "section <surface> x z" a point on the centre line of each special surface.
    auto feature = [&](const char* kind, float s0, float s1) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        sum->extra.push_back(strf("feature %s %f %f %f %f", kind, a.x, a.z, b.x, b.z));
    };
    feature("double", double_s, double_s + 94);
    feature("tabletop", table_s, table_s + 98);
    feature("whoops", start_of(6) + 60, start_of(6) + 60 + 12 * 14);
    feature("stepup", step_s + 11, step_s + 60); // from the lip to the middle of the plateau
    feature("stepdown", step_down_s + 61, step_down_s + 120); // from the lip to the landing's foot
    // "area x0 z0 x1 z1 radius": ground shaped steeper than the smooth rest (jump faces and
    // sides, whoops, rollers), within radius of the centre line from (x0, z0) to (x1, z1).
    auto area = [&](float s0, float s1, float height) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        float w =
            std::max(lane_value(loop, loop.half_width, s0), lane_value(loop, loop.half_width, s1));
        sum->extra.push_back(
            strf("area %f %f %f %f %f", a.x, a.z, b.x, b.z, w + std::max(7.0f, 3 * height) + 4));
    };
    area(double_s - 4, double_s + 92, 6);
    area(table_s - 4, table_s + 89, 6);
    area(start_of(6) + 56, start_of(6) + 60 + 12 * 14 + 4, 1.5f);
    area(step_s - 4, step_s + 174, 9);
    area(start_of(8) + 46, start_of(8) + 50 + 8 * 28 + 4, 3.2f);
    area(start_of(12) + 146, start_of(12) + 150 + 3 * 40 + 4, 1.5f);
    area(big_table_s - 4, big_table_s + 110, 7.5f);
    area(start_of(16) + 496, start_of(16) + 500 + 4 * 35 + 4, 2.5f);
    area(step_down_s - 4, step_down_s + 124, 10.5f);
    feature("rhythm", start_of(8) + 50, start_of(8) + 50 + 8 * 28);
    feature("tabletop", big_table_s, big_table_s + 110);
    for (int turn : {1, 7, 17}) {
        float s = (start_of(turn) + m[(size_t)turn]) / 2, w = lane_value(loop, loop.half_width, s);
        float outside = path_at(loop.path, s).curve > 0 ? -1.0f : 1.0f;
        float xi, zi, xo, zo;
        lane_point(loop, s, -outside * w, &xi, &zi);
        lane_point(loop, s, outside * w, &xo, &zo);
        sum->extra.push_back(strf("berm %f %f %f %f", xi, zi, xo, zo));
    }
    {
        // "offcamber x_in z_in x_out z_out": across the off-camber turn's apex, edge to edge.
        float s = (start_of(5) + m[5]) / 2, w = lane_value(loop, loop.half_width, s);
        float outside = path_at(loop.path, s).curve > 0 ? -1.0f : 1.0f;
        float xi, zi, xo, zo;
        lane_point(loop, s, -outside * w, &xi, &zi);
        lane_point(loop, s, outside * w, &xo, &zo);
        sum->extra.push_back(strf("offcamber %f %f %f %f", xi, zi, xo, zo));
    }
    const char* names[SURFACE_COUNT] = {"grass", "dirt", "hardpack", "sand", "mud", "concrete"};
    for (int section : {4, 10, 12, 16}) {
        PathPoint p = path_at(loop.path, start_of(section) + 30);
        sum->extra.push_back(
            strf("section %s %f %f", names[loop.surface[(size_t)lane_index(loop, p.s)]], p.x, p.z));
    }
    return 1;
}
