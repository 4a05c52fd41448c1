// "stadium": Stadium Cross, a compact supercross track on the dirt floor of a stadium. A
// 40-slot gate on a hardpack pad, a long start straight into a wide bermed right hairpin,
// whoops, a bermed left hairpin, a rhythm lane (a double, a triple, a double), a bermed right,
// an off-camber right, a built-up mound with a step-up onto it and a step-down off it, a
// tabletop, a bermed corner, a tabletop and a double before the finish line, and a flat corner
// onto the start straight. The whoops come first: a pack out of the first turn rolls them at any
// speed, where in a rhythm lane it stopped between the rollers and could not get going up their
// faces.
// Outside the dirt lies the concrete floor, walled by tuff blocks in front of advertising
// boards, and the stands rise around it in a bowl full of spectators.
//
// Supercross is ridden slowly over steep, short jumps: take-off faces rise at 31 to 33 degrees
// and the gaps are sized for bikes leaving the lip at 20 to 25 ft/s (the robots' teacher meets
// jumps at about 25), with landings that fall at 16 to 23 degrees where such a rider comes down.
#include <algorithm>
#include <cmath>

#include "track.h"

namespace {

enum Surface : uint8_t { DIRT, HARDPACK, CONCRETE, SURFACE_COUNT };

// The plan below is drawn within x = 150..580, z = 290..910; this centres it in the field.
const float OX = 155, OZ = -90;
// The stadium floor (flat concrete) and the stands rising around it. The floor reaches far
// behind the start pad, which claims the ground round its back edge.
const float FLOOR_X0 = 150 + OX - 50, FLOOR_X1 = 580 + OX + 50;
const float FLOOR_Z0 = 290 + OZ - 50, FLOOR_Z1 = 910 + OZ + 110;
const float FLOOR_HEIGHT = 4;
const float STANDS_RISE = 26, STANDS_RUN = 110; // at most 1.5 x 26 / 110: 20 degrees

// How far a point lies outside the floor's rectangle (0 on it).
float outside_floor(float x, float z) {
    float dx = std::max({FLOOR_X0 - x, 0.0f, x - FLOOR_X1});
    float dz = std::max({FLOOR_Z0 - z, 0.0f, z - FLOOR_Z1});
    return std::hypot(dx, dz);
}

float ground(float x, float z) {
    return FLOOR_HEIGHT + STANDS_RISE * smoothstepf(0, STANDS_RUN, outside_floor(x, z));
}

std::vector<SurfaceDef> surfaces() {
    std::vector<SurfaceDef> s(SURFACE_COUNT);
    // A watered, worked-in supercross dirt: grippy, with a little dust over the clods.
    s[DIRT] = {"@textures/dirt.png",
               {1.15f, 5, 1.05f, 40, 0.95f, 80},
               {4, 12, 10, 6, 18, 60},
               {"texture=@roost.png count=6 dig=1 size=0.18 grow=0.8 drag=0.8 r=110 g=80 b=55 "
                "fade_a=-256",
                "texture=@roost.png count=1 dig=0 size=0.6 grow=6 drag=2 vscale=0.5 randomize=6 "
                "r=165 g=145 b=118 a=70 fade_a=-128"}};
    s[HARDPACK] = {"@textures/hardpack.png",
                   {1.2f, 5, 1.05f, 50, 0.95f, 100},
                   {3, 8, 10, 5, 12, 60},
                   {"texture=@roost.png count=3 dig=0.4 size=0.15 grow=1 r=105 g=88 b=68 "
                    "fade_a=-384"}};
    s[CONCRETE] = {
        "@textures/concrete.png", {1.3f, 5, 1.2f, 60, 1.1f, 100}, {2, 3, 10, 4, 5, 60}, {}};
    return s;
}

} // namespace

