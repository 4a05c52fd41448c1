// The bike and rider data: every file the bike catalogue names, models with the layout of the
// "JM" format and through the game's model reader, the rider's bones against the catalogue's
// skeleton, collision shapes placed on the bodies they belong to, texture variants found by
// the variant-list rule, the engine-sound pipe files, and every bike loaded from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <map>
#include <set>
#include <tuple>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "gamedata_util.h"
#include "platform/log.h"

namespace {

struct V3 {
    double x, y, z;
};
V3 add(V3 a, V3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
V3 sub(V3 a, V3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double len(V3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

// The catalogue's rest geometry (feet): body positions, wheels and the rider skeleton.
const V3 FRAME = {0, 1.98, 3.6}, STEERING = {0, 2.9, 2.16}, FORK_LOWER = {0, 1.77, 1.59};
const V3 SWINGARM = {0, 1.34, 4.99}, RIDER = {0, 4.5, 4.12};
const V3 FRONT_WHEEL = {0, 1.09, 1.11}, REAR_WHEEL = {0, 1.04, 6.0};
const double FRONT_TORUS = 0.833333, REAR_TORUS = 0.75, TUBE = 0.333333;
const V3 SHOULDER[2] = {{-0.556, 0.580375, -0.654514}, {0.556, 0.580375, -0.654514}};
const V3 HIP[2] = {{-0.269, -0.570887, 0.670607}, {0.269, -0.570887, 0.670607}};
const V3 GRIP[2] = {{-1.097, 1.145, 0.753}, {1.097, 1.145, 0.753}}; // in the steering body
const V3 PEG[2] = {{-0.6, -0.557, 0.584}, {0.6, -0.557, 0.584}};    // in the frame
const double ARM = 0.9 + 1.15, LEG = 1.328 + 1.701;

// The catalogue's records: name, model stem and bike texture (data names without "@").
struct Record {
    const char* name;
    const char* stem;
    const char* texture;
    bool two_stroke;
};
const Record RECORDS[18] = {
    {"crf250(2009)", "crf250", "crf250", false}, {"kx250f(2009)", "kx250f", "kx250f", false},
    {"rmz250(2009)", "rmz250", "rmz250", false}, {"yz250f(2009)", "yz250f", "yz250f", false},
    {"crf250(2008)", "crf250", "crf250", false}, {"kx250f(2008)", "kx250f", "kx250f", false},
    {"rmz250(2008)", "rmz250", "rmz250", false}, {"yz250f(2008)", "yz250f", "yz250f", false},
    {"cr125", "cr125", "cr125", true},           {"kx125", "kx125", "kx125", true},
    {"rm125", "rm125", "rm125", true},           {"yz125", "yz125", "yz125", true},
    {"125sx", "125sx", "125sx", true},           {"crf250(2007)", "crf250", "crf250", false},
    {"kx250f(2007)", "kx250f", "kx250f", false}, {"rmz250(2007)", "rmz250", "rmz250", false},
    {"yz250f(2007)", "yz250f", "yz250f", false}, {"yz250f_se(2006)", "yz250f", "yz250f_se", false},
};
const char* SHAPES[7] = {"generic_frame.shp",    "generic_fork_upper.shp", "generic_fork_lower.shp",
                         "generic_swingarm.shp", "front_wheel.shp",        "rear_wheel.shp",
                         "generic_rider.shp"};
const char* BIKE_PARTS[6] = {"frame",    "fork_upper",  "fork_lower",
                             "swingarm", "side_plates", "front_plate"};

// ---- "JM" files read by their description -----------------------------------------------------

struct JmMesh {
    float shininess = 0;
    std::vector<V3> pos, normal;
    std::vector<float> u, v;    // as stored (v counted upward)
    std::vector<float> weights; // K per vertex
    std::vector<int> tri;
};
struct Jm {
    bool ok = false;
    int version = 0, bones = 0;
    std::string skeleton;
    std::vector<JmMesh> meshes;
};

// Reads the whole file, failing on anything the format does not allow.
Jm jm_read(const std::string& path) {
    Jm jm;
    std::istringstream in(read_file(path));
    std::string magic;
    if (!(in >> magic) || magic.size() != 3 || magic.compare(0, 2, "JM") != 0) return jm;
    jm.version = magic[2] - '0';
    if (jm.version == 2 && !(in >> jm.bones >> jm.skeleton)) return jm;
    if (jm.version != 1 && jm.version != 2) return jm;
    float s, a, r, g, b;
    int n, m;
    while (in >> s >> a >> r >> g >> b >> n >> m) {
        if (n <= 0 || m <= 0) return jm;
        JmMesh mesh;
        mesh.shininess = s;
        for (int i = 0; i < n; i++) {
            double p[8];
            for (double& x : p)
                if (!(in >> x)) return jm;
            mesh.pos.push_back({p[0], p[1], p[2]});
            mesh.normal.push_back({p[3], p[4], p[5]});
            mesh.u.push_back((float)p[6]);
            mesh.v.push_back((float)p[7]);
            for (int k = 0; k < jm.bones; k++) {
                float w;
                if (!(in >> w)) return jm;
                mesh.weights.push_back(w);
            }
        }
        for (int t = 0; t < 3 * m; t++) {
            int i;
            if (!(in >> i) || i < 0 || i >= n) return jm;
            mesh.tri.push_back(i);
        }
        jm.meshes.push_back(mesh);
    }
    std::string rest;
    in.clear();
    if (in >> rest) return jm; // something after the last mesh that is not a mesh
    jm.ok = !jm.meshes.empty();
    return jm;
}

// Checks that hold for every model: unit normals, texture coordinates inside the texture,
// triangles with area, weights that sum to 1.
void expect_well_formed(const Jm& jm, const std::string& name) {
    ASSERT_TRUE(jm.ok) << name;
    for (const JmMesh& m : jm.meshes) {
        for (size_t i = 0; i < m.pos.size(); i++) {
            EXPECT_NEAR(len(m.normal[i]), 1.0, 2e-3) << name << " vertex " << i;
            EXPECT_TRUE(m.u[i] >= 0 && m.u[i] <= 1 && m.v[i] >= 0 && m.v[i] <= 1) << name;
            if (jm.bones > 0) {
                double sum = 0;
                for (int k = 0; k < jm.bones; k++) {
                    float w = m.weights[i * jm.bones + k];
                    EXPECT_TRUE(w >= 0 && w <= 1) << name;
                    sum += w;
                }
                EXPECT_NEAR(sum, 1.0, 1e-3) << name << " vertex " << i;
            }
        }
        int flat = 0;
        for (size_t t = 0; t < m.tri.size(); t += 3) {
            V3 a = m.pos[m.tri[t]], b = m.pos[m.tri[t + 1]], c = m.pos[m.tri[t + 2]];
            V3 e1 = sub(b, a), e2 = sub(c, a);
            V3 n = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z,
                    e1.x * e2.y - e1.y * e2.x};
            flat += len(n) < 1e-9;
            // Triangles face the way their vertex normals point (counter-clockwise outside).
            V3 want = add(add(m.normal[m.tri[t]], m.normal[m.tri[t + 1]]), m.normal[m.tri[t + 2]]);
            double facing = n.x * want.x + n.y * want.y + n.z * want.z;
            if (len(n) > 1e-7) {
                EXPECT_GE(facing, -1e-7) << name << " triangle " << t / 3;
            }
        }
        EXPECT_EQ(flat, 0) << name;
    }
}

// Whether the vertices that pass a test (on position and normal) map the whole texture: a
// face that shows the whole picture.
template <typename F> bool spans_texture(const Jm& jm, F pick) {
    float umin = 1, umax = 0, vmin = 1, vmax = 0;
    for (const JmMesh& m : jm.meshes)
        for (size_t i = 0; i < m.u.size(); i++) {
            if (!pick(m.pos[i], m.normal[i])) continue;
            umin = std::min(umin, m.u[i]);
            umax = std::max(umax, m.u[i]);
            vmin = std::min(vmin, m.v[i]);
            vmax = std::max(vmax, m.v[i]);
        }
    return umin < 0.01f && umax > 0.99f && vmin < 0.01f && vmax > 0.99f;
}

struct Box {
    V3 lo = {1e9, 1e9, 1e9}, hi = {-1e9, -1e9, -1e9};
};
Box bounds(const Jm& jm) {
    Box b;
    for (const JmMesh& m : jm.meshes)
        for (const V3& p : m.pos) {
            b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
            b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
        }
    return b;
}

// ---- shape files -------------------------------------------------------------------------------

struct Sphere {
    V3 c;
    double radius, friction, spring, damper;
};
bool shape_read_file(const std::string& path, std::vector<Sphere>* out) {
    std::istringstream in(read_file(path));
    int n = 0;
    if (!(in >> n) || n < 0) return false;
    for (int i = 0; i < n; i++) {
        Sphere s;
        if (!(in >> s.c.x >> s.c.y >> s.c.z >> s.radius >> s.friction >> s.spring >> s.damper))
            return false;
        out->push_back(s);
    }
    std::string rest;
    return !(in >> rest);
}

// The names of a folder's files, sorted as the data name list sorts them.
std::vector<std::string> folder_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcmp(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

// The texture variant rule: ".png" names (not normal or specular maps) whose file part begins
// with the prefix; the display name is the rest without ".png".
std::vector<std::pair<std::string, std::string>> variants(const std::vector<std::string>& names,
                                                          const std::string& prefix) {
    std::vector<std::pair<std::string, std::string>> out;
    auto ends = [](const std::string& s, const std::string& t) {
        return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
    };
    for (const std::string& n : names) {
        if (!ends(n, ".png") || ends(n, "_norm.png") || ends(n, "_spec.png")) continue;
        std::string file = n.substr(n.rfind('/') == std::string::npos ? 0 : n.rfind('/') + 1);
        if (file.compare(0, prefix.size(), prefix) != 0) continue;
        out.push_back({"@" + n, file.substr(prefix.size(), file.size() - prefix.size() - 4)});
    }
    return out;
}

// The dominant hue of a texture's strongly coloured pixels: 'r', 'o', 'y', 'g', 'b' or '-'.
char dominant_hue(const std::string& path) {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    if (!png_rgba(path, &w, &h, &px)) return '?';
    std::map<char, int> count;
    for (size_t i = 0; i < px.size(); i += 4) {
        double r = px[i] / 255.0, g = px[i + 1] / 255.0, b = px[i + 2] / 255.0;
        double mx = std::max({r, g, b}), mn = std::min({r, g, b});
        if (mx < 0.3 || (mx - mn) / mx < 0.5) continue;
        double hue;
        if (mx == r)
            hue = std::fmod((g - b) / (mx - mn) * 60 + 360, 360);
        else if (mx == g)
            hue = (b - r) / (mx - mn) * 60 + 120;
        else
            hue = (r - g) / (mx - mn) * 60 + 240;
        char c = hue < 15 || hue >= 330    ? 'r'
                 : hue < 38                ? 'o'
                 : hue < 70                ? 'y'
                 : hue < 165               ? 'g'
                 : hue >= 190 && hue < 260 ? 'b'
                                           : '-';
        count[c]++;
    }
    char best = '-';
    int most = 0;
    for (auto& [c, n] : count)
        if (c != '-' && n > most) {
            best = c;
            most = n;
        }
    return best;
}

std::string bikes_data() {
    return generate({"bikes"}, "game");
}

} // namespace

TEST(BikeData, EveryFileOfEveryCatalogueRecordExists) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    std::set<std::string> needed = {"front_wheel.jm",      "rear_wheel.jm",       "rider_head.jm",
                                    "rider_body.jm",       "rider_body_fp.jm",    "rider_plate.jm",
                                    "wheels.png",          "rider_head.png",      "rider_body.png",
                                    "default125.pipeinfo", "default250f.pipeinfo"};
    for (const char* s : SHAPES) needed.insert(s);
    for (const Record& r : RECORDS) {
        for (const char* part : BIKE_PARTS) needed.insert(std::string(r.stem) + "_" + part + ".jm");
        needed.insert(std::string(r.texture) + ".png");
    }
    EXPECT_EQ(needed.size(), 11u + 7u + 9u * 6u + 10u);
    for (const std::string& n : needed) EXPECT_TRUE(file_exists(d + n)) << n;
    // Every texture of a bike is a power-of-two RGB picture of one size.
    for (const Record& r : RECORDS) {
        PngHeader h = png_header(d + r.texture + ".png");
        ASSERT_TRUE(h.ok) << r.texture;
        EXPECT_EQ(h.colour_type, 2) << r.texture;
        EXPECT_TRUE(power_of_two(h.width) && h.width == h.height) << r.texture;
    }
}

TEST(BikeData, BikeModelsAreWellFormedAndSitOnTheirBodies) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    std::set<std::string> stems;
    for (const Record& r : RECORDS) stems.insert(r.stem);
    EXPECT_EQ(stems.size(), 9u);
    for (const std::string& stem : stems) {
        for (const char* part : BIKE_PARTS) {
            std::string name = stem + "_" + part + ".jm";
            Jm jm = jm_read(d + name);
            expect_well_formed(jm, name);
            EXPECT_EQ(jm.version, 1) << name;
        }
        // In world terms (body position + model coordinates) the bike stands between its
        // wheels' outer edges, above the ground, no wider than its bars.
        Box frame = bounds(jm_read(d + stem + "_frame.jm"));
        V3 lo = add(frame.lo, FRAME), hi = add(frame.hi, FRAME);
        EXPECT_GT(lo.y, 0.9) << stem << ": the frame hangs below the ground clearance";
        EXPECT_LT(hi.y, 4.0) << stem;
        EXPECT_GT(lo.z, FRONT_WHEEL.z) << stem << ": the frame reaches past the front axle";
        EXPECT_LT(hi.z, REAR_WHEEL.z + 1.6) << stem;
        EXPECT_LT(std::max(-lo.x, hi.x), 0.85) << stem;
        EXPECT_NEAR(lo.x, -hi.x, 0.3) << stem << ": not roughly symmetric";
        // The bars reach the grips, the handlebar is wider than the frame.
        Box upper = bounds(jm_read(d + stem + "_fork_upper.jm"));
        EXPECT_GE(upper.hi.x, GRIP[1].x) << stem;
        EXPECT_LE(upper.lo.x, GRIP[0].x) << stem;
        EXPECT_NEAR(upper.hi.y, GRIP[1].y, 0.15) << stem;
        // The lower fork carries the front axle; the swingarm reaches the rear one.
        Box lower = bounds(jm_read(d + stem + "_fork_lower.jm"));
        V3 axle = sub(FRONT_WHEEL, FORK_LOWER);
        EXPECT_LE(lower.lo.y, axle.y) << stem;
        EXPECT_GE(lower.hi.y, 0.0) << stem;
        Box arm = bounds(jm_read(d + stem + "_swingarm.jm"));
        V3 rear = sub(REAR_WHEEL, SWINGARM);
        EXPECT_GE(arm.hi.z, rear.z) << stem;
        EXPECT_LE(arm.lo.z, 4.17 - SWINGARM.z) << stem << ": the swingarm misses its pivot";
        // The plates' number faces map the whole texture (the plate number's picture) and face
        // outward: the side plates away from the bike, the front plate ahead.
        Jm side = jm_read(d + stem + "_side_plates.jm");
        EXPECT_TRUE(spans_texture(side, [](V3 p, V3 n) { return p.x > 0 && n.x > 0.9; })) << stem;
        EXPECT_TRUE(spans_texture(side, [](V3 p, V3 n) { return p.x < 0 && n.x < -0.9; })) << stem;
        Jm front = jm_read(d + stem + "_front_plate.jm");
        EXPECT_TRUE(spans_texture(front, [](V3, V3 n) { return n.z < -0.8; })) << stem;
    }
    // Two-stroke and four-stroke engines are drawn differently.
    EXPECT_NE(read_file(d + "cr125_frame.jm"), read_file(d + "crf250_frame.jm"));
}

TEST(BikeData, WheelsMeetTheGroundWhereTheTyreTouches) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    struct {
        const char* name;
        double outer;
    } wheels[2] = {{"front_wheel", FRONT_TORUS + TUBE}, {"rear_wheel", REAR_TORUS + TUBE}};
    for (const auto& w : wheels) {
        for (const std::string& file :
             {std::string(w.name) + ".jm", std::string(w.name) + "_lod5.jm"}) {
            Jm jm = jm_read(d + file);
            expect_well_formed(jm, file);
            double reach = 0, width = 0;
            for (const JmMesh& m : jm.meshes)
                for (const V3& p : m.pos) {
                    reach = std::max(reach, std::hypot(p.y, p.z));
                    width = std::max(width, std::fabs(p.x));
                }
            // The drawn tyre's outer radius is the contact torus's (torus + tube radius).
            EXPECT_NEAR(reach, w.outer, 0.01) << file;
            EXPECT_LT(width, 0.4) << file << ": the wheel turns about x and is narrow along it";
        }
        // Knobs make the full-detail tyre much denser than the distant one.
        EXPECT_GT(read_file(d + w.name + ".jm").size(),
                  3 * read_file(d + w.name + "_lod5.jm").size());
    }
}

