// The generated tracks, checked file by file against their formats: the height field and its
// shading and shadows, surfaces and tile map, timing gates and laps, objects, lighting, decals;
// and found by the game's own track list.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "data/datafile.h"
#include "gamedata_util.h"
#include "platform/digest.h"
#include "track/tracklist.h"

namespace {

const double PI = 3.14159265358979323846;

// The game's height rule over the decoded samples (clamped indices, alternating diagonals).
double ground_height(const HeightField& hf, double x, double z) {
    auto H = [&](int i, int j) {
        i = std::clamp(i, 0, hf.samples - 1);
        j = std::clamp(j, 0, hf.samples - 1);
        return (double)hf.height(i, j);
    };
    double fx = x / hf.spacing, fz = z / hf.spacing;
    int i = (int)std::floor(fx), j = (int)std::floor(fz);
    double a = fx - i, b = fz - j;
    if (((i + j) & 1) == 0) {
        if (b <= a)
            return H(i + 1, j) + (1 - a) * (H(i, j) - H(i + 1, j)) +
                   b * (H(i + 1, j + 1) - H(i + 1, j));
        return H(i, j + 1) + a * (H(i + 1, j + 1) - H(i, j + 1)) +
               (1 - b) * (H(i, j) - H(i, j + 1));
    }
    if (a + b <= 1) return H(i, j) + a * (H(i + 1, j) - H(i, j)) + b * (H(i, j + 1) - H(i, j));
    return H(i + 1, j + 1) + (1 - a) * (H(i, j + 1) - H(i + 1, j + 1)) +
           (1 - b) * (H(i + 1, j) - H(i + 1, j + 1));
}

struct Lighting {
    double sun[3] = {1, 1, 1}, colour[3] = {1, 1, 1}, ambient[3] = {0.5, 0.5, 0.5};
    std::map<std::string, std::string> values;
};
Lighting lighting_read(const std::string& path) {
    Lighting l;
    for (const std::string& line : split_lines(read_file(path))) {
        std::string key = line.substr(0, line.find(' '));
        std::string rest = line.size() > key.size() ? line.substr(key.size() + 1) : "";
        l.values[key] = rest;
        double v[3];
        if (sscanf(rest.c_str(), " [ %lf %lf %lf ]", &v[0], &v[1], &v[2]) == 3) {
            double* dst = key == "sun_vector"  ? l.sun
                          : key == "sun_color" ? l.colour
                          : key == "ambient"   ? l.ambient
                                               : nullptr;
            if (dst) std::copy(v, v + 3, dst);
        }
    }
    double n = std::sqrt(l.sun[0] * l.sun[0] + l.sun[1] * l.sun[1] + l.sun[2] * l.sun[2]);
    for (double& v : l.sun) v /= n;
    return l;
}

// The sample shading rule, worked out here from the heights, the sun and the shadow amount.
void expected_shade(const HeightField& hf, const Lighting& l, int i, int j, int shadow,
                    int out[3]) {
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                   {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
    auto H = [&](int a, int b) {
        return (double)hf.height(std::clamp(a, 0, hf.samples - 1),
                                 std::clamp(b, 0, hf.samples - 1));
    };
    double c[3] = {i * (double)hf.spacing, H(i, j), j * (double)hf.spacing};
    double p[9][3];
    for (int k = 0; k < 8; k++) {
        p[k][0] = (i + ring[k][0]) * (double)hf.spacing - c[0];
        p[k][1] = H(i + ring[k][0], j + ring[k][1]) - c[1];
        p[k][2] = (j + ring[k][1]) * (double)hf.spacing - c[2];
    }
    std::copy(p[0], p[0] + 3, p[8]);
    double n[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        const double* a = p[k + 1];
        const double* b = p[k];
        double x[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0]};
        double len = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
        for (int q = 0; q < 3; q++) n[q] += x[q] / len;
    }
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    double light =
        std::clamp((n[0] * l.sun[0] + n[1] * l.sun[1] + n[2] * l.sun[2]) / len, 0.0, 1.0) *
        (1 - shadow / 255.0);
    for (int q = 0; q < 3; q++)
        out[q] = std::clamp((int)((l.colour[q] * light + l.ambient[q]) * 0.5 * 255), 0, 255);
}

// "tileinfo" per surface: its lines until "addtile".
struct SurfaceLines {
    std::string texture;
    int friction = 0, roll = 0, roosts = 0, splash = 0;
};
std::vector<SurfaceLines> tileinfo_read(const std::string& path) {
    static const std::set<std::string> keys = {
        "texture",    "count", "dig",  "slip_threshold", "slow_angle", "fast_angle", "slow_speed",
        "fast_speed", "size",  "grow", "drag",           "vscale",     "randomize",  "r",
        "g",          "b",     "a",    "fade_r",         "fade_g",     "fade_b",     "fade_a",
        "splash"};
    std::vector<SurfaceLines> out;
    SurfaceLines cur;
    for (const std::string& line : split_lines(read_file(path))) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "addtile") {
            out.push_back(cur);
            cur = SurfaceLines();
        } else if (key == "texture") {
            in >> cur.texture;
        } else if (key == "friction") {
            double c, s;
            EXPECT_TRUE((bool)(in >> c >> s)) << line;
            EXPECT_GE(c, 0);
            EXPECT_GT(s, 0);
            cur.friction++;
        } else if (key == "roll_resist") {
            double a, b, s;
            EXPECT_TRUE((bool)(in >> a >> b >> s)) << line;
            EXPECT_LE(a, b) << "deeper sinkage must not roll easier: " << line;
            cur.roll++;
        } else if (key == "roost") {
            cur.roosts++;
            std::string param;
            while (in >> param) {
                std::string k = param.substr(0, param.find('='));
                EXPECT_TRUE(keys.count(k)) << "unknown roost key " << k;
                if (k == "splash" && atof(param.c_str() + 7) != 0) cur.splash++;
            }
        } else {
            EXPECT_TRUE(key.empty()) << "unknown tileinfo line " << line;
        }
    }
    return out;
}

struct Gates {
    std::vector<std::vector<double>> slots; // x y z angle
    std::vector<std::vector<double>> gates; // r x y z dx dy dz
    std::vector<int> first, normal;
};
Gates gates_read(const std::string& path) {
    Gates g;
    std::vector<std::string> t = tokens(read_file(path));
    size_t k = 0;
    auto num = [&]() { return atof(t[k++].c_str()); };
    auto skip = [&](const char* s) {
        EXPECT_EQ(t[k], s);
        k++;
    };
    EXPECT_EQ(t[k++], "startinggate:");
    while (k < t.size() && t[k] == "[") {
        k++;
        double x = num(), y = num(), z = num();
        skip("]");
        g.slots.push_back({x, y, z, num()});
    }
    EXPECT_EQ(t[k++], "checkpoints:");
    while (k < t.size() && t[k] != "firstlap:") {
        double r = num();
        skip("[");
        double x = num(), y = num(), z = num();
        skip("]");
        skip("[");
        double dx = num(), dy = num(), dz = num();
        skip("]");
        g.gates.push_back({r, x, y, z, dx, dy, dz});
    }
    EXPECT_EQ(t[k++], "firstlap:");
    while (k < t.size() && t[k] != "normallap:") g.first.push_back(atoi(t[k++].c_str()));
    EXPECT_EQ(t[k++], "normallap:");
    while (k < t.size()) g.normal.push_back(atoi(t[k++].c_str()));
    return g;
}

