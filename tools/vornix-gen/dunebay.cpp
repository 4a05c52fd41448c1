// "dunebay": Dune Bay, a sand motocross track among beach dunes at sunset. From a 40-slot gate
// on a concrete pad by the beach a long start straight runs into a wide bermed right hairpin;
// then a tabletop, a bermed left hairpin, a double and a step-up on the climb onto the big
// dune, whoops along its crest, an off-camber right falling off its shoulder, a step-down off
// the crest, two bermed hairpins, a double and a tabletop down the long descent, a bermed right
// onto the shore, the creek splash on the wet sand, the finish line and a flat right onto the
// start straight where the chute joins it.
//
// Sand is slow and loose: the robots' teacher slows to about 25 ft/s before each crest and
// leaves the lips at 18 to 24 ft/s at race pace, far flatter than the faces, so the jumps are
// modest (4 to 5 ft high, take-off faces at 27 to 32 degrees) with landings that start close to
// their lips and fall at 12 to 14 degrees.
#include <algorithm>
#include <cmath>

#include "track.h"

namespace {

enum Surface : uint8_t { DUNEGRASS, SAND, WETSAND, WATER, CONCRETE, SURFACE_COUNT };

// The creek winds south into the sea across the shore straight; inland of the shore it is dry.
float creek_distance(float x, float z) {
    return std::fabs(x - (380 + 20 * std::sin(z / 80)));
}
const float CREEK_FROM = 650, CREEK_FULL = 700; // where its bed starts cutting in (z)

// The dune at the top of the course, the dune field around it, and the beach falling into the
// sea along the south edge of the field.
float ground(float x, float z) {
    float ridge = 1 - std::fabs(fbm2(x / 160, z / 110, 4, 31) * 2 - 1);
    float dunes = 4 + 5 * ridge * ridge + 1.5f * fbm2(x / 40, z / 40, 2, 32);
    float bx = (x - 640) / 170, bz = (z - 130) / 150;
    float big = 20 * std::exp(-(bx * bx + bz * bz) / 2);
    float h = lerpf(dunes + big, -2.0f, smoothstepf(860, 970, z));
    h -= 3.0f * (1 - smoothstepf(10, 28, creek_distance(x, z))) *
         smoothstepf(CREEK_FROM, CREEK_FULL, z);
    return h;
}

int off_track(float x, float z) {
    if (ground(x, z) < -0.5f || (creek_distance(x, z) < 13 && z > CREEK_FULL)) return WATER;
    if (z > 850) return WETSAND;
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
    // ---- the plan: a loop that starts where the chute joins it, and the chute.
    Lane loop, chute;
    lane_begin(&loop, 170, 680, 0, -1);
    lane_straight(&loop, 320); // S1 start straight
    lane_arc(&loop, 70, 180);  // T1 wide bermed right hairpin
    lane_straight(&loop, 180); // S2 tabletop
    lane_arc(&loop, 55, -180); // T2 bermed left hairpin
    lane_straight(&loop, 400); // S3 the climb: a double and a step-up
    lane_arc(&loop, 60, 90);   // T3 bermed right onto the crest
    lane_straight(&loop, 250); // S4 whoops along the crest
    lane_arc(&loop, 60, 90);   // T4 off-camber right off the dune's shoulder
    lane_straight(&loop, 220); // S5 the step-down off the crest
    lane_arc(&loop, 55, 180);  // T5 bermed right hairpin
    lane_straight(&loop, 120); // S6 back up the dune
    lane_arc(&loop, 55, -180); // T6 bermed left hairpin on the crest
    lane_straight(&loop, 440); // S7 the long descent: a double and a tabletop
    lane_arc(&loop, 60, 90);   // T7 bermed right onto the shore
    lane_straight(&loop, 280); // S8 the shore: the creek splash, the finish line
    lane_arc(&loop, 60, 90);   // T8 flat right onto the start straight, where the chute joins
    lane_finish(&loop, 1, 15, SAND);
    const std::vector<float>& m = loop.marks;
    auto start_of = [&](int section) { return section == 0 ? 0.0f : m[(size_t)section - 1]; };

    lane_begin(&chute, 170, 910, 0, -1);
    lane_straight(&chute, 230);
    lane_finish(&chute, 0, 18, SAND);
    const float gate_s = 25; // the gate line; the pad lies behind it

    // ---- widths, surfaces, berms and features of the loop.
    for (int straight = 0; straight < 16; straight += 2)
        lane_set_width(&loop, start_of(straight), m[(size_t)straight], 16);
    lane_set_width(&loop, 0, m[0], 18);
    // The first turn takes the whole gate at once: wide, and widening into it from the straight.
    for (int k = (int)m[0] - 120; k <= (int)m[1] + 40; k++) {
        float in = smoothstepf(m[0] - 120, m[0], (float)k);
        float out_of = 1 - smoothstepf(m[1], m[1] + 40, (float)k);
        loop.half_width[(size_t)lane_index(loop, (float)k)] = lerpf(18, 26, std::min(in, out_of));
    }
    lane_set_surface(&loop, start_of(14), m[14], WETSAND);
    lane_set_berm(&loop, start_of(1) - 15, m[1] + 15, 6.0f, 30);
    lane_set_berm(&loop, start_of(3) - 10, m[3] + 10, 5.0f, 25);
    lane_set_berm(&loop, start_of(5) - 10, m[5] + 10, 4.0f, 20);
    lane_set_berm(&loop, start_of(9) - 10, m[9] + 10, 5.0f, 25);
    lane_set_berm(&loop, start_of(11) - 10, m[11] + 10, 5.0f, 25);
    lane_set_berm(&loop, start_of(13) - 10, m[13] + 10, 4.0f, 20);
    // The right over the dune's shoulder leans out, the way the dune falls.
    lane_set_camber(&loop, start_of(7) - 10, m[7] + 10, 2.2f, 20);
    lane_base_from_ground(&loop, ground, 50);
    // Jumps as (distance, height) knots: take-off face, lip, the jump's body, landing. The
    // teacher meets a crest at 25 ft/s at race pace and loses speed up the face, so the bikes
    // leave the lips at 18 to 24 ft/s and far flatter than the faces: they fly 10 to 18 ft and
    // come down 1 to 3 ft below the lip. The landings start close to the lips, at about their
    // height, and run long enough for the fastest of them.
    // A tabletop: a 4.5 ft face at 29 degrees, a 4 ft table, a 20 ft landing at 13 degrees.
    const std::vector<float> tabletop = {0, 0, 8, 4.5f, 12, 4.5f, 32, 0};
    const std::vector<float> big_table = {0, 0, 9, 5, 13, 5, 36, 0};
    // A double: 31 degrees up to a 4 ft lip, 9.3 ft from the lip to the landing's top (a
    // little lower), a 14.5 ft landing at 15 degrees; its inner faces fall and rise at 35
    // degrees.
    const std::vector<float> double_jump = {0,     0,    6.7f, 4,    7.7f,  4,    12.2f, 0.8f,
                                            12.7f, 0.8f, 17,   3.8f, 18.5f, 3.8f, 33,    0};
    // A step-up: a 5 ft kicker (32 degrees) over a shallow gap onto a deck whose edge stands
    // half a foot below the lip and which rises on to 2.5 ft above it, then runs out at 7
    // degrees. The gap's sides are gentle: a slow rider who drops into it rides out.
    const std::vector<float> step_up = {0,     0,    8,     5,    9,  5,    13,  2.8f,
                                        14.5f, 2.8f, 18.5f, 4.5f, 45, 7.5f, 110, 0};
    // A step-down: a ramp to a kicker on the crest, then a landing starting below the lip and
    // running down the dune's face.
    const std::vector<float> step_down = {0, 0, 30, 4, 38, 8, 41, 8, 47, 4.5f, 51, 5, 86, 0};
    const float double_s = start_of(2) + 50;
    const float table2_s = start_of(4) + 80, step_up_s = start_of(4) + 220;
    const float whoops_s = start_of(6) + 60;
    const int whoops = 10;
    const float whoop_spacing = 12, whoop_height = 1.5f;
    const float step_down_s = start_of(8) + 20;
    const float table3_s = start_of(12) + 90, table4_s = start_of(12) + 260;
    const float double2_s = start_of(14) + 25;
    // The whoops are cut into a graded stretch of the crest: straight from end to end, so that
    // each of them stands out of the ground by its own height rather than riding the dune's top.
    {
        float a = whoops_s - 30, b = whoops_s + whoops * whoop_spacing + 30;
        float ha = lane_value(loop, loop.base, a), hb = lane_value(loop, loop.base, b);
        for (int k = (int)std::ceil(a); k <= (int)std::floor(b); k++)
            loop.base[(size_t)lane_index(loop, (float)k)] = lerpf(ha, hb, (k - a) / (b - a));
    }
    lane_add_profile(&loop, double_s, double_jump);
    lane_add_profile(&loop, table2_s, tabletop);
    lane_add_profile(&loop, step_up_s, step_up);
    lane_add_bumps(&loop, whoops_s, whoops, whoop_spacing, whoop_height);
    lane_add_profile(&loop, step_down_s, step_down);
    lane_add_profile(&loop, table3_s, big_table);
    lane_add_profile(&loop, table4_s, tabletop);
    lane_add_profile(&loop, double2_s, double_jump);
    // The creek crosses the shore straight where its line meets the straight's.
    const float shore_z = path_at(loop.path, start_of(14)).z;
    const float creek_s =
        start_of(14) + (path_at(loop.path, start_of(14)).x - (380 + 20 * std::sin(shore_z / 80)));
    // Gently, so that the bikes splash through rather than brake for a crest at its rim.
    lane_add_profile(&loop, creek_s - 35, {0, 0, 25, -1, 45, -1, 70, 0});
    lane_set_surface(&loop, creek_s - 16, creek_s + 16, WATER);
    const float finish_s = start_of(14) + 220;

    // ---- the chute: a concrete pad behind the gate, then sand narrowing into the loop.
    for (int k = 0; k < (int)chute.base.size(); k++) {
        float s = (float)k;
        chute.half_width[(size_t)k] = s < 70 ? 68 : lerpf(68, 18, smoothstepf(70, 220, s));
    }
    lane_set_surface(&chute, 0, gate_s - 1, CONCRETE);
    PathPoint gate_line = path_at(chute.path, gate_s);
    float pad = ground(gate_line.x, gate_line.z);
    for (size_t k = 0; k < chute.base.size(); k++)
        chute.base[k] = lerpf(pad, loop.base[0], smoothstepf(60, chute.path.length, (float)k));

    // ---- the ground.
    TerrainGen t;
    terrain_gen_init(&t, 8, 2.0f);
    NearField near;
    FieldPlan plan;
    plan.lanes = {&loop, &chute};
    plan.ground = ground;
    plan.off_track_surface = off_track;
    plan.off_surface = DUNEGRASS;
    plan.shoulder = 26;
    plan.shoulder_max = 45;
    field_build(&t, &near, plan);
    terrain_gen_range(&t);
    // A low sun over the sea: long shadows behind every dune and jump.
    Lighting light = {{-0.6f, 0.35f, 0.55f}, {0.95f, 0.72f, 0.5f}, {0.40f, 0.37f, 0.45f}};
    float len = std::sqrt(0.6f * 0.6f + 0.35f * 0.35f + 0.55f * 0.55f);
    for (float& v : light.sun) v /= len;
    terrain_gen_shadows(&t, light);
    terrain_gen_shading(&t, light);
    if (!terrain_gen_write(t, dir, nullptr, &sum->heights_digest)) return 0;
    float extent = t.spacing * 2 * t.tiles;

    // ---- start slots and timing gates.
    GateSet g;
    start_slots_build(&g, chute, gate_s, 40, 1); // the first turn is a right-hand hairpin
    for (float s : {110.0f, 200.0f}) {
        PathPoint p = path_at(chute.path, s);
        float w = lane_value(chute, chute.half_width, s);
        g.gates.push_back({w + 10, p.x, terrain_gen_height(t, p.x, p.z), p.z, p.dx, 0, p.dz, -1});
    }
    gates_build(&g, loop, t, finish_s, 0, 100, 3, {0, 1 + 100000});
    if (!write_text(dir + "timing_gates", timing_gates_text(g))) return 0;

    // ---- statues: both edges lined all the way round: tuff blocks along the straights and
    // the turns' insides, hay bales round the outsides of the bermed turns.
    std::vector<Statue> statues;
    auto place = [&](const Lane& l, float s, float d, const char* what) {
        PathPoint p = path_at(l.path, s);
        float x, z;
        lane_point(l, s, d, &x, &z);
        std::string name = what;
        statues.push_back({x, 0, z, std::atan2(-p.dz, p.dx), "@" + name + ".jm",
                           "@" + name + ".png", "@" + name + ".shp"});
    };
    // `beyond` feet outside the lane's edge on the given side (> 0 right), every step feet.
    auto line = [&](float s0, float s1, float step, float side, float beyond, const char* what) {
        for (float s = s0; s <= s1; s += step)
            place(loop, s, side * (lane_value(loop, loop.half_width, s) + beyond), what);
    };
    for (int straight = 0; straight < 16; straight += 2)
        for (float side : {-1.0f, 1.0f})
            line(start_of(straight) + 3, m[(size_t)straight] - 3, 10, side, 3, "tuffblock");
    for (int turn = 1; turn < 16; turn += 2) {
        float right = path_at(loop.path, start_of(turn) + 5).curve > 0 ? 1.0f : -1.0f;
        // The inside of a right turn is on the right.
        line(start_of(turn) + 2, m[(size_t)turn] - 2, 7, right, 2, "tuffblock");
        if (turn == 7 || turn == 15) // off camber, or flat: the outside lined as closely
            line(start_of(turn), m[(size_t)turn], 7, -right, 3, "tuffblock");
        else
            line(start_of(turn), m[(size_t)turn], 9, -right, 7, "haybale");
    }
    for (float side : {-1.0f, 1.0f})
        for (float s = 70; s <= 200; s += 12) {
            float w = lane_value(chute, chute.half_width, s) + 4;
            place(chute, s, side * w, "haybale");
        }
    statues_off_lanes(&statues, plan.lanes, 1.0f);
    if (!write_text(dir + "statues", statues_text(statues))) return 0;

    // ---- billboards: palms and beach scrub, banners and spectators, arrow boards. Nothing
    // stands on a lane's riding surface or its edge markers.
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
    scatter_trees(&boards, near, plan.lanes, extent, 120, 24,
                  {"@sprites/palm.png", "@sprites/palm.png", "@sprites/bush.png"}, 777);
    // Banners along the start straight's outside, the spectators behind them.
    for (float s = 30; s < m[0] - 30; s += 60) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 9), &x, &z);
        if (clear_of_lanes(x, z, 4))
            boards.push_back({x, 2.0f, z, 12, 3,
                              s < 150 ? "@sprites/banner_vornix.png" : "@sprites/banner_race.png"});
        lane_point(loop, s + 30, -(lane_value(loop, loop.half_width, s + 30) + 18), &x, &z);
        if (clear_of_lanes(x, z, 8)) boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
    }
    // Spectators round the outside of the first turn, behind its hay bales, and on the beach
    // side of the finish line.
    for (float s = start_of(1) + 10; s < m[1] - 10; s += 20) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 20), &x, &z);
        if (clear_of_lanes(x, z, 8)) boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
    }
    for (float s = finish_s - 60; s <= finish_s + 40; s += 20) {
        float x, z;
        lane_point(loop, s, -(lane_value(loop, loop.half_width, s) + 18), &x, &z);
        if (clear_of_lanes(x, z, 8)) boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
    }
    // Spectators and tinted banners beside the jumps, on the side away from the next lane.
    for (float s : {double_s + 15, table2_s + 15, step_up_s + 20, step_down_s + 45, table3_s + 20,
                    table4_s + 20, double2_s + 20}) {
        for (float side : {-1.0f, 1.0f}) {
            float x, z, w = lane_value(loop, loop.half_width, s);
            lane_point(loop, s, side * (w + 9), &x, &z);
            if (!clear_of_lanes(x, z, 8)) continue;
            boards.push_back({x, 2.0f, z, 12, 3, "#ffe0c0#@sprites/banner_race.png"});
            lane_point(loop, s, side * (w + 3 * 5.5f + 8), &x, &z);
            if (clear_of_lanes(x, z, 8))
                boards.push_back({x, 2.0f, z, 16, 4, "@sprites/crowd.png"});
            break;
        }
    }
    // Arrow boards announce every turn 50 feet ahead, on its outside where the eye looks.
    for (int turn = 1; turn < 16; turn += 2) {
        float s = start_of(turn) - 50;
        float right = path_at(loop.path, start_of(turn) + 5).curve > 0 ? 1.0f : -1.0f;
        float x, z;
        lane_point(loop, s, -right * (lane_value(loop, loop.half_width, s) + 7), &x, &z);
        if (clear_of_lanes(x, z, 4))
            boards.push_back({x, 2.2f, z, 4, 4,
                              right > 0 ? "@sprites/arrow_right.png" : "@sprites/arrow_left.png"});
    }
    if (!write_text(dir + "billboards", billboards_text(boards))) return 0;

    // ---- decals: ridden-in tyre marks along the racing line, darker than the fresh sand, the
    // chequered finish line across the shore straight and the name in the chute's sand.
    int decal_count = 0;
    std::string decals = tyre_mark_decals(loop, 10, 30, &decal_count);
    PathPoint fin = path_at(loop.path, finish_s);
    // The finish line's long side runs across the straight.
    decals += strf("[%f %f] %f %f %f %s\n", fin.x, fin.z, std::atan2(-fin.dx, -fin.dz), 4.0f, 8.0f,
                   "@dunebay/finishline.png");
    PathPoint logo = path_at(chute.path, 130);
    decals += strf("[%f %f] %f %f %f %s\n", logo.x, logo.z, 0.0f, 14.0f, 2.0f, "@dunebay/logo.png");
    decal_count += 2;
    if (!write_text(dir + "decals", decals) ||
        !write_canvas_png(dir + "finishline.png", paint_finishline(256, 32), 4) ||
        !write_canvas_png(dir + "logo.png", paint_logo_decal(256, 128), 4))
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
        lane_point(loop, finish_s, -(lane_value(loop, loop.half_width, finish_s) + 8), &lx, &lz);
        fl += strf("[%f %f %f] %f %f\n", lx, 3.0f, lz, 3.0f, 6.0f);
        for (int k = 1; k <= 4; k++) fl += strf("@flaggers/lap%d.png\n", k);
    }
    int gate_flaggers = 0;
    for (float s :
         {table2_s + 25, step_up_s + 30, step_down_s + 55, table3_s + 30, table4_s + 30}) {
        // On whichever side is clear of the other lanes.
        float w = lane_value(loop, loop.half_width, s) + 7, x, z;
        lane_point(loop, s, -w, &x, &z);
        float side = clear_of_lanes(x, z, 6) ? -1.0f : 1.0f;
        fl += gate_flagger_text(g, loop, s, side * w, 200);
        gate_flaggers++;
    }
    if (!write_text(dir + "flaggers", fl)) return 0;

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

    // ---- surfaces, lighting, title and map.
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

    // ---- what the tests compare with (the same kinds of lines as Rabbit Hill's).
    track_summary_fill(sum, "dunebay", t, loop, g, surf.size(), boards.size(), statues.size(),
                       gate_flaggers, decal_count);
    sum->extra.push_back(strf("finish %f %f", fin.x, fin.z));
    auto feature = [&](const char* kind, float s0, float s1) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        sum->extra.push_back(strf("feature %s %f %f %f %f", kind, a.x, a.z, b.x, b.z));
    };
    feature("double", double_s, double_s + 33);
    feature("tabletop", table2_s, table2_s + 32);
    feature("stepup", step_up_s + 9, step_up_s + 45); // from the lip to the top of the deck
    feature("whoops", whoops_s, whoops_s + whoops * whoop_spacing);
    feature("stepdown", step_down_s + 41, step_down_s + 86); // from the lip to the landing's foot
    feature("tabletop", table3_s, table3_s + 36);
    feature("tabletop", table4_s, table4_s + 32);
    feature("double", double2_s, double2_s + 33);
    auto area = [&](float s0, float s1, float height) {
        PathPoint a = path_at(loop.path, s0), b = path_at(loop.path, s1);
        float w =
            std::max(lane_value(loop, loop.half_width, s0), lane_value(loop, loop.half_width, s1));
        sum->extra.push_back(
            strf("area %f %f %f %f %f", a.x, a.z, b.x, b.z, w + std::max(7.0f, 3 * height) + 4));
    };
    area(double_s - 4, double_s + 37, 4);
    area(table2_s - 4, table2_s + 36, 4.5f);
    area(step_up_s - 4, step_up_s + 114, 7.5f);
    area(whoops_s - 4, whoops_s + whoops * whoop_spacing + 4, whoop_height);
    area(step_down_s - 4, step_down_s + 90, 8);
    area(table3_s - 4, table3_s + 40, 5);
    area(table4_s - 4, table4_s + 36, 4.5f);
    area(double2_s - 4, double2_s + 37, 4);
    // Across each bermed apex and the off-camber apex, edge to edge; the first turn first.
    auto across = [&](const char* kind, int turn) {
        float s = (start_of(turn) + m[(size_t)turn]) / 2, w = lane_value(loop, loop.half_width, s);
        float outside = path_at(loop.path, s).curve > 0 ? -1.0f : 1.0f;
        float xi, zi, xo, zo;
        lane_point(loop, s, -outside * w, &xi, &zi);
        lane_point(loop, s, outside * w, &xo, &zo);
        sum->extra.push_back(strf("%s %f %f %f %f", kind, xi, zi, xo, zo));
    };
    for (int turn : {1, 3, 9, 11}) across("berm", turn);
    across("offcamber", 7);
    const char* names[SURFACE_COUNT] = {"dunegrass", "sand", "wetsand", "water", "concrete"};
    for (float s : {creek_s, start_of(14) + 40, start_of(6) + 20}) {
        PathPoint p = path_at(loop.path, s);
        sum->extra.push_back(
            strf("section %s %f %f", names[loop.surface[(size_t)lane_index(loop, s)]], p.x, p.z));
    }
    return 1;
}