TEST(BikeData, RiderModelHasBonesSizedToTheSkeleton) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    Jm body = jm_read(d + "rider_body.jm");
    expect_well_formed(body, "rider_body.jm");
    ASSERT_EQ(body.version, 2);
    ASSERT_EQ(body.bones, 9);
    // Grips and pegs in the rider body's frame at rest.
    V3 grip[2], peg[2];
    for (int s = 0; s < 2; s++) {
        grip[s] = sub(add(GRIP[s], STEERING), RIDER);
        peg[s] = sub(add(PEG[s], FRAME), RIDER);
    }
    // Per bone: the distinct positions it moves at least half-way (moved) and those it moves
    // more than any other bone (owned; a vertex shared evenly at a joint belongs to neither).
    std::vector<std::set<std::tuple<double, double, double>>> moved_set(9), owned_set(9);
    for (const JmMesh& m : body.meshes)
        for (size_t i = 0; i < m.pos.size(); i++) {
            const float* w = &m.weights[i * 9];
            auto key = std::make_tuple(m.pos[i].x, m.pos[i].y, m.pos[i].z);
            int best = 0;
            for (int k = 0; k < 9; k++) {
                if (w[k] >= 0.5f) moved_set[k].insert(key);
                if (w[k] > w[best]) best = k;
            }
            bool shared = false;
            for (int k = 0; k < 9; k++) shared |= k != best && w[best] - w[k] < 0.01f;
            if (!shared) owned_set[best].insert(key);
        }
    std::vector<std::vector<V3>> moved(9), owned(9);
    for (int k = 0; k < 9; k++) {
        for (auto& [x, y, z] : moved_set[k]) moved[k].push_back({x, y, z});
        for (auto& [x, y, z] : owned_set[k]) owned[k].push_back({x, y, z});
    }
    for (int k = 0; k < 9; k++) EXPECT_GT(owned[k].size(), 20u) << "bone " << k;
    auto nearest = [](const std::vector<V3>& pts, V3 q) {
        double best = 1e9;
        for (const V3& p : pts) best = std::min(best, len(sub(p, q)));
        return best;
    };
    auto farthest = [](const std::vector<V3>& pts, V3 q) {
        double best = 0;
        for (const V3& p : pts) best = std::max(best, len(sub(p, q)));
        return best;
    };
    for (int s = 0; s < 2; s++) {
        int upper = 1 + 2 * s, fore = 2 + 2 * s, thigh = 5 + 2 * s, shin = 6 + 2 * s;
        // Hands at the grips, boots on the pegs, each limb no longer than its segments allow.
        EXPECT_LT(nearest(moved[fore], grip[s]), 0.15) << "side " << s;
        EXPECT_LT(nearest(moved[shin], peg[s]), 0.2) << "side " << s;
        EXPECT_LT(nearest(moved[upper], SHOULDER[s]), 0.25) << "side " << s;
        EXPECT_LT(nearest(moved[thigh], HIP[s]), 0.3) << "side " << s;
        EXPECT_LT(farthest(moved[upper], SHOULDER[s]), 0.9 + 0.3) << "side " << s;
        EXPECT_LT(farthest(moved[thigh], HIP[s]), 1.328 + 0.3) << "side " << s;
        EXPECT_LT(farthest(moved[fore], SHOULDER[s]), ARM + 0.3) << "side " << s;
        EXPECT_LT(farthest(moved[shin], HIP[s]), LEG + 0.5) << "side " << s;
        // The boot reaches down to the peg and not much below it.
        double low = 1e9;
        for (const V3& p : moved[shin]) low = std::min(low, p.y);
        EXPECT_NEAR(low, peg[s].y, 0.12) << "side " << s;
    }
    // The left and right limbs mirror each other (bones 1, 2, 5, 6 left; 3, 4, 7, 8 right).
    for (int k : {1, 2, 5, 6}) {
        V3 cl = {0, 0, 0}, cr = {0, 0, 0};
        for (const V3& p : owned[k]) cl = add(cl, p);
        for (const V3& p : owned[k + 2]) cr = add(cr, p);
        ASSERT_EQ(owned[k].size(), owned[k + 2].size()) << "bone " << k;
        double n = (double)owned[k].size();
        EXPECT_NEAR(cl.x / n, -cr.x / n, 1e-3) << "bone " << k;
        EXPECT_NEAR(cl.y / n, cr.y / n, 1e-3) << "bone " << k;
        EXPECT_NEAR(cl.z / n, cr.z / n, 1e-3) << "bone " << k;
        EXPECT_LT(cl.x, 0) << "bone " << k << " is not on the left";
    }
    // The torso owns the vertices around the body's own origin, between hips and neck.
    Box torso;
    for (const V3& p : owned[0]) {
        torso.lo = {std::min(torso.lo.x, p.x), std::min(torso.lo.y, p.y),
                    std::min(torso.lo.z, p.z)};
        torso.hi = {std::max(torso.hi.x, p.x), std::max(torso.hi.y, p.y),
                    std::max(torso.hi.z, p.z)};
    }
    EXPECT_LT(torso.lo.y, HIP[0].y);
    EXPECT_GT(torso.hi.y, 0.808383 - 0.1);
}