int segment_count(const std::vector<int>& refs) {
    int n = 0;
    for (int r : refs) n += r < 100000;
    return n;
}

} // namespace

TEST(RabbitHill, HeightFieldHeaderSamplesAndSummary) {
    std::string d = generate({"rabbithill"});
    ASSERT_FALSE(d.empty());
    HeightField hf = heightfield_read(d + "rabbithill/terrain.hf");
    ASSERT_TRUE(hf.ok);
    EXPECT_EQ(hf.shift, 9);
    EXPECT_EQ(hf.samples, 1025); // 2 * 512 + 1: at least 128 ground tiles per side
    EXPECT_EQ(hf.spacing, (float)summary_number(d, "rabbithill", "spacing"));
    EXPECT_EQ(hf.min, (float)summary_number(d, "rabbithill", "min_height"));
    EXPECT_EQ(hf.max, (float)summary_number(d, "rabbithill", "max_height"));
    // The header bounds are the samples' own: both ends of the 16-bit range are near use.
    uint16_t lo = 65535, hi = 0;
    for (uint16_t v : hf.raw) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    double half_foot = 0.5 / (hf.max - hf.min) * 65535;
    EXPECT_LE(lo, half_foot);
    EXPECT_GE(hi, 65535 - half_foot);
    // The digest the loader logs at debug level 2 is the summary's.
    unsigned char dg[DIGEST_SIZE];
    digest_bytes(hf.raw_bytes.data(), hf.raw_bytes.size(), dg);
    EXPECT_EQ(digest_hex(dg), summary_value(d, "rabbithill", "heights_digest"));
    // Probe heights of the summary (jump tops, the finish) equal the file's within one step.
    int probes = 0;
    for (const std::string& l : split_lines(read_file(d + "summary.txt"))) {
        int i, j;
        float h;
        if (sscanf(l.c_str(), "probe %d %d %f", &i, &j, &h) != 3) continue;
        if (probes++ >= 4) break; // the first four belong to rabbithill
        EXPECT_NEAR(hf.height(i, j), h, (hf.max - hf.min) / 65535.0);
    }
    EXPECT_EQ(probes, 4);
    // A 1.5 to 2 km lap.
    double lap = summary_number(d, "rabbithill", "lap_length");
    EXPECT_GE(lap, 1500 / 0.3048);
    EXPECT_LE(lap, 2000 / 0.3048);
    EXPECT_LT(summary_number(d, "rabbithill", "loop_closure"), 0.01);
}

TEST(RabbitHill, ShadingFollowsTheSunOfTheLightingFile) {
    std::string d = generate({"rabbithill"});
    ASSERT_FALSE(d.empty());
    HeightField hf = heightfield_read(d + "rabbithill/terrain.hf");
    ASSERT_TRUE(hf.ok);
    Netpbm shade = netpbm_read(d + "rabbithill/shadingx2.ppm", "P6");
    Netpbm shadows = netpbm_read(d + "rabbithill/shadows.pgm", "P5");
    ASSERT_TRUE(shade.ok && shadows.ok);
    ASSERT_EQ(shade.width, hf.samples);
    ASSERT_EQ(shade.height, hf.samples);
    ASSERT_EQ(shade.pixels.size(), (size_t)hf.samples * hf.samples * 3);
    ASSERT_EQ(shadows.width, hf.samples);
    ASSERT_EQ(shadows.pixels.size(), (size_t)hf.samples * hf.samples);
    Lighting l = lighting_read(d + "rabbithill/lighting");
    // Every 97th sample, edges included, against the rule worked out here.
    int worst = 0;
    for (size_t at = 0; at < (size_t)hf.samples * hf.samples; at += 97) {
        int i = (int)(at % hf.samples), j = (int)(at / hf.samples);
        int amount = 255 - (uint8_t)shadows.pixels[at];
        int want[3];
        expected_shade(hf, l, i, j, amount, want);
        for (int q = 0; q < 3; q++)
            worst = std::max(worst, std::abs(want[q] - (uint8_t)shade.pixels[at * 3 + q]));
    }
    EXPECT_LE(worst, 1);
    // Shadows: some ground is shadowed, most is lit, and every fully shadowed sample (or a
    // neighbour, the edges being softened) has ground above the ray toward the sun.
    int shadowed = 0, checked = 0;
    double horiz = std::hypot(l.sun[0], l.sun[2]);
    for (int j = 1; j + 1 < hf.samples; j++)
        for (int i = 1; i + 1 < hf.samples; i++) {
            int amount = 255 - (uint8_t)shadows.pixels[(size_t)i + (size_t)hf.samples * j];
            shadowed += amount > 0;
            if (amount < 100 || (i * 7 + j * 13) % 7 != 0) continue;
            bool blocked = false;
            for (int dj = -1; dj <= 1 && !blocked; dj++)
                for (int di = -1; di <= 1 && !blocked; di++) {
                    double x = (i + di) * hf.spacing, z = (j + dj) * hf.spacing;
                    double y = hf.height(i + di, j + dj) + 0.25;
                    for (int s = 0; s < 4000 && y <= hf.max; s++) {
                        x += l.sun[0] / horiz * 0.5;
                        z += l.sun[2] / horiz * 0.5;
                        y += l.sun[1] / horiz * 0.5;
                        if (ground_height(hf, x, z) > y + 0.05) {
                            blocked = true;
                            break;
                        }
                    }
                }
            EXPECT_TRUE(blocked) << "sample " << i << "," << j
                                 << " is shadowed with nothing in the sun's way";
            checked++;
        }
    double fraction = shadowed / (double)(hf.samples * hf.samples);
    EXPECT_GT(fraction, 0.0005);
    EXPECT_LT(fraction, 0.25);
    EXPECT_GT(checked, 3);
}

TEST(RabbitHill, SurfacesAndTileMap) {
    std::string d = generate({"common", "rabbithill"});
    ASSERT_FALSE(d.empty());
    std::vector<SurfaceLines> s = tileinfo_read(d + "rabbithill/tileinfo");
    ASSERT_EQ((int)s.size(), (int)summary_number(d, "rabbithill", "surfaces"));
    std::map<std::string, int> by_name;
    for (size_t k = 0; k < s.size(); k++) {
        EXPECT_TRUE(png_header(data_path(d, s[k].texture)).ok) << s[k].texture;
        EXPECT_GE(s[k].friction, 2) << s[k].texture; // a curve, not a constant
        EXPECT_LE(s[k].friction, 8);
        EXPECT_GE(s[k].roll, 1);
        EXPECT_LE(s[k].roll, 8);
        EXPECT_LE(s[k].roosts, 4);
        std::string file = s[k].texture.substr(s[k].texture.rfind('/') + 1);
        by_name[file.substr(0, file.find('.'))] = (int)k;
    }
    for (const char* name : {"dirt", "hardpack", "sand", "mud", "grass", "concrete"})
        ASSERT_TRUE(by_name.count(name)) << name;
    EXPECT_GE(s[(size_t)by_name["mud"]].splash, 1) << "mud throws splash";
    EXPECT_EQ(s[(size_t)by_name["concrete"]].roosts, 0) << "concrete throws nothing";
    EXPECT_GE(s[(size_t)by_name["sand"]].roosts, 1);

    std::string tm = read_file(d + "rabbithill/tilemap");
    ASSERT_EQ(tm.size(), 512u * 512u);
    std::vector<int> count(s.size(), 0);
    for (char c : tm) {
        ASSERT_LT((uint8_t)c, s.size());
        count[(uint8_t)c]++;
    }
    for (size_t k = 0; k < s.size(); k++)
        EXPECT_GT(count[k], 0) << "surface " << k << " is never used";
    EXPECT_GT(count[(size_t)by_name["grass"]], (int)tm.size() / 2) << "grass off the track";
    // The riders stand on the concrete pad just behind the gate line.
    Gates g = gates_read(d + "rabbithill/timing_gates");
    for (const auto& slot : g.slots) {
        double x = slot[0] + 2 * std::sin(slot[3]), z = slot[2] + 2 * std::cos(slot[3]);
        int ti = (int)std::floor(x / 4), tj = (int)std::floor(z / 4); // tiles are 2 samples of 2 ft
        EXPECT_EQ((uint8_t)tm[(size_t)ti + 512u * tj], by_name["concrete"]);
        // ... and face dirt ahead of the gate.
        x = slot[0] - 12 * std::sin(slot[3]);
        z = slot[2] - 12 * std::cos(slot[3]);
        EXPECT_EQ((uint8_t)tm[(size_t)std::floor(x / 4) + 512u * (size_t)std::floor(z / 4)],
                  by_name["dirt"]);
    }
}