int stadium_write(const std::string& out, TrackSummary* sum) {
    const std::string dir = out + "stadium/";
    // ---- the plan: a loop that starts where the chute joins it, and the chute.
    Lane loop, chute;
    lane_begin(&loop, 220 + OX, 650 + OZ, 0, -1);
    lane_straight(&loop, 270); // S1 start straight
    lane_arc(&loop, 55, 180);  // T1 wide bermed right hairpin
    lane_straight(&loop, 180); // S2 whoops
    lane_arc(&loop, 50, -180); // T2 bermed left hairpin
    lane_straight(&loop, 180); // S3 rhythm lane
    lane_arc(&loop, 45, 90);   // T3 bermed right
    lane_straight(&loop, 30);
    lane_arc(&loop, 45, 90);   // T4 off-camber right
    lane_straight(&loop, 270); // S5 the mound (step-up, step-down) and a tabletop
    lane_arc(&loop, 50, 90);   // T5 bermed right
    lane_straight(&loop, 230); // S6 tabletop, double, finish line
    lane_arc(&loop, 50, 90);   // T6 flat right onto the start straight, where the chute joins
    lane_finish(&loop, 1, 14, DIRT);
    const std::vector<float>& m = loop.marks;
    auto start_of = [&](int section) { return section == 0 ? 0.0f : m[(size_t)section - 1]; };

    lane_begin(&chute, 220 + OX, 910 + OZ, 0, -1);
    lane_straight(&chute, 260);
    lane_finish(&chute, 0, 16, DIRT);
    const float gate_s = 25; // the gate line; the pad lies behind it

    // ---- widths, berms and features of the loop.
    lane_set_width(&loop, 0, m[0], 16);
    // The first turn takes the whole gate at once: wide, and widening into it from the straight.
    for (int k = (int)m[0] - 100; k <= (int)m[1] + 30; k++) {
        float in = smoothstepf(m[0] - 100, m[0], (float)k);
        float out_of = 1 - smoothstepf(m[1], m[1] + 30, (float)k);
        loop.half_width[(size_t)lane_index(loop, (float)k)] = lerpf(16, 24, std::min(in, out_of));
    }
    lane_set_berm(&loop, start_of(1) - 15, m[1] + 15, 5.5f, 25);
    lane_set_berm(&loop, start_of(3) - 10, m[3] + 10, 5.0f, 20);
    lane_set_berm(&loop, start_of(5) - 10, m[5] + 5, 4.0f, 15);
    lane_set_berm(&loop, start_of(9) - 10, m[9] + 10, 4.5f, 20);
    // The second of the two rights leans out: its outside edge lower than the inside.
    lane_set_camber(&loop, start_of(7) - 5, m[7] + 10, 2.2f, 15);
    lane_base_from_ground(&loop, ground, 40);
    // Jumps as (distance, height) knots. A rhythm double: take-off (31 degrees), a valley, the
    // landing roller and its back (18 degrees); the triple adds a roller in the middle, which a
    // slower rider lands on the back of and jumps again.
    const std::vector<float> rhythm_double = {0,  0,    6.7f,  4, 7.5f, 4, 12.5f, 0.6f,
                                              13, 0.6f, 17.5f, 4, 19,   4, 31,    0};
    const std::vector<float> rhythm_triple = {0,  0,    6.7f,  4.2f, 7.5f, 4.2f, 12.5f, 0.6f,
                                              13, 0.6f, 17.5f, 4,    19,   4,    23.5f, 0.6f,
                                              24, 0.6f, 28.5f, 4,    30,   4,    42,    0};
    // The mound: a step-up (a 4.5 ft kicker at 33 degrees toward a 7 ft deck, its face at 28
    // degrees so that a rider who comes up short rides up it), the deck, and a step-down: the
    // deck's edge, then a landing falling at 19 degrees and easing out at 10. A rider leaves
    // the edge level and comes down on the slope 12 to 20 ft on. (With a kicker on the edge,
    // the front wheel dropped over its crest while the rear still climbed, and bikes dived
    // nose first onto the landing: most of the robots' falls on this track.)
    const std::vector<float> mound = {0, 0,  7, 4.5f, 8,    4.5f, 11.3f, 2,  11.8f, 2,  21,
                                      7, 61, 7, 63,   6.8f, 81,   0.9f,  92, 0};
    // A tabletop with a short table, so that a rider comes down on the landing rather than the
    // table; and a double with the rhythm lane's shape, half a foot taller.
    const std::vector<float> tabletop = {0, 0, 8, 5, 15, 5, 33, 0};
    const std::vector<float> double_jump = {0,  0,    7.5f, 4.5f, 8.5f, 4.5f, 13.5f, 0.6f,
                                            14, 0.6f, 19,   4.5f, 21,   4.5f, 36,    0};
    const float rhythm_s = start_of(4) + 22;
    const float rhythm[3] = {rhythm_s, rhythm_s + 43, rhythm_s + 97};
    lane_add_profile(&loop, rhythm[0], rhythm_double);
    lane_add_profile(&loop, rhythm[1], rhythm_triple);
    lane_add_profile(&loop, rhythm[2], rhythm_double);
    const float rhythm_end = rhythm[2] + 31;
    const float whoops_s = start_of(2) + 20;
    const int whoops = 12;
    const float whoop_spacing = 12, whoop_height = 1.8f;
    lane_add_bumps(&loop, whoops_s, whoops, whoop_spacing, whoop_height);
    const float mound_s = start_of(8) + 25, table_s = start_of(8) + 165;
    lane_add_profile(&loop, mound_s, mound);
    lane_add_profile(&loop, table_s, tabletop);
    const float table2_s = start_of(10) + 20, double_s = start_of(10) + 80;
    lane_add_profile(&loop, table2_s, tabletop);
    lane_add_profile(&loop, double_s, double_jump);
    // Far enough from the chute that the first lap gate past the merge is one the first lap uses.
    const float finish_s = start_of(10) + 165;

    // ---- the chute: a hardpack pad behind the gate, then dirt narrowing into the loop.
    for (int k = 0; k < (int)chute.base.size(); k++) {
        float s = (float)k;
        chute.half_width[(size_t)k] = s < 70 ? 68 : lerpf(68, 16, smoothstepf(70, 230, s));
    }
    lane_set_surface(&chute, 0, gate_s - 1, HARDPACK);
    for (size_t k = 0; k < chute.base.size(); k++) chute.base[k] = loop.base[0];

    // ---- the ground.
    TerrainGen t;
    terrain_gen_init(&t, 8, 2.0f);
    NearField near;
    FieldPlan plan;
    plan.lanes = {&loop, &chute};
    plan.ground = ground;
    plan.off_surface = CONCRETE;
    plan.shoulder = 20;
    plan.shoulder_max = 40;
    field_build(&t, &near, plan);
    terrain_gen_range(&t);
    // A high afternoon sun over the open roof: the jumps' far faces stay readable in shade.
    Lighting light = {{-0.45f, 0.62f, -0.5f}, {0.8f, 0.77f, 0.7f}, {0.46f, 0.47f, 0.52f}};
    float len = std::sqrt(0.45f * 0.45f + 0.62f * 0.62f + 0.5f * 0.5f);
    for (float& v : light.sun) v /= len;
    terrain_gen_shadows(&t, light);
    terrain_gen_shading(&t, light);
    if (!terrain_gen_write(t, dir, nullptr, &sum->heights_digest)) return 0;

    // ---- start slots and timing gates.
    GateSet g;
    PathPoint gate_line = path_at(chute.path, gate_s);
    start_slots_build(&g, chute, gate_s, 40, 1); // the first turn is a right-hand hairpin
    for (float s : {120.0f, 215.0f}) {
        PathPoint p = path_at(chute.path, s);
        float w = lane_value(chute, chute.half_width, s);
        g.gates.push_back({w + 10, p.x, terrain_gen_height(t, p.x, p.z), p.z, p.dx, 0, p.dz, -1});
    }
    gates_build(&g, loop, t, finish_s, 0, 80, 3, {0, 1 + 100000});
    if (!write_text(dir + "timing_gates", timing_gates_text(g))) return 0;

    // ---- statues: both edges lined all the way round, tuff blocks nose to tail along the
    // straights and the turns' insides, hay bales round the outsides of the bermed turns.
    std::vector<Statue> statues;
    auto place = [&](const Lane& l, float s, float d, const char* what) {
        PathPoint p = path_at(l.path, s);
        float x, z;
        lane_point(l, s, d, &x, &z);
        std::string name = what;
        statues.push_back({x, 0, z, std::atan2(-p.dz, p.dx), "@" + name + ".jm",
                           "@" + name + ".png", "@" + name + ".shp"});
    };
    // d_extra beyond the lane's edge, on the given side (> 0 right), every step feet.
    auto line = [&](float s0, float s1, float step, float side, float beyond, const char* what) {
        for (float s = s0; s <= s1; s += step)
            place(loop, s, side * (lane_value(loop, loop.half_width, s) + beyond), what);
    };
    for (int straight : {0, 2, 4, 6, 8, 10})
        for (float side : {-1.0f, 1.0f})
            line(start_of(straight) + 3, m[(size_t)straight] - 3, 7, side, 3, "tuffblock");
    for (int turn : {1, 3, 5, 7, 9, 11}) {
        float right = path_at(loop.path, start_of(turn) + 5).curve > 0 ? 1.0f : -1.0f;
        // The inside of a right turn is on the right.
        line(start_of(turn) + 2, m[(size_t)turn] - 2, 6, right, 2, "tuffblock");
        if (turn == 7) // off camber: the low outside edge is lined as closely as the inside
            line(start_of(turn), m[(size_t)turn], 6, -right, 3, "tuffblock");
        else
            line(start_of(turn), m[(size_t)turn], 9, -right, 7, "haybale");
    }
    for (float side : {-1.0f, 1.0f})
        for (float s = 80; s <= 200; s += 12) {
            float w = lane_value(chute, chute.half_width, s) + 4;
            place(chute, s, side * w, "haybale");
        }
    // The floor is walled all the way round by tuff blocks nose to tail a foot inside its rim,
    // in front of the advertising boards: a rider who leaves the track stays in the stadium.
    {
        const float step = 6.5f, x0 = FLOOR_X0 + 1, x1 = FLOOR_X1 - 1;
        const float z0 = FLOOR_Z0 + 1, z1 = FLOOR_Z1 - 1;
        auto wall = [&](float x, float z, float angle) {
            statues.push_back({x, 0, z, angle, "@tuffblock.jm", "@tuffblock.png", "@tuffblock.shp"});
        };
        for (float x = x0 + step / 2; x < x1; x += step) wall(x, z0, 0), wall(x, z1, 0);
        for (float z = z0 + step / 2; z < z1; z += step)
            wall(x0, z, -GEN_PI / 2), wall(x1, z, -GEN_PI / 2);
    }
    statues_off_lanes(&statues, plan.lanes, 1.0f);
    if (!write_text(dir + "statues", statues_text(statues))) return 0;

    // ---- billboards: spectators in the stands, advertising boards round the floor, arrow boards.
    // Nothing stands on a lane's riding surface or its edge markers.
    auto clear_of_lanes = [&](float x, float z, float margin) {
        for (const Lane* l : plan.lanes)
            for (size_t k = 0; k < l->path.pts.size(); k += 2) {
                const PathPoint& p = l->path.pts[k];
                float w = lane_value(*l, l->half_width, p.s) + margin;
                if ((x - p.x) * (x - p.x) + (z - p.z) * (z - p.z) < w * w) return false;
            }
        return true;
    };
    std::vector<Billboard> boards;
    // The floor's rim, walked round at a distance outside it: x, z every `step` feet.
    auto round_the_floor = [&](float beyond, float step,
                               const std::function<void(float, float)>& f) {
        float x0 = FLOOR_X0 - beyond, x1 = FLOOR_X1 + beyond;
        float z0 = FLOOR_Z0 - beyond, z1 = FLOOR_Z1 + beyond;
        for (float x = x0 + step / 2; x < x1; x += step) {
            f(x, z0);
            f(x, z1);
        }
        for (float z = z0 + step / 2; z < z1; z += step) {
            f(x0, z);
            f(x1, z);
        }
    };
    int banner = 0;
    round_the_floor(2, 13, [&](float x, float z) {
        boards.push_back(
            {x, 1.5f, z, 12, 3,
             (banner++ % 3) ? "@sprites/banner_race.png" : "@sprites/banner_vornix.png"});
    });
    for (float row : {25.0f, 45.0f, 65.0f, 85.0f})
        round_the_floor(row, 17, [&](float x, float z) {
            boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
        });
    // Arrow boards announce the turns 45 feet ahead, on their outside where the eye looks.
    for (int turn : {1, 3, 5, 9, 11}) {
        float s = start_of(turn) - 45;
        float right = path_at(loop.path, start_of(turn) + 5).curve > 0 ? 1.0f : -1.0f;
        float x, z;
        lane_point(loop, s, -right * (lane_value(loop, loop.half_width, s) + 7), &x, &z);
        if (clear_of_lanes(x, z, 4))
            boards.push_back({x, 2.2f, z, 4, 4,
                              right > 0 ? "@sprites/arrow_right.png" : "@sprites/arrow_left.png"});
    }
    // Tinted banners beside the big jumps.
    for (float s : {rhythm[1] + 20, mound_s + 40, double_s + 20}) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 9), &x, &z);
        if (clear_of_lanes(x, z, 4))
            boards.push_back({x, 2.0f, z, 12, 3, "#ffe0c0#@sprites/banner_race.png"});
    }
    if (!write_text(dir + "billboards", billboards_text(boards))) return 0;

    // ---- decals: ridden-in tyre marks along the racing line and the chequered finish line.
    int decal_count = 0;
    std::string decals = tyre_mark_decals(loop, 10, 30, &decal_count);
    PathPoint fin = path_at(loop.path, finish_s);
    // The finish line's long side runs across the straight.
    decals += strf("[%f %f] %f %f %f %s\n", fin.x, fin.z, std::atan2(-fin.dx, -fin.dz), 4.0f, 7.0f,
                   "@stadium/finishline.png");
    decal_count++;
    if (!write_text(dir + "decals", decals) ||
        !write_canvas_png(dir + "finishline.png", paint_finishline(256, 32), 4))
        return 0;

    // ---- flaggers: the starter beside the gate, the lap board at the finish, and gate
    // flaggers that warn of riders down behind the blind landings.
    std::string fl;
    {
        float x1, z1, x2, z2;
        // The starter stands beside the gate's left end, in front of the riders' view, and
        // walks further off when the gate drops.
        lane_point(chute, gate_s + 10, -(68 + 6), &x1, &z1);
        lane_point(chute, gate_s + 16, -(68 + 14), &x2, &z2);
        fl +=
            strf("[%f %f %f] [%f %f %f] %f %f %f\n", x1, 3.0f, z1, x2, 3.0f, z2, 3.0f, 6.0f, 3.0f);
        for (int k = 1; k <= 5; k++) fl += strf("@flaggers/start%d.png\n", k);
        float lx, lz;
        lane_point(loop, finish_s, -(14 + 8), &lx, &lz);
        fl += strf("[%f %f %f] %f %f\n", lx, 3.0f, lz, 3.0f, 6.0f);
        for (int k = 1; k <= 4; k++) fl += strf("@flaggers/lap%d.png\n", k);
    }
    int gate_flaggers = 0;
    for (float s : {rhythm[1] + 30, mound_s + 70, double_s + 30}) {
        fl += gate_flagger_text(g, loop, s, -(14 + 7), 160);
        gate_flaggers++;
    }
    if (!write_text(dir + "flaggers", fl)) return 0;

    // ---- surfaces, lighting, title and map.
    std::vector<SurfaceDef> surf = surfaces();
    if (!write_text(dir + "tileinfo", tileinfo_text(surf))) return 0;
    std::string lighting =
        lighting_text(light,
                      "sun_color [ 0.8 0.77 0.7 ]\nambient [ 0.46 0.47 0.52 ]\n"
                      "global_ambient [ 0.2 0.2 0.2 ]\n"
                      "sky_n @sky-n.ppm\nsky_e @sky-e.ppm\nsky_s @sky-s.ppm\nsky_w @sky-w.ppm\n"
                      "sky_u @sky-u.ppm\nsky_env @sky-env.ppm\n"
                      "flare_element [ 0 1 ] [ 1 0.96 0.85 ] 3 @flare_glow.png\n"
                      "flare_element [ 0.4 0.4 ] [ 0.6 0.8 1 ] 0.6 @flare_ring.png\n"
                      "flare_element [ 0.9 0.25 ] [ 1 0.7 0.5 ] 0.35 @flare_disc.png\n",
                      "fog [ 0.75 0.78 0.85 ] 0.0005\n");
    if (!write_text(dir + "lighting", lighting)) return 0;
    if (!write_text(dir + "desc", "Stadium Cross\n")) return 0;
    float extent = t.spacing * 2 * t.tiles;
    if (!write_canvas_png(
            dir + "map.png",
            paint_track_map(plan.lanes, extent, gate_line.x, gate_line.z, fin.x, fin.z), 4))
        return 0;

    // ---- what the tests compare with (the same kinds of lines as Rabbit Hill's).
    track_summary_fill(sum, "stadium", t, loop, g, surf.size(), boards.size(), statues.size(),
                       gate_flaggers, decal_count);
    sum->extra.push_back(strf("finish %f %f", fin.x, fin.z));
    auto feature = [&](const char* kind, float s0, float s1) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        sum->extra.push_back(strf("feature %s %f %f %f %f", kind, a.x, a.z, b.x, b.z));
    };
    feature("double", rhythm[0], rhythm[0] + 31);
    feature("triple", rhythm[1], rhythm[1] + 42);
    feature("double", rhythm[2], rhythm[2] + 31);
    feature("rhythm", rhythm[0], rhythm_end);
    feature("whoops", whoops_s, whoops_s + whoops * whoop_spacing);
    feature("stepup", mound_s + 8, mound_s + 40);    // from the lip to the middle of the deck
    feature("stepdown", mound_s + 62, mound_s + 92); // from the edge to the landing's foot
    feature("tabletop", table_s, table_s + 33);
    feature("tabletop", table2_s, table2_s + 33);
    feature("double", double_s, double_s + 36);
    auto area = [&](float s0, float s1, float height) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        float w =
            std::max(lane_value(loop, loop.half_width, s0), lane_value(loop, loop.half_width, s1));
        sum->extra.push_back(
            strf("area %f %f %f %f %f", a.x, a.z, b.x, b.z, w + std::max(7.0f, 3 * height) + 4));
    };
    area(rhythm[0] - 4, rhythm_end + 4, 4.2f);
    area(whoops_s - 4, whoops_s + whoops * whoop_spacing + 4, whoop_height);
    area(mound_s - 4, mound_s + 94, 7);
    area(table_s - 4, table_s + 37, 5);
    area(table2_s - 4, double_s + 40, 5);
    for (int turn : {1, 3, 9}) {
        float s = (start_of(turn) + m[(size_t)turn]) / 2, w = lane_value(loop, loop.half_width, s);
        float outside = path_at(loop.path, s).curve > 0 ? -1.0f : 1.0f;
        float xi, zi, xo, zo;
        lane_point(loop, s, -outside * w, &xi, &zi);
        lane_point(loop, s, outside * w, &xo, &zo);
        sum->extra.push_back(strf("berm %f %f %f %f", xi, zi, xo, zo));
    }
    {
        float s = (start_of(7) + m[7]) / 2, w = lane_value(loop, loop.half_width, s);
        float outside = path_at(loop.path, s).curve > 0 ? -1.0f : 1.0f;
        float xi, zi, xo, zo;
        lane_point(loop, s, -outside * w, &xi, &zi);
        lane_point(loop, s, outside * w, &xo, &zo);
        sum->extra.push_back(strf("offcamber %f %f %f %f", xi, zi, xo, zo));
    }
    return 1;
}