TEST(BikeData, FirstPersonBodyHeadAndPlate) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    Jm fp = jm_read(d + "rider_body_fp.jm");
    expect_well_formed(fp, "rider_body_fp.jm");
    EXPECT_EQ(fp.version, 2);
    EXPECT_EQ(fp.bones, 9);
    // Nothing of the first-person body comes near the eye, at any first-person height:
    // eye = (0, 0.5, -0.4) + t ((0, 1.058383, -1.1933695) - (0, 0.5, -0.4)), t in 0..1.
    double closest = 1e9;
    for (const JmMesh& m : fp.meshes)
        for (const V3& p : m.pos)
            for (int i = 0; i <= 20; i++) {
                double t = i / 20.0;
                V3 eye = {0, 0.5 + t * 0.558383, -0.4 - t * 0.7933695};
                closest = std::min(closest, len(sub(p, eye)));
            }
    EXPECT_GT(closest, 0.3);
    // The full body does fill that space (the chest), so the two models really differ.
    Jm body = jm_read(d + "rider_body.jm");
    double body_closest = 1e9;
    for (const JmMesh& m : body.meshes)
        for (const V3& p : m.pos)
            body_closest = std::min(body_closest, len(sub(p, {0, 0.5, -0.4})));
    EXPECT_LT(body_closest, 0.3);

    // The helmet sits on the neck point (its origin) and closes round the eyes.
    Jm head = jm_read(d + "rider_head.jm");
    expect_well_formed(head, "rider_head.jm");
    EXPECT_EQ(head.version, 1);
    Box hb = bounds(head);
    V3 eye = {0, 1.058383 - 0.808383, -1.1933695 + 0.943369};
    EXPECT_TRUE(eye.x > hb.lo.x && eye.x < hb.hi.x && eye.y > hb.lo.y && eye.y < hb.hi.y &&
                eye.z > hb.lo.z && eye.z < hb.hi.z);
    EXPECT_GT(hb.lo.y, -0.2);
    EXPECT_NEAR(hb.lo.x, -hb.hi.x, 0.02);

    // The number plate lies on the rider's back between hips and shoulders, its face spanning
    // the texture and turned up and back (the rider leans forward).
    Jm plate = jm_read(d + "rider_plate.jm");
    expect_well_formed(plate, "rider_plate.jm");
    EXPECT_EQ(plate.version, 1);
    Box pb = bounds(plate);
    EXPECT_GT(pb.lo.z, SHOULDER[0].z);
    EXPECT_LT(pb.hi.x, SHOULDER[1].x);
    EXPECT_GT(pb.lo.x, SHOULDER[0].x);
    EXPECT_GT(pb.lo.y, HIP[0].y);
    EXPECT_LT(pb.hi.y, SHOULDER[0].y + 0.3);
    EXPECT_TRUE(spans_texture(plate, [](V3, V3 n) { return n.y > 0.3 && n.z > 0.3; }));
}