namespace {

// The timing gates and laps of a generated track with a 40-slot gate against its summary: laps
// that end at the finish, gates close enough that a short cut skips one and never overlapping
// out of order, and the slots numbered from the middle of the gate outward, the inside of the
// first turn (its first "berm" line) first.
void check_gates_and_slots(const std::string& track) {
    std::string d = generate({track});
    ASSERT_FALSE(d.empty());
    Gates g = gates_read(d + track + "/timing_gates");
    EXPECT_EQ(g.slots.size(), 40u);
    EXPECT_EQ((int)g.gates.size(), (int)summary_number(d, track, "gates"));
    EXPECT_EQ((int)g.first.size(), (int)summary_number(d, track, "first_lap"));
    EXPECT_EQ((int)g.normal.size(), (int)summary_number(d, track, "normal_lap"));
    EXPECT_EQ(segment_count(g.first), (int)summary_number(d, track, "first_segments"));
    EXPECT_EQ(segment_count(g.normal), (int)summary_number(d, track, "normal_segments"));
    int n = (int)g.gates.size();
    for (const std::vector<int>* list : {&g.first, &g.normal}) {
        EXPECT_GE(segment_count(*list), 1);
        EXPECT_LT(segment_count(*list), (int)list->size()) << "at least one intermediate gate";
        for (int r : *list) EXPECT_LT(r % 100000, n);
    }
    // Both lists end at the finish line; the first lap starts in the chute, gates the normal
    // lap never uses.
    EXPECT_EQ(g.first.back(), g.normal.back());
    std::set<int> normal_gates;
    for (int r : g.normal) normal_gates.insert(r % 100000);
    EXPECT_FALSE(normal_gates.count(g.first[0] % 100000));
    EXPECT_EQ((int)normal_gates.size(), (int)g.normal.size()) << "a gate listed twice in a lap";
    // Along the lap, neighbouring gates are close, so a short cut skips one; the chords add up
    // to nearly the lap length.
    double chords = 0;
    for (size_t k = 0; k < g.normal.size(); k++) {
        const auto& a = g.gates[(size_t)(g.normal[k] % 100000)];
        const auto& b = g.gates[(size_t)(g.normal[(k + 1) % g.normal.size()] % 100000)];
        double dist = std::hypot(a[1] - b[1], a[3] - b[3]);
        chords += dist;
        EXPECT_LT(dist, 150) << "gates " << k << " and " << k + 1 << " are far apart";
        EXPECT_NEAR(std::hypot(a[4], a[6]), 1.0, 1e-4);
        EXPECT_GT(a[0], 10);
        EXPECT_LT(a[0], 45);
    }
    EXPECT_GT(chords, 0.95 * summary_number(d, track, "lap_length"));
    // Gates that are not neighbours in the lap never overlap: passing one cannot count for
    // another further along.
    for (size_t a = 0; a < g.normal.size(); a++)
        for (size_t b = a + 2; b < g.normal.size(); b++) {
            if (a == 0 && b + 1 == g.normal.size()) continue;
            const auto& p = g.gates[(size_t)(g.normal[a] % 100000)];
            const auto& q = g.gates[(size_t)(g.normal[b] % 100000)];
            EXPECT_GT(std::hypot(p[1] - q[1], p[3] - q[3]), p[0] + q[0]) << a << " " << b;
        }
    // Start slots: side by side on one line, facing the same way, the angle within [-pi, pi].
    double mx = 0, mz = 0;
    for (const auto& slot : g.slots) {
        mx += slot[0] / g.slots.size();
        mz += slot[2] / g.slots.size();
    }
    double fx = -std::sin(g.slots[0][3]), fz = -std::cos(g.slots[0][3]); // facing
    double lx = -fz, lz = fx;                                            // to the right
    std::vector<double> across;
    for (size_t k = 0; k < g.slots.size(); k++) {
        EXPECT_LE(std::fabs(g.slots[k][3]), PI);
        EXPECT_EQ(g.slots[k][3], g.slots[0][3]);
        EXPECT_NEAR((g.slots[k][0] - mx) * fx + (g.slots[k][2] - mz) * fz, 0, 0.01) << k;
        across.push_back((g.slots[k][0] - mx) * lx + (g.slots[k][2] - mz) * lz);
    }
    // The race fills slots from 0: they start at the middle of the gate and work outward, so
    // "You alone" or a small field stands in the middle of the start straight...
    EXPECT_LT(std::fabs(across[0]), 3.3);
    for (size_t k = 1; k < across.size(); k++)
        EXPECT_GE(std::fabs(across[k]) + 1e-3, std::fabs(across[k - 1])) << k;
    EXPECT_GT(std::fabs(across.back()), 60);
    // ... slot 0 on the side the first turn goes (its apex, the middle of the first "berm"
    // line, lies that way from the gate) ...
    double bx0 = 0, bz0 = 0, bx1 = 0, bz1 = 0;
    for (const std::string& l : split_lines(read_file(d + "summary.txt")))
        if (sscanf(l.c_str(), "berm %lf %lf %lf %lf", &bx0, &bz0, &bx1, &bz1) == 4) break;
    EXPECT_GT(across[0] * (((bx0 + bx1) / 2 - mx) * lx + ((bz0 + bz1) / 2 - mz) * lz), 0);
    // ... and the slots, in order across the gate, stand 3.3 feet apart.
    std::sort(across.begin(), across.end());
    for (size_t k = 1; k < across.size(); k++) EXPECT_NEAR(across[k] - across[k - 1], 3.3, 0.01);
}

} // namespace

TEST(RabbitHill, TimingGatesLapsAndStartSlots) {
    check_gates_and_slots("rabbithill");
}

TEST(Stadium, TimingGatesLapsAndStartSlots) {
    check_gates_and_slots("stadium");
}

TEST(DuneBay, TimingGatesLapsAndStartSlots) {
    check_gates_and_slots("dunebay");
}