TEST(BikeData, ShapesHaveSpheresWhereTheBodiesAre) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    std::map<std::string, std::vector<Sphere>> shapes;
    for (const char* s : SHAPES) {
        ASSERT_TRUE(shape_read_file(d + s, &shapes[s])) << s;
        EXPECT_GE(shapes[s].size(), 3u) << s;
        for (const Sphere& sp : shapes[s]) {
            EXPECT_TRUE(sp.radius > 0.05 && sp.radius <= 1.2) << s;
            EXPECT_TRUE(sp.friction > 0 && sp.friction <= 1.5) << s;
            EXPECT_GE(sp.spring, 1000) << s;
            EXPECT_GT(sp.damper, 0) << s;
        }
    }
    // Body parts: none reaches the ground (y = 0) at rest with the suspension compressed a
    // third of its travel, so riding upright touches nothing but the tyres.
    struct Part {
        const char* shape;
        V3 body;
    } parts[5] = {{"generic_frame.shp", FRAME},
                  {"generic_fork_upper.shp", STEERING},
                  {"generic_fork_lower.shp", FORK_LOWER},
                  {"generic_swingarm.shp", SWINGARM},
                  {"generic_rider.shp", RIDER}};
    for (const Part& p : parts) {
        double lowest = 1e9, widest = 0, reach = 0;
        for (const Sphere& s : shapes[p.shape]) {
            V3 w = add(s.c, p.body);
            lowest = std::min(lowest, w.y - s.radius);
            widest = std::max(widest, std::fabs(w.x) + s.radius);
            reach = std::max(reach, len(s.c) + s.radius);
        }
        EXPECT_GT(lowest - 0.35, 0.2) << p.shape;
        EXPECT_LT(reach, 4.0) << p.shape << ": spheres far from their body";
        // Lying on its side the bike rests on frame parts that stick out past the tyre.
        if (p.shape == std::string("generic_frame.shp")) {
            EXPECT_GT(widest, TUBE + 0.25);
        }
    }
    // The bar ends stick out to the grips: a fall lands on them.
    double bar = 0;
    for (const Sphere& s : shapes["generic_fork_upper.shp"])
        bar = std::max(bar, std::fabs(s.c.x) + s.radius);
    EXPECT_GT(bar, GRIP[1].x);
    // Pegs: a sphere of the frame covers each peg point.
    for (int side = 0; side < 2; side++) {
        bool covered = false;
        for (const Sphere& s : shapes["generic_frame.shp"])
            covered |= len(sub(s.c, PEG[side])) < s.radius + 0.05;
        EXPECT_TRUE(covered) << "peg " << side;
    }
    // The rider's spheres hold the body and the head, and stay near the rider body.
    double rider_reach = 0, head_top = -1e9;
    for (const Sphere& s : shapes["generic_rider.shp"]) {
        rider_reach = std::max(rider_reach, len(s.c) + s.radius);
        head_top = std::max(head_top, s.c.y + s.radius);
    }
    EXPECT_GT(head_top, 0.808383 + 0.3);
    EXPECT_LT(rider_reach, 2.2);
    // The wheels' shapes trace the tyre ring: centres on the torus's core circle, no sphere
    // reaching beyond the tyre's outer radius.
    struct {
        const char* shape;
        double torus;
    } wheels[2] = {{"front_wheel.shp", FRONT_TORUS}, {"rear_wheel.shp", REAR_TORUS}};
    for (const auto& w : wheels) {
        double outer = 0;
        int on_ring = 0;
        for (const Sphere& s : shapes[w.shape]) {
            EXPECT_NEAR(s.c.x, 0, 1e-6) << w.shape;
            double r = std::hypot(s.c.y, s.c.z);
            outer = std::max(outer, r + s.radius);
            on_ring += std::fabs(r - w.torus) < 1e-3 && std::fabs(s.radius - TUBE) < 1e-3;
        }
        EXPECT_NEAR(outer, w.torus + TUBE, 1e-3) << w.shape;
        EXPECT_GE(on_ring, 8) << w.shape;
    }
}

TEST(BikeData, TextureVariantsAreFoundByThePrefixRule) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    std::vector<std::string> names = folder_names(d);
    std::vector<std::string> prefixes = {"rider_body-", "rider_head-", "wheels-"};
    std::set<std::string> textures;
    for (const Record& r : RECORDS) textures.insert(r.texture);
    for (const std::string& t : textures) prefixes.push_back(t + "-");
    for (const std::string& prefix : prefixes) {
        auto list = variants(names, prefix);
        EXPECT_GE(list.size(), 2u) << prefix;
        std::set<std::string> labels;
        for (auto& [value, label] : list) {
            EXPECT_FALSE(label.empty()) << value;
            EXPECT_EQ(label.find('-'), std::string::npos)
                << value << ": a second \"-\" asks for model variants";
            labels.insert(label);
            PngHeader h = png_header(data_path(d, value));
            EXPECT_TRUE(h.ok && h.colour_type == 2 && h.width == 256 && h.height == 256) << value;
            // A variant is a different picture from the default.
            std::string base = prefix.substr(0, prefix.size() - 1) + ".png";
            EXPECT_NE(read_file(data_path(d, value)), read_file(d + base)) << value;
        }
        EXPECT_EQ(labels.size(), list.size()) << prefix;
    }
    // "yz250f-" does not pick up the special edition's "yz250f_se" pictures.
    for (auto& [value, label] : variants(names, "yz250f-"))
        EXPECT_EQ(value.find("_se"), std::string::npos) << value;
    // Each stem wears its own colour; a "-blue" variant is blue.
    std::map<std::string, char> hue = {{"crf250", 'r'}, {"cr125", 'r'},  {"kx250f", 'g'},
                                       {"kx125", 'g'},  {"rmz250", 'y'}, {"rm125", 'y'},
                                       {"yz250f", 'b'}, {"yz125", 'b'},  {"125sx", 'o'}};
    for (auto& [stem, h] : hue) EXPECT_EQ(dominant_hue(d + stem + ".png"), h) << stem;
    for (const char* v :
         {"crf250-blue.png", "kx125-blue.png", "125sx-blue.png", "rider_body-blue.png"})
        EXPECT_EQ(dominant_hue(d + v), 'b') << v;
    EXPECT_EQ(dominant_hue(d + "rider_body-red.png"), 'r');
    // The game's own lists agree with the rule as written here.
    data_reset();
    for (const std::string& prefix : prefixes) {
        std::vector<const char*> values, labels;
        texture_variants(prefix.c_str(), &values, &labels);
        auto expect = variants(names, prefix);
        ASSERT_EQ(values.size(), expect.size() + 1) << prefix;
        EXPECT_EQ(values[0], nullptr);
        for (size_t i = 0; i < expect.size(); i++) {
            EXPECT_EQ(std::string(values[i + 1]), expect[i].first);
            EXPECT_EQ(std::string(labels[i + 1]), expect[i].second);
        }
    }
}