TEST(RabbitHill, ObjectsLightingTitleAndMap) {
    std::string d = generate({"common", "rabbithill"});
    ASSERT_FALSE(d.empty());
    const std::string t = d + "rabbithill/";
    // Statues: "[x y z] angle model texture shape", every file present.
    std::vector<std::string> st = tokens(read_file(t + "statues"));
    ASSERT_EQ(st.size() % 9, 0u);
    std::map<std::string, int> models;
    for (size_t k = 0; k < st.size(); k += 9) {
        EXPECT_EQ(st[k], "[");
        EXPECT_EQ(st[k + 4], "]");
        EXPECT_LT(std::fabs(atof(st[k + 5].c_str())), 3.25) << "statues follow the ground";
        for (int f = 6; f < 9; f++) EXPECT_TRUE(file_exists(data_path(d, st[k + f]))) << st[k + f];
        models[st[k + 6]]++;
    }
    EXPECT_EQ((int)(st.size() / 9), (int)summary_number(d, "rabbithill", "statues"));
    EXPECT_GT(models["@haybale.jm"], 20);
    EXPECT_GT(models["@tuffblock.jm"], 10);
    // Billboards: "[x y z] width height texture"; a "#rrggbb#" prefix tints.
    std::vector<std::string> bb = tokens(read_file(t + "billboards"));
    ASSERT_EQ(bb.size() % 8, 0u);
    int tinted = 0;
    for (size_t k = 0; k < bb.size(); k += 8) {
        std::string look = bb[k + 7];
        if (look[0] == '#') {
            ASSERT_EQ(look[7], '#');
            look = look.substr(8);
            tinted++;
        }
        EXPECT_TRUE(png_header(data_path(d, look)).ok) << look;
        EXPECT_GT(atof(bb[k + 5].c_str()), 0);
    }
    EXPECT_EQ((int)(bb.size() / 8), (int)summary_number(d, "rabbithill", "billboards"));
    EXPECT_GT(tinted, 0);
    // Flaggers: start (two positions, size, walk time, five textures), lap board (four
    // textures), then gate flaggers with four gate indices each.
    Gates g = gates_read(t + "timing_gates");
    std::vector<std::string> fl = tokens(read_file(t + "flaggers"));
    size_t k = 0;
    ASSERT_GE(fl.size(), 30u);
    EXPECT_EQ(fl[0], "[");
    EXPECT_EQ(fl[5], "[");
    k = 13;
    for (int q = 0; q < 5; q++) EXPECT_TRUE(png_header(data_path(d, fl[k++])).ok);
    EXPECT_EQ(fl[k], "[");
    k += 7;
    for (int q = 0; q < 4; q++) EXPECT_TRUE(png_header(data_path(d, fl[k++])).ok);
    int gate_flaggers = 0;
    while (k < fl.size()) {
        ASSERT_LE(k + 13, fl.size());
        EXPECT_EQ(fl[k], "[");
        int used = 0;
        for (int q = 0; q < 4; q++) {
            int gi = atoi(fl[k + 7 + q].c_str());
            EXPECT_GE(gi, -1);
            EXPECT_LT(gi, (int)g.gates.size());
            used += gi >= 0;
        }
        EXPECT_GE(used, 1);
        EXPECT_TRUE(png_header(data_path(d, fl[k + 11])).ok);
        EXPECT_TRUE(png_header(data_path(d, fl[k + 12])).ok);
        k += 13;
        gate_flaggers++;
    }
    EXPECT_EQ(gate_flaggers, (int)summary_number(d, "rabbithill", "gate_flaggers"));
    // Lighting: known keywords only, sky faces present, a sun flare.
    static const std::set<std::string> keys = {
        "sun_vector",   "sun_color", "ambient", "global_ambient", "sky_n",         "sky_e",
        "sky_s",        "sky_w",     "sky_u",   "sky_env",        "flare_element", "flare_point",
        "flare_vector", "fog"};
    Lighting l = lighting_read(t + "lighting");
    for (const auto& kv : l.values) EXPECT_TRUE(keys.count(kv.first)) << kv.first;
    for (const char* sky : {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"})
        EXPECT_TRUE(file_exists(data_path(d, l.values[sky]))) << sky;
    EXPECT_TRUE(l.values.count("flare_vector"));
    EXPECT_GT(l.sun[1], 0.3) << "the sun is above the horizon";
    EXPECT_EQ(read_file(t + "desc"), "Rabbit Hill\n");
    PngHeader map = png_header(t + "map.png");
    EXPECT_TRUE(map.ok && map.width == 256 && map.height == 256 && map.colour_type == 6);
}

// A medium sand lap among the dunes: the creek's water crossing the track and the sea beside
// it, wet sand along the shore, the climb onto the big dune, tyre marks and the finish line
// painted on the sand, and the track's own sunset sky.
TEST(DuneBay, SandLapWithCreekShoreDecalsAndSunsetSky) {
    std::string d = generate({"common", "dunebay"});
    ASSERT_FALSE(d.empty());
    const std::string t = d + "dunebay/";
    HeightField hf = heightfield_read(t + "terrain.hf");
    ASSERT_TRUE(hf.ok);
    EXPECT_EQ(hf.shift, 8);
    EXPECT_EQ(read_file(t + "tilemap").size(), 256u * 256u);
    double lap = summary_number(d, "dunebay", "lap_length");
    EXPECT_GE(lap, 900 / 0.3048);
    EXPECT_LE(lap, 1300 / 0.3048);
    EXPECT_LT(summary_number(d, "dunebay", "loop_closure"), 0.01);
    std::vector<SurfaceLines> s = tileinfo_read(t + "tileinfo");
    ASSERT_EQ((int)s.size(), (int)summary_number(d, "dunebay", "surfaces"));
    int water = -1, sand = -1, wet = -1;
    for (size_t k = 0; k < s.size(); k++) {
        EXPECT_TRUE(png_header(data_path(d, s[k].texture)).ok) << s[k].texture;
        if (s[k].texture.find("/water.") != std::string::npos) water = (int)k;
        if (s[k].texture.find("/sand.") != std::string::npos) sand = (int)k;
        if (s[k].texture.find("/wetsand.") != std::string::npos) wet = (int)k;
    }
    ASSERT_GE(water, 0);
    ASSERT_GE(sand, 0);
    ASSERT_GE(wet, 0);
    EXPECT_GE(s[(size_t)water].splash, 1);
    std::string tm = read_file(t + "tilemap");
    EXPECT_GT(std::count(tm.begin(), tm.end(), (char)water), 100);
    EXPECT_GT(std::count(tm.begin(), tm.end(), (char)sand), 4000);
    EXPECT_GT(std::count(tm.begin(), tm.end(), (char)wet), 1000);
    for (char c : tm) ASSERT_LT((uint8_t)c, s.size());
    // The water lies below the sand round it: the creek's bed and the sea.
    const double tile = 2 * hf.spacing;
    const int n = 1 << hf.shift;
    double water_height = 0, sand_height = 0;
    long waters = 0, sands = 0;
    for (int tj = 0; tj < n; tj++)
        for (int ti = 0; ti < n; ti++) {
            uint8_t type = (uint8_t)tm[(size_t)ti + (size_t)n * tj];
            double h = ground_height(hf, (ti + 0.5) * tile, (tj + 0.5) * tile);
            if (type == water) water_height += h, waters++;
            if (type == sand) sand_height += h, sands++;
        }
    EXPECT_LT(water_height / waters, sand_height / sands - 2);
    // Elevation: the lap climbs over the dune, well above the start and the shore.
    Gates g = gates_read(t + "timing_gates");
    ASSERT_EQ(g.slots.size(), 40u);
    double low = 1e9, high = -1e9;
    for (int r : g.normal) {
        double h = g.gates[(size_t)(r % 100000)][2];
        low = std::min(low, h);
        high = std::max(high, h);
    }
    EXPECT_GT(high - low, 12) << "a lap over the dune";
    // Decals: "[x z] angle size aspect texture", inside the field, textures with alpha; tyre
    // marks along the whole lap and the finish line.
    std::vector<std::string> dc = tokens(read_file(t + "decals"));
    ASSERT_EQ(dc.size() % 8, 0u);
    EXPECT_EQ((int)(dc.size() / 8), (int)summary_number(d, "dunebay", "decals"));
    double extent = 2.0 * (1 << hf.shift) * hf.spacing;
    int ruts = 0;
    for (size_t k = 0; k < dc.size(); k += 8) {
        EXPECT_EQ(dc[k], "[");
        EXPECT_EQ(dc[k + 3], "]");
        double x = atof(dc[k + 1].c_str()), z = atof(dc[k + 2].c_str());
        EXPECT_TRUE(x > 0 && x < extent && z > 0 && z < extent);
        EXPECT_GT(atof(dc[k + 5].c_str()), 0);
        EXPECT_GT(atof(dc[k + 6].c_str()), 0);
        PngHeader h = png_header(data_path(d, dc[k + 7]));
        EXPECT_TRUE(h.ok && h.colour_type == 6) << dc[k + 7];
        ruts += dc[k + 7] == "@sprites/ruts.png";
    }
    EXPECT_GT(ruts * 40, lap) << "tyre marks all the way round";
    EXPECT_NE(read_file(t + "decals").find("finishline.png"), std::string::npos);
    Lighting l = lighting_read(t + "lighting");
    for (const char* sky : {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"}) {
        EXPECT_EQ(l.values[sky].rfind("@dunebay/", 0), 0u) << sky;
        EXPECT_TRUE(png_header(data_path(d, l.values[sky])).ok) << sky;
    }
    EXPECT_LT(l.sun[1], 0.5) << "a low evening sun";
    EXPECT_GT(l.colour[0], l.colour[2]) << "warm sunset light";
    EXPECT_EQ(read_file(t + "desc"), "Dune Bay\n");
}

// A compact lap on a flat stadium floor: dirt against the concrete around it, stands rising
// round the floor with spectators in them, and both edges of the track marked at every gate.
TEST(Stadium, CompactLapOnAStadiumFloorWithStandsMarkedEdgesAndAWalledFloor) {
    std::string d = generate({"common", "stadium"});
    ASSERT_FALSE(d.empty());
    const std::string t = d + "stadium/";
    HeightField hf = heightfield_read(t + "terrain.hf");
    ASSERT_TRUE(hf.ok);
    EXPECT_EQ(hf.shift, 8);
    double lap = summary_number(d, "stadium", "lap_length");
    EXPECT_GE(lap, 400 / 0.3048);
    EXPECT_LE(lap, 700 / 0.3048);
    EXPECT_LT(summary_number(d, "stadium", "loop_closure"), 0.01);
    EXPECT_EQ(read_file(t + "desc"), "Stadium Cross\n");
    std::vector<SurfaceLines> s = tileinfo_read(t + "tileinfo");
    ASSERT_EQ((int)s.size(), (int)summary_number(d, "stadium", "surfaces"));
    int dirt = -1, concrete = -1;
    for (size_t k = 0; k < s.size(); k++) {
        EXPECT_TRUE(png_header(data_path(d, s[k].texture)).ok) << s[k].texture;
        if (s[k].texture.find("/dirt.") != std::string::npos) dirt = (int)k;
        if (s[k].texture.find("/concrete.") != std::string::npos) concrete = (int)k;
    }
    ASSERT_GE(dirt, 0);
    ASSERT_GE(concrete, 0);
    std::string tm = read_file(t + "tilemap");
    ASSERT_EQ(tm.size(), 256u * 256u);
    EXPECT_GT(std::count(tm.begin(), tm.end(), (char)concrete), (long)tm.size() / 2);
    EXPECT_GT(std::count(tm.begin(), tm.end(), (char)dirt), 2000);
    // The track lies on the floor; the stands around it rise well above it, and the crowd
    // stands on them, outside every gate's reach.
    Gates g = gates_read(t + "timing_gates");
    double floor = ground_height(hf, g.slots[0][0], g.slots[0][2]);
    int crowd = 0;
    for (const std::string& line : split_lines(read_file(t + "billboards"))) {
        double x, y, z, w, h;
        char look[256];
        if (sscanf(line.c_str(), " [%lf %lf %lf] %lf %lf %255s", &x, &y, &z, &w, &h, look) != 6)
            continue;
        EXPECT_TRUE(png_header(data_path(d, strrchr(look, '#') ? strrchr(look, '#') + 1 : look)).ok)
            << look;
        if (std::string(look) != "@sprites/crowd.png") continue;
        crowd++;
        EXPECT_GT(ground_height(hf, x, z), floor + 2) << line;
        for (const auto& q : g.gates) EXPECT_GT(std::hypot(x - q[1], z - q[3]), q[0]) << line;
    }
    EXPECT_GE(crowd, 200);
    // At every gate of the lap a tuff block or hay bale stands on each side, just beyond the
    // track's edge (a gate's radius is the half width plus 10 feet), within 8 feet along.
    std::vector<std::vector<double>> markers;
    for (const std::string& line : split_lines(read_file(t + "statues"))) {
        double x, y, z;
        char model[256];
        if (sscanf(line.c_str(), " [%lf %lf %lf] %*f %255s", &x, &y, &z, model) != 4) continue;
        std::string m = model;
        EXPECT_TRUE(m == "@tuffblock.jm" || m == "@haybale.jm") << line;
        markers.push_back({x, z});
    }
    EXPECT_EQ((int)markers.size(), (int)summary_number(d, "stadium", "statues"));
    // The first lap's own gates stand in the start chute, which runs into the last turn's
    // outside: that edge stays open for a lap gate near them.
    std::set<int> lap_gates;
    for (int r : g.normal) lap_gates.insert(r % 100000);
    auto near_chute = [&](const std::vector<double>& q) {
        for (int r : g.first)
            if (!lap_gates.count(r % 100000)) {
                const auto& c = g.gates[(size_t)(r % 100000)];
                if (std::hypot(q[1] - c[1], q[3] - c[3]) < c[0] + q[0] + 20) return true;
            }
        return false;
    };
    int open_sides = 0;
    for (int r : g.normal) {
        const auto& q = g.gates[(size_t)(r % 100000)];
        double edge = q[0] - 10;
        for (double side : {-1.0, 1.0}) {
            bool marked = false;
            for (const auto& mk : markers) {
                double dx = mk[0] - q[1], dz = mk[1] - q[3];
                double along = dx * q[4] + dz * q[6], across = side * (dx * -q[6] + dz * q[4]);
                marked = marked || (std::fabs(along) <= 8 && across > edge && across < edge + 9);
            }
            if (!marked && near_chute(q))
                open_sides++;
            else
                EXPECT_TRUE(marked) << "gate " << r % 100000 << " side " << side;
        }
    }
    EXPECT_LE(open_sides, 1);
    // The floor is walled: every way out from the middle of the track meets a statue in the
    // last 45 feet before the foot of the stands (where the ground last lies within 2 feet of
    // the floor before it climbs 12 feet above it: no jump is that high), so a rider who leaves
    // the track stays in the stadium.
    double cx = 0, cz = 0;
    for (const auto& q : g.gates) cx += q[1], cz += q[3];
    cx /= (double)g.gates.size(), cz /= (double)g.gates.size();
    for (int k = 0; k < 72; k++) {
        double a = k * 2 * M_PI / 72, dx = std::cos(a), dz = std::sin(a), r = 0;
        while (r < 2000 && ground_height(hf, cx + r * dx, cz + r * dz) < floor + 12) r += 1;
        ASSERT_LT(r, 2000) << k * 5 << " degrees";
        while (r > 0 && ground_height(hf, cx + r * dx, cz + r * dz) > floor + 2) r -= 1;
        bool walled = false;
        for (double back = 0; back <= 45 && !walled; back += 1)
            for (const auto& mk : markers)
                walled = walled || std::hypot(mk[0] - (cx + (r - back) * dx),
                                              mk[1] - (cz + (r - back) * dz)) < 3.5;
        EXPECT_TRUE(walled) << "no wall toward " << k * 5 << " degrees";
    }
}

TEST(GameData, SameBytesOnEveryRun) {
    std::string a = generate({"dunebay"}, "a"), b = generate({"dunebay"}, "b");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    for (const char* f :
         {"terrain.hf", "shadingx2.ppm", "shadows.pgm", "tilemap", "tileinfo", "timing_gates",
          "statues", "billboards", "flaggers", "decals", "lighting", "map.png", "sky-n.png"}) {
        std::string x = read_file(a + "dunebay/" + f), y = read_file(b + "dunebay/" + f);
        EXPECT_FALSE(x.empty()) << f;
        EXPECT_TRUE(x == y) << f << " differs between runs";
    }
    EXPECT_EQ(read_file(a + "summary.txt"), read_file(b + "summary.txt"));
}

TEST(GameData, TrackListFindsEveryTrackByTitle) {
    std::string d = generate({"rabbithill", "dunebay", "stadium"}, "game");
    ASSERT_EQ(d, test_game_dir() + "/");
    data_reset();
    ASSERT_EQ(tracklist_build(), 3);
    EXPECT_EQ(g_tracks.tracks[0].folder, "dunebay");
    EXPECT_EQ(g_tracks.tracks[0].title, "Dune Bay");
    EXPECT_EQ(g_tracks.tracks[1].folder, "rabbithill");
    EXPECT_EQ(g_tracks.tracks[1].title, "Rabbit Hill");
    EXPECT_EQ(g_tracks.tracks[2].folder, "stadium");
    EXPECT_EQ(g_tracks.tracks[2].title, "Stadium Cross");
    EXPECT_EQ(tracklist_find("rabbithill"), 1);
    EXPECT_EQ(tracklist_find("stadium"), 2);
    // The data names reach the track files through the search path.
    DataFile* f = data_open("@rabbithill/terrain.hf", "rb");
    ASSERT_NE(f, nullptr);
    char head[64] = {0};
    data_gets(f, head, sizeof head);
    data_close(f);
    EXPECT_EQ(std::string(head).substr(0, 2), "9 ");
}

namespace {

// The summary lines of one track.
std::vector<std::string> summary_lines(const std::string& folder, const std::string& track) {
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& l : split_lines(read_file(folder + "summary.txt"))) {
        if (l.rfind("track ", 0) == 0)
            in = l.substr(6) == track;
        else if (in)
            out.push_back(l);
    }
    return out;
}

// Height above the straight line between the ends, every foot from (x0, z0) to (x1, z1).
std::vector<double> relief(const HeightField& hf, double x0, double z0, double x1, double z1) {
    double len = std::hypot(x1 - x0, z1 - z0);
    int n = (int)len;
    double h0 = ground_height(hf, x0, z0), h1 = ground_height(hf, x1, z1);
    std::vector<double> out;
    for (int k = 0; k <= n; k++) {
        double t = k / len;
        out.push_back(ground_height(hf, x0 + (x1 - x0) * t, z0 + (z1 - z0) * t) -
                      (h0 + (h1 - h0) * t));
    }
    return out;
}

// How many times the relief rises above `high` after having been below `low`.
int humps(const std::vector<double>& r, double high, double low) {
    int count = 0;
    bool up = false;
    for (double v : r) {
        if (!up && v > high) {
            up = true;
            count++;
        } else if (up && v < low) {
            up = false;
        }
    }
    return count;
}

int longest_above(const std::vector<double>& r, double level) {
    int best = 0, run = 0;
    for (double v : r) {
        run = v > level ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

// The steepest rise (degrees) over any 2 feet of the ground along the line from (x0, z0)
// toward (x1, z1) up to the first top 3 feet or more above the start: a jump's take-off face.
double face_degrees(const HeightField& hf, double x0, double z0, double x1, double z1) {
    double len = std::hypot(x1 - x0, z1 - z0), ux = (x1 - x0) / len, uz = (z1 - z0) / len;
    double base = ground_height(hf, x0, z0), steepest = 0;
    for (double a = 0; a + 2 <= len; a += 0.5) {
        double h0 = ground_height(hf, x0 + ux * a, z0 + uz * a);
        double rise = ground_height(hf, x0 + ux * (a + 2), z0 + uz * (a + 2)) - h0;
        if (h0 > base + 3 && rise <= 0) break;
        steepest = std::max(steepest, std::atan2(rise, 2.0) * 180 / PI);
    }
    return steepest;
}

// The features a track's summary lists, each checked in the ground: jumps with their humps,
// take-off faces and landings, whoops and rhythm rollers, step-ups and step-downs, berms,
// off-camber turns and special surfaces. *seen counts them by kind. A tabletop's top stays
// above top_level for at least top_length feet.
void check_features(const std::string& track, double top_level, int top_length,
                    std::map<std::string, int>* seen) {
    std::string d = generate({track});
    ASSERT_FALSE(d.empty());
    HeightField hf = heightfield_read(d + track + "/terrain.hf");
    ASSERT_TRUE(hf.ok);
    std::vector<SurfaceLines> s = tileinfo_read(d + track + "/tileinfo");
    std::string tm = read_file(d + track + "/tilemap");
    const size_t n = (size_t)1 << hf.shift;
    const double tile = 2 * hf.spacing;
    ASSERT_EQ(tm.size(), n * n);
    for (const std::string& l : summary_lines(d, track)) {
        char kind[32];
        double x0, z0, x1, z1;
        if (sscanf(l.c_str(), "feature %31s %lf %lf %lf %lf", kind, &x0, &z0, &x1, &z1) == 5) {
            std::string k = kind;
            (*seen)[k]++;
            std::vector<double> r = relief(hf, x0, z0, x1, z1);
            if (k == "double" || k == "triple" || k == "tabletop") {
                // Take-off faces of 20 to 36 degrees, and a landing that falls from the last top
                // to the foot at 8 to 22 degrees: a rider who clears the gap comes down on it.
                double face = face_degrees(hf, x0, z0, x1, z1);
                EXPECT_GE(face, 20) << l;
                EXPECT_LE(face, 36) << l;
                double peak = *std::max_element(r.begin(), r.end());
                size_t top = r.size() - 1;
                while (top > 0 && r[top] < peak - 0.5) top--;
                double drop = r[top] - r.back(), run = (double)(r.size() - 1 - top);
                EXPECT_GE(drop, std::tan(8 * PI / 180) * run) << l << ": the landing";
                EXPECT_LE(drop, std::tan(22 * PI / 180) * run) << l << ": the landing";
            }
            if (k == "double") {
                EXPECT_EQ(humps(r, 3.5, 1.5), 2) << l; // take-off and landing with a gap between
            } else if (k == "triple") {
                EXPECT_EQ(humps(r, 3.5, 1.5), 3) << l; // a roller between take-off and landing
            } else if (k == "tabletop") {
                EXPECT_EQ(humps(r, 3.5, 1.5), 1) << l;
                EXPECT_GE(longest_above(r, top_level), top_length) << l << ": a flat top";
            } else if (k == "whoops") {
                EXPECT_GE(humps(r, 1.2, 0.4), 8) << l;
            } else if (k == "rhythm") {
                EXPECT_GE(humps(r, 2.0, 1.5), 6) << l;
            } else if (k == "stepdown") {
                double lip = ground_height(hf, x0, z0), foot = ground_height(hf, x1, z1);
                EXPECT_LT(foot, lip - 6) << l << ": the landing lies well below the lip";
            } else if (k == "stepup") {
                double lip = ground_height(hf, x0, z0), plateau = ground_height(hf, x1, z1);
                EXPECT_GT(plateau, lip + 2) << l << ": the landing is higher than the lip";
                EXPECT_LT(*std::min_element(r.begin(), r.end()), -2.0) << l << ": a gap to clear";
            }
        } else if (sscanf(l.c_str(), "berm %lf %lf %lf %lf", &x0, &z0, &x1, &z1) == 4) {
            (*seen)["berm"]++;
            EXPECT_GT(ground_height(hf, x1, z1) - ground_height(hf, x0, z0), 3.0) << l;
        } else if (sscanf(l.c_str(), "offcamber %lf %lf %lf %lf", &x0, &z0, &x1, &z1) == 4) {
            (*seen)["offcamber"]++;
            EXPECT_LT(ground_height(hf, x1, z1), ground_height(hf, x0, z0) - 2.5) << l;
        } else if (sscanf(l.c_str(), "section %31s %lf %lf", kind, &x0, &z0) == 3) {
            (*seen)[std::string("section ") + kind]++;
            uint8_t type =
                (uint8_t)tm[(size_t)std::floor(x0 / tile) + n * (size_t)std::floor(z0 / tile)];
            ASSERT_LT(type, s.size());
            EXPECT_NE(s[type].texture.find(std::string("/") + kind + "."), std::string::npos) << l;
        }
    }
}

} // namespace

TEST(RabbitHill, JumpsWhoopsBermsAndSectionsAreInTheGround) {
    std::map<std::string, int> seen;
    check_features("rabbithill", 4.5, 30, &seen);
    EXPECT_EQ(seen["double"], 1);
    EXPECT_EQ(seen["tabletop"], 2);
    EXPECT_EQ(seen["whoops"], 1);
    EXPECT_EQ(seen["stepup"], 1);
    EXPECT_EQ(seen["stepdown"], 1);
    EXPECT_EQ(seen["rhythm"], 1);
    EXPECT_GE(seen["berm"], 2);
    EXPECT_EQ(seen["offcamber"], 1);
    EXPECT_GE(seen["section mud"] + seen["section sand"], 1);
}

// Supercross: short, steep jumps close together, every kind the issue asks of a generated track.
TEST(Stadium, JumpsWhoopsBermsAndOffCamberAreInTheGround) {
    std::map<std::string, int> seen;
    check_features("stadium", 3.5, 8, &seen);
    EXPECT_EQ(seen["double"], 3); // two in the rhythm lane
    EXPECT_EQ(seen["triple"], 1);
    EXPECT_EQ(seen["rhythm"], 1);
    EXPECT_EQ(seen["tabletop"], 2);
    EXPECT_EQ(seen["whoops"], 1);
    EXPECT_EQ(seen["stepup"], 1);
    EXPECT_EQ(seen["stepdown"], 1);
    EXPECT_GE(seen["berm"], 3);
    EXPECT_EQ(seen["offcamber"], 1);
}

// Sand motocross: jumps of every kind sized for the slower bikes, whoops on the dune's crest,
// the creek's water and the wet sand of the shore on the lap.
TEST(DuneBay, JumpsWhoopsBermsAndSectionsAreInTheGround) {
    std::map<std::string, int> seen;
    check_features("dunebay", 3.5, 8, &seen);
    EXPECT_EQ(seen["tabletop"], 3);
    EXPECT_EQ(seen["double"], 2);
    EXPECT_EQ(seen["stepup"], 1);
    EXPECT_EQ(seen["stepdown"], 1);
    EXPECT_EQ(seen["whoops"], 1);
    EXPECT_GE(seen["berm"], 3);
    EXPECT_EQ(seen["offcamber"], 1);
    EXPECT_EQ(seen["section water"], 1);
    EXPECT_EQ(seen["section wetsand"], 1);
}

namespace {

// The steepest slope (rise over run) of the two triangles of cell (i, j), as the game splits it.
double cell_slope(const HeightField& hf, int i, int j) {
    auto H = [&](int a, int b) { return (double)hf.height(a, b); };
    double gx1, gz1, gx2, gz2;
    if (((i + j) & 1) == 0) {
        gx1 = H(i + 1, j) - H(i, j), gz1 = H(i + 1, j + 1) - H(i + 1, j);
        gx2 = H(i + 1, j + 1) - H(i, j + 1), gz2 = H(i, j + 1) - H(i, j);
    } else {
        gx1 = H(i + 1, j) - H(i, j), gz1 = H(i, j + 1) - H(i, j);
        gx2 = H(i + 1, j + 1) - H(i, j + 1), gz2 = H(i + 1, j + 1) - H(i + 1, j);
    }
    return std::max(std::hypot(gx1, gz1), std::hypot(gx2, gz2)) / hf.spacing;
}

// The summary's "area x0 z0 x1 z1 radius" lines: where features are shaped steeper.
struct Area {
    double x0, z0, x1, z1, r;
};
bool in_area(const std::vector<Area>& areas, double x, double z) {
    for (const Area& a : areas) {
        double dx = a.x1 - a.x0, dz = a.z1 - a.z0, len2 = dx * dx + dz * dz;
        double t = len2 > 0 ? std::clamp(((x - a.x0) * dx + (z - a.z0) * dz) / len2, 0.0, 1.0) : 0;
        if (std::hypot(x - a.x0 - t * dx, z - a.z0 - t * dz) <= a.r) return true;
    }
    return false;
}

// Banks, berms, shoulders and hills: nothing steeper than 30 degrees outside the features of
// the summary's "area" lines (a cliff or a stair step is far steeper over one 2-foot cell);
// inside them, jump faces stay under 40 degrees.
void check_smooth(const std::string& track) {
    std::string d = generate({track});
    ASSERT_FALSE(d.empty());
    HeightField hf = heightfield_read(d + track + "/terrain.hf");
    ASSERT_TRUE(hf.ok);
    std::vector<Area> areas;
    for (const std::string& l : summary_lines(d, track)) {
        Area a;
        if (sscanf(l.c_str(), "area %lf %lf %lf %lf %lf", &a.x0, &a.z0, &a.x1, &a.z1, &a.r) == 5)
            areas.push_back(a);
    }
    ASSERT_GE(areas.size(), 5u);
    double worst = 0, worst_x = 0, worst_z = 0, worst_feature = 0;
    for (int j = 0; j + 1 < hf.samples; j++)
        for (int i = 0; i + 1 < hf.samples; i++) {
            double x = (i + 0.5) * hf.spacing, z = (j + 0.5) * hf.spacing;
            double slope = cell_slope(hf, i, j);
            if (in_area(areas, x, z)) {
                worst_feature = std::max(worst_feature, slope);
            } else if (slope > worst) {
                worst = slope;
                worst_x = x;
                worst_z = z;
            }
        }
    EXPECT_LT(worst, std::tan(30 * PI / 180)) << "at " << worst_x << ", " << worst_z;
    EXPECT_LT(worst_feature, std::tan(40 * PI / 180));
}

} // namespace

TEST(RabbitHill, GroundIsSmoothOutsideTheMarkedFeatures) {
    check_smooth("rabbithill");
}

TEST(Stadium, GroundIsSmoothOutsideTheMarkedFeatures) {
    check_smooth("stadium");
}

TEST(DuneBay, GroundIsSmoothOutsideTheMarkedFeatures) {
    check_smooth("dunebay");
}

namespace {

// The track is wide and its gates are reached in order over track ground (every tile but the
// `off_track` surface, "grass" or "concrete"), past the track's statues.
void check_width_and_route(const std::string& track, const std::string& off_track) {
    std::string d = generate({"common", track});
    ASSERT_FALSE(d.empty());
    HeightField hf = heightfield_read(d + track + "/terrain.hf");
    ASSERT_TRUE(hf.ok);
    std::vector<SurfaceLines> s = tileinfo_read(d + track + "/tileinfo");
    int off = -1;
    for (size_t k = 0; k < s.size(); k++)
        if (s[k].texture.find("/" + off_track + ".") != std::string::npos) off = (int)k;
    ASSERT_GE(off, 0);
    std::string tm = read_file(d + track + "/tilemap");
    const int n = 1 << hf.shift;
    ASSERT_EQ(tm.size(), (size_t)n * n);
    const double tile = 2 * hf.spacing;
    auto on_track = [&](double x, double z) {
        int ti = (int)std::floor(x / tile), tj = (int)std::floor(z / tile);
        return ti >= 0 && tj >= 0 && ti < n && tj < n && (uint8_t)tm[(size_t)ti + n * tj] != off;
    };
    Gates g = gates_read(d + track + "/timing_gates");
    // Width: across every gate of the lap, at least 26 feet of track surface without a break.
    for (int r : g.normal) {
        const auto& q = g.gates[(size_t)(r % 100000)];
        double width = 0;
        for (double side : {-1.0, 1.0})
            for (double o = 0.5; o < 60 && on_track(q[1] - side * q[6] * o, q[3] + side * q[4] * o);
                 o += 0.5)
                width += 0.5;
        EXPECT_GE(width, 26) << "gate " << r % 100000;
    }
    // Order: from the middle start slot through the first lap and round a normal lap, each
    // gate's centre is reached from the one before over track tiles alone, without crossing a
    // third gate of the lap, and without a step between tiles steeper than 40 degrees.
    auto tile_height = [&](int ti, int tj) { return hf.height(2 * ti + 1, 2 * tj + 1); };
    // The track's statues (hay bales, tuff blocks) stand in the way: a tile within 6 feet of
    // one is closed, so a row of them across the way (a turn's edge markers laid over a chute
    // joining it) bars it even with a bale's width between them.
    std::vector<uint8_t> walled((size_t)n * n, 0);
    for (const std::string& line : split_lines(read_file(d + track + "/statues"))) {
        double sx, sy, sz;
        if (sscanf(line.c_str(), " [%lf %lf %lf]", &sx, &sy, &sz) != 3) continue;
        for (int tj = (int)((sz - 8) / tile); tj <= (int)((sz + 8) / tile); tj++)
            for (int ti = (int)((sx - 8) / tile); ti <= (int)((sx + 8) / tile); ti++)
                if (ti >= 0 && tj >= 0 && ti < n && tj < n &&
                    std::hypot((ti + 0.5) * tile - sx, (tj + 0.5) * tile - sz) < 6)
                    walled[(size_t)ti + n * tj] = 1;
    }
    auto reach = [&](double x0, double z0, double x1, double z1,
                     const std::vector<const std::vector<double>*>& barred) {
        std::vector<uint8_t> seen((size_t)n * n, 0);
        std::vector<int> todo;
        int a = (int)(x0 / tile) + n * (int)(z0 / tile);
        int goal = (int)(x1 / tile) + n * (int)(z1 / tile);
        auto open = [&](int ti, int tj) {
            double x = (ti + 0.5) * tile, z = (tj + 0.5) * tile;
            if (!on_track(x, z) || walled[(size_t)ti + n * tj]) return false;
            for (const std::vector<double>* q : barred)
                if (std::hypot(x - (*q)[1], z - (*q)[3]) < (*q)[0]) return false;
            return true;
        };
        seen[(size_t)a] = 1;
        todo.push_back(a);
        while (!todo.empty()) {
            int at = todo.back();
            todo.pop_back();
            if (at == goal) return true;
            int ti = at % n, tj = at / n;
            for (int dir = 0; dir < 4; dir++) {
                int ui = ti + (dir == 0) - (dir == 1), uj = tj + (dir == 2) - (dir == 3);
                if (ui < 0 || uj < 0 || ui >= n || uj >= n || seen[(size_t)ui + n * uj]) continue;
                if (std::fabs(tile_height(ui, uj) - tile_height(ti, tj)) >
                    tile * std::tan(40 * PI / 180))
                    continue;
                if (!open(ui, uj)) continue;
                seen[(size_t)ui + n * uj] = 1;
                todo.push_back(ui + n * uj);
            }
        }
        return false;
    };
    std::vector<int> route = g.first;
    route.insert(route.end(), g.normal.begin(), g.normal.end());
    double x = g.slots[0][0], z = g.slots[0][2];
    for (size_t k = 0; k < route.size(); k++) {
        const std::vector<double>& to = g.gates[(size_t)(route[k] % 100000)];
        std::vector<const std::vector<double>*> barred;
        for (int r : g.normal) {
            const std::vector<double>* q = &g.gates[(size_t)(r % 100000)];
            bool near_in_order = false;
            for (int back = 0; back <= 1; back++)
                if (k >= (size_t)back && route[k - back] % 100000 == r % 100000)
                    near_in_order = true;
            // A gate whose disc holds either end cannot be avoided; any other is barred.
            if (!near_in_order && std::hypot(x - (*q)[1], z - (*q)[3]) > (*q)[0] &&
                std::hypot(to[1] - (*q)[1], to[3] - (*q)[3]) > (*q)[0])
                barred.push_back(q);
        }
        EXPECT_TRUE(reach(x, z, to[1], to[3], barred)) << "gate " << k << " of the route";
        x = to[1];
        z = to[3];
    }
}

} // namespace

TEST(RabbitHill, TrackIsWideAndItsGatesReachableInOrder) {
    check_width_and_route("rabbithill", "grass");
}

TEST(Stadium, TrackIsWideAndItsGatesReachableInOrder) {
    check_width_and_route("stadium", "concrete");
}

TEST(DuneBay, TrackIsWideAndItsGatesReachableInOrder) {
    check_width_and_route("dunebay", "dunegrass");
}