TEST(BikeData, PipeFilesConfigureTheExhaust) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    struct Line {
        double length, spread, gain;
        int first, last;
    };
    auto pipes = [&](const std::string& name) {
        std::vector<Line> out;
        for (std::string l : split_lines(read_file(d + name))) {
            size_t hash = l.find('#');
            if (hash != std::string::npos) l.erase(hash);
            Line p = {5.0, 0.9182072, -0.85, 0, 15};
            int n = sscanf(l.c_str(), " pipe %lf %lf %lf %d %d", &p.length, &p.spread, &p.gain,
                           &p.first, &p.last);
            if (l.find("pipe") == std::string::npos) continue;
            EXPECT_EQ(n, 5) << name << ": " << l;
            out.push_back(p);
        }
        return out;
    };
    // The defaults restate the built-in pipes of each engine kind.
    std::vector<Line> four = pipes("default250f.pipeinfo"), two = pipes("default125.pipeinfo");
    ASSERT_EQ(four.size(), 1u);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_NEAR(four[0].length, 5.0, 1e-6);
    EXPECT_NEAR(four[0].spread, 0.9182072, 1e-6);
    EXPECT_NEAR(four[0].gain, -0.85, 1e-6);
    EXPECT_NEAR(two[0].length, 1.75, 1e-6);
    EXPECT_NEAR(two[0].spread, 0.3, 1e-6);
    EXPECT_NEAR(two[0].gain, -0.75, 1e-6);
    EXPECT_EQ(four[0].first, 0);
    EXPECT_EQ(four[0].last, 15);
    // Each bike texture's pipe file: found by the lookup from the texture and from a variant of
    // it ("@crf250-blue.png" -> "@crf250-blue.pipeinfo", then "@crf250.pipeinfo"); taps in
    // range and not shared, the summed gain below 1 so that the feedback dies away, a
    // two-stroke's pipe shorter than a four-stroke's.
    for (const Record& r : RECORDS) {
        std::string own = std::string(r.texture) + ".pipeinfo";
        ASSERT_TRUE(file_exists(d + own)) << own;
        std::vector<Line> lines = pipes(own);
        ASSERT_FALSE(lines.empty()) << own;
        std::set<int> taps;
        double total = 0;
        for (const Line& l : lines) {
            EXPECT_TRUE(l.first >= 0 && l.last <= 15 && l.first <= l.last) << own;
            for (int t = l.first; t <= l.last; t++) EXPECT_TRUE(taps.insert(t).second) << own;
            total += std::fabs(l.gain); // the gain G is shared by the line's taps
            EXPECT_GT(l.length - std::min(l.length, l.spread), 0.0) << own;
        }
        EXPECT_LT(total, 1.0) << own;
        if (r.two_stroke)
            EXPECT_LT(lines[0].length, 3.0) << own;
        else
            EXPECT_GT(lines[0].length, 3.0) << own;
    }
}

TEST(BikeData, SameBytesOnEveryRun) {
    std::string a = generate({"bikes"}, "a"), b = generate({"bikes"}, "b");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    std::vector<std::string> na = folder_names(a), nb = folder_names(b);
    EXPECT_EQ(na, nb);
    for (const std::string& n : na)
        if (n != "summary.txt") {
            EXPECT_EQ(read_file(a + n), read_file(b + n)) << n;
        }
}

TEST(BikeData, GameReadersLoadEveryBikeFile) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    data_reset();
    struct Caches { // emptied however the test ends
        ~Caches() {
            model_reset();
            shape_reset();
        }
    } caches;
    std::set<std::string> models = {"@front_wheel.jm", "@rear_wheel.jm",    "@rider_head.jm",
                                    "@rider_body.jm",  "@rider_body_fp.jm", "@rider_plate.jm"};
    for (const Record& r : RECORDS)
        for (const char* part : BIKE_PARTS)
            models.insert(std::string("@") + r.stem + "_" + part + ".jm");
    for (const std::string& name : models) {
        Model* m = model_get(name.c_str());
        ASSERT_NE(m, nullptr) << name;
        int meshes = 0;
        for (Mesh* mesh = m->meshes; mesh; mesh = mesh->next) {
            meshes++;
            bool skinned = name.rfind("@rider_body", 0) == 0;
            EXPECT_EQ(mesh->weight_count, skinned ? 9 : 0) << name;
            EXPECT_GT(mesh->triangle_count, 0) << name;
        }
        // The file's meshes all arrive (the reader stops quietly at a header it cannot read).
        EXPECT_EQ(meshes, (int)jm_read(data_path(d, name)).meshes.size()) << name;
    }
    // The wheels' distant variant joins the chain at 2^5 feet.
    Model* wheel = model_get("@front_wheel.jm");
    ASSERT_NE(wheel, nullptr);
    ASSERT_NE(wheel->next_lod, nullptr);
    EXPECT_FLOAT_EQ(wheel->next_lod->lod_distance, 32.0f);
    for (const char* s : SHAPES) {
        std::string name = std::string("@") + s;
        Shape* shape = shape_get(name.c_str());
        ASSERT_NE(shape, nullptr) << name;
        std::vector<Sphere> mine;
        ASSERT_TRUE(shape_read_file(d + s, &mine));
        ASSERT_EQ(shape->count, (int)mine.size()) << name;
        double bound = 0;
        for (const Sphere& sp : mine) bound = std::max(bound, len(sp.c) + sp.radius);
        EXPECT_NEAR(shape->radius, bound, 1e-4) << name;
    }
}

// The catalogue names exactly the files listed here, and every record loads from the
// generated data with all its models and shapes and no warning, with its own textures or
// with variants chosen in the settings.
TEST(BikeData, EveryCatalogueRecordLoads) {
    std::string d = bikes_data();
    ASSERT_FALSE(d.empty());
    data_reset();
    std::string log_path = test_dir() + "/log.txt";
    log_setup(("DRUV_LOGFILE=" + log_path).c_str());
    // The physics world and the managers' caches, emptied again however the test ends.
    struct World {
        World() {
            g_settings.headless = 1; // no window: the texture manager decodes without GL
            bikes_reset();
            physics_open();
        }
        ~World() {
            texture_reset();
            model_reset();
            shape_reset();
            g_settings.headless = 0;
            physics_close_contacts();
            physics_close_world();
        }
    } world;
    ASSERT_EQ(BIKE_INFO_COUNT, 18);
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeInfo* info = bike_info_at(i);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, RECORDS[i].name);
        for (const char* name : info->files.model)
            EXPECT_TRUE(file_exists(data_path(d, name))) << name;
        for (const char* name : info->files.shape)
            EXPECT_TRUE(file_exists(data_path(d, name))) << name;
        for (const char* name : info->files.texture)
            EXPECT_TRUE(file_exists(data_path(d, name))) << name;
        EXPECT_EQ(std::string(info->files.texture[BIKE_TEX_BIKE]),
                  std::string("@") + RECORDS[i].texture + ".png");
        Bike* b = bike_load(info->name, 1, "42", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(b, nullptr) << info->name;
        for (int m = 0; m < BIKE_MODEL_COUNT; m++)
            EXPECT_NE(b->models[m], nullptr) << info->name << " model " << m;
        for (int s = 0; s < BIKE_BODY_COUNT; s++)
            EXPECT_NE(b->shapes[s], nullptr) << info->name << " shape " << s;
        for (int t = 0; t < BIKE_TEX_COUNT; t++)
            EXPECT_NE(b->textures[t], 0u) << info->name << " texture " << t;
        bike_free(b);
    }
    Bike* b = bike_load("kx125", 2, "7", "@rider_body-red.png", "@rider_head-green.png",
                        "@kx125-blue.png", "@wheels-gold.png");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->texture_names[BIKE_TEX_BIKE], "@kx125-blue.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_WHEELS], "@wheels-gold.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_RIDER], "@rider_body-red.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_HEAD], "@rider_head-green.png");
    bike_free(b);
    std::string log = read_file(log_path);
    EXPECT_EQ(log.find("Warning"), std::string::npos) << log;
    EXPECT_EQ(log.find("Can't"), std::string::npos) << log;
}
