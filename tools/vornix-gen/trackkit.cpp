// The track kit: lanes and their profiles, the height field and tile map built from them,
// timing gates, and the text of the track object files.
#include <algorithm>
#include <cmath>

#include "track.h"

void lane_begin(Lane* l, float x, float z, float dx, float dz) {
    path_begin(&l->path, x, z, dx, dz);
    l->marks.clear();
}

void lane_straight(Lane* l, float length) {
    path_straight(&l->path, length);
    l->marks.push_back(l->path.length);
}

void lane_arc(Lane* l, float radius, float degrees) {
    path_arc(&l->path, radius, degrees);
    l->marks.push_back(l->path.length);
}

void lane_finish(Lane* l, int closed, float half_width, uint8_t surface) {
    l->path.closed = closed;
    size_t n = (size_t)std::ceil(l->path.length) + 1;
    l->base.assign(n, 0);
    l->feature.assign(n, 0);
    l->half_width.assign(n, half_width);
    l->berm.assign(n, 0);
    l->camber.assign(n, 0);
    l->surface.assign(n, surface);
}

int lane_index(const Lane& l, float s) {
    int n = (int)l.base.size();
    if (l.path.closed) {
        float len = l.path.length;
        s = std::fmod(s, len);
        if (s < 0) s += len;
    }
    int k = (int)std::lround(s);
    return std::clamp(k, 0, n - 1);
}

float lane_value(const Lane& l, const std::vector<float>& v, float s) {
    int n = (int)v.size();
    if (l.path.closed) {
        float len = l.path.length;
        s = std::fmod(s, len);
        if (s < 0) s += len;
    }
    s = clampf(s, 0, (float)(n - 1));
    int k = (int)std::floor(s);
    if (k >= n - 1) return v[n - 1];
    return lerpf(v[k], v[k + 1], s - k);
}

void lane_base_from_ground(Lane* l, const std::function<float(float, float)>& ground,
                           float window) {
    size_t n = l->base.size();
    std::vector<float> raw(n);
    for (size_t k = 0; k < n; k++) {
        PathPoint p = path_at(l->path, (float)k);
        raw[k] = ground(p.x, p.z);
    }
    int w = (int)window;
    for (size_t k = 0; k < n; k++) {
        double sum = 0;
        int count = 0;
        for (int o = -w; o <= w; o++) {
            long at = (long)k + o;
            if (l->path.closed) {
                // The first and last entries are the same point of a closed lane.
                long period = (long)n - 1;
                at = ((at % period) + period) % period;
            } else if (at < 0 || at >= (long)n) {
                continue;
            }
            sum += raw[(size_t)at];
            count++;
        }
        l->base[k] = (float)(sum / count);
    }
}

void lane_add_profile(Lane* l, float s0, const std::vector<float>& knots) {
    if (knots.size() < 4) return;
    float first = knots[0], last = knots[knots.size() - 2];
    for (int k = (int)std::floor(s0 + first); k <= (int)std::ceil(s0 + last); k++) {
        float ds = k - s0;
        float h = 0;
        for (size_t q = 0; q + 3 < knots.size(); q += 2) {
            if (ds >= knots[q] && ds <= knots[q + 2]) {
                float span = knots[q + 2] - knots[q];
                float t = span > 0 ? (ds - knots[q]) / span : 0;
                h = lerpf(knots[q + 1], knots[q + 3], t);
                break;
            }
        }
        l->feature[(size_t)lane_index(*l, (float)k)] += h;
    }
}

void lane_add_bumps(Lane* l, float s0, int count, float spacing, float height) {
    for (int k = 0; k <= (int)std::ceil(count * spacing); k++) {
        float t = k / spacing;
        float bump = std::sin(t * GEN_PI);
        l->feature[(size_t)lane_index(*l, s0 + k)] += height * bump * bump;
    }
}

void lane_set_surface(Lane* l, float s0, float s1, uint8_t surface) {
    for (int k = (int)std::floor(s0); k <= (int)std::ceil(s1); k++)
        l->surface[(size_t)lane_index(*l, (float)k)] = surface;
}

void lane_set_width(Lane* l, float s0, float s1, float half_width) {
    for (int k = (int)std::floor(s0); k <= (int)std::ceil(s1); k++)
        l->half_width[(size_t)lane_index(*l, (float)k)] = half_width;
}

// The sign of a stored berm or camber tells which side is outside: > 0 for a right turn, whose
// outside is on the left. Straight bits inside the range take the side of the nearest turn,
// so that the shape eases out instead of dropping where an arc ends.
static void lane_set_turn_shape(Lane* l, std::vector<float>* out, float s0, float s1, float height,
                                float ease) {
    int a = (int)std::floor(s0), b = (int)std::ceil(s1);
    std::vector<float> side((size_t)(b - a + 1), 0.0f);
    for (int k = a; k <= b; k++) {
        float c = path_at(l->path, (float)k).curve;
        side[(size_t)(k - a)] = c > 0 ? 1.0f : (c < 0 ? -1.0f : 0.0f);
    }
    float last = 0;
    for (float& v : side) v = v != 0 ? (last = v) : last;
    last = 0;
    for (size_t q = side.size(); q-- > 0;) side[q] = side[q] != 0 ? (last = side[q]) : last;
    for (int k = a; k <= b; k++) {
        float e = std::min(smoothstepf(s0, s0 + ease, (float)k),
                           1 - smoothstepf(s1 - ease, s1, (float)k));
        (*out)[(size_t)lane_index(*l, (float)k)] = side[(size_t)(k - a)] * height * e;
    }
}

void lane_set_berm(Lane* l, float s0, float s1, float height, float ease) {
    lane_set_turn_shape(l, &l->berm, s0, s1, height, ease);
}

void lane_set_camber(Lane* l, float s0, float s1, float drop, float ease) {
    lane_set_turn_shape(l, &l->camber, s0, s1, drop, ease);
}

void lane_point(const Lane& l, float s, float d, float* x, float* z) {
    PathPoint p = path_at(l.path, s);
    *x = p.x - p.dz * d;
    *z = p.z + p.dx * d;
}

/*
 * "tileinfo": per surface type its lines, closed by "addtile":
 *   texture <data name>
 *   friction <coefficient> <speed>                  (up to 8, any order)
 *   roll_resist <no sinkage> <full sinkage> <speed> (up to 8)
 *   roost <key=value ...>                           (up to 4)
 */
std::string tileinfo_text(const std::vector<SurfaceDef>& surfaces) {
    std::string out;
    for (const SurfaceDef& s : surfaces) {
        out += "texture " + s.texture + "\n";
        for (size_t k = 0; k + 1 < s.friction.size(); k += 2)
            out += strf("friction %g %g\n", s.friction[k], s.friction[k + 1]);
        for (size_t k = 0; k + 2 < s.roll_resist.size(); k += 3)
            out += strf("roll_resist %g %g %g\n", s.roll_resist[k], s.roll_resist[k + 1],
                        s.roll_resist[k + 2]);
        for (const std::string& r : s.roosts) out += "roost " + r + "\n";
        out += "addtile\n";
    }
    return out;
}

// The height of a lane's bed at arc length s, d feet to the right of its centre line, how
// strongly the lane claims that point (1 on the lane, falling to 0 across its shoulder) and,
// apart, the height its features (jumps, whoops) stand above the bed there.
static float lane_height(const Lane& l, const std::vector<float>& sides, const FieldPlan& plan,
                         float shoulder_max, float s, float d, float g, float* claim,
                         float* feature_lift) {
    float ad = std::fabs(d);
    float w = lane_value(l, l.half_width, s);
    float side = lane_value(l, sides, s);
    *feature_lift = lane_value(l, l.feature, s) * (1 - smoothstepf(w, w + side, ad));
    float h = lane_value(l, l.base, s);
    float camber = lane_value(l, l.camber, s);
    if (camber != 0) {
        float outside = camber > 0 ? -d : d;
        h -= std::fabs(camber) * clampf(outside / w, -1, 1);
    }
    float berm = lane_value(l, l.berm, s);
    float edge = w + 2;
    if (berm != 0) {
        // The bank starts rising a third of the way in from the inside edge: added on both
        // sides of the centre line, or the ground would step where d changes sign.
        float outside = berm > 0 ? -d : d;
        h += std::fabs(berm) * smoothstepf(-0.3f * w, w + 3, outside);
        if (outside > 0) edge = w + 6;
    }
    // The shoulder widens where the lane lies far above or below the ground, for the same
    // reason: a bank, not a cliff, between the track and the field.
    float shoulder = clampf(4.0f * std::fabs(h - g), plan.shoulder, shoulder_max);
    *claim = 1 - smoothstepf(edge, std::max(edge + 1, w + shoulder), ad);
    return h;
}

void field_build(TerrainGen* t, NearField* near, const FieldPlan& plan) {
    std::vector<const Path*> paths;
    float widest = 0;
    for (Lane* l : plan.lanes) {
        paths.push_back(&l->path);
        for (float w : l->half_width) widest = std::max(widest, w);
    }
    int p = t->samples;
    float shoulder_max = std::max(plan.shoulder, plan.shoulder_max);
    float reach = widest + shoulder_max + 8;
    nearfield_build(near, p, t->spacing, paths, reach);
    // Where lanes meet (a start chute joining the loop), each lane's own nearest point: the
    // ground blends their heights by how strongly each claims it, instead of stepping where
    // the nearest lane changes.
    std::vector<NearField> own(paths.size() > 1 ? paths.size() : 0);
    // A jump's sides fall away over four times the height of the tallest part within 40 feet
    // along the lane: no wall beside it steeper than about 21 degrees (a smoothstep's steepest
    // slope is 1.5 x rise / run), even where the jump's own height changes quickly. The sides
    // stand on the shoulder's bank, so the two slopes add rather than multiply.
    std::vector<std::vector<float>> sides(plan.lanes.size());
    for (size_t q = 0; q < plan.lanes.size(); q++) {
        const Lane& l = *plan.lanes[q];
        sides[q].assign(l.feature.size(), 7.0f);
        for (size_t k = 0; k < l.feature.size(); k++)
            for (int o = -40; o <= 40; o++) {
                float f = std::fabs(l.feature[(size_t)lane_index(l, (float)k + o)]);
                sides[q][k] = std::max(sides[q][k], 4.0f * f);
            }
    }
    for (size_t q = 0; q < own.size(); q++)
        nearfield_build(&own[q], p, t->spacing, {paths[q]}, reach);
    for (int j = 0; j < p; j++)
        for (int i = 0; i < p; i++) {
            size_t at = (size_t)i + (size_t)p * j;
            float x = i * t->spacing, z = j * t->spacing;
            float g = plan.ground(x, z);
            if (near->path[at] < 0) {
                t->heights[at] = g;
                continue;
            }
            float claim, feature, lift = 0, total = 0, features = 0;
            if (own.empty()) {
                float h = lane_height(*plan.lanes[0], sides[0], plan, shoulder_max, near->s[at],
                                      near->d[at], g, &claim, &feature);
                t->heights[at] = lerpf(h, g, 1 - claim) + feature;
                continue;
            }
            for (size_t q = 0; q < own.size(); q++) {
                if (own[q].path[at] < 0) continue;
                float h = lane_height(*plan.lanes[q], sides[q], plan, shoulder_max, own[q].s[at],
                                      own[q].d[at], g, &claim, &feature);
                lift += claim * (h - g);
                total += claim;
                features += feature;
            }
            t->heights[at] = g + lift / std::max(1.0f, total) + features;
        }
    int n = t->tiles;
    for (int tj = 0; tj < n; tj++)
        for (int ti = 0; ti < n; ti++) {
            size_t at = (size_t)(2 * ti + 1) + (size_t)p * (2 * tj + 1);
            float x = (2 * ti + 1) * t->spacing, z = (2 * tj + 1) * t->spacing;
            int which = near->path[at];
            int surface = -1;
            if (which >= 0) {
                const Lane& l = *plan.lanes[(size_t)which];
                float w = lane_value(l, l.half_width, near->s[at]);
                if (std::fabs(near->d[at]) <= w + 1.0f)
                    surface = l.surface[(size_t)lane_index(l, near->s[at])];
            }
            if (surface < 0 && plan.off_track_surface) surface = plan.off_track_surface(x, z);
            if (surface < 0) surface = plan.off_surface;
            t->tilemap[(size_t)ti + (size_t)n * tj] = (uint8_t)surface;
        }
}

void start_slots_build(GateSet* g, const Lane& chute, float gate_s, int count, float inside) {
    std::vector<float> offsets;
    for (int k = 0; k < count; k++) offsets.push_back((k - (count - 1) / 2.0f) * 3.3f);
    // Nearest to a point a foot inside the middle first; of two as near, the inside one.
    float bias = inside > 0 ? 1.0f : -1.0f;
    std::sort(offsets.begin(), offsets.end(), [bias](float a, float b) {
        float da = std::fabs(a - bias), db = std::fabs(b - bias);
        return da != db ? da < db : a * bias > b * bias;
    });
    PathPoint p = path_at(chute.path, gate_s);
    for (float o : offsets) {
        float x, z;
        lane_point(chute, gate_s, o, &x, &z);
        g->slots.push_back({x, 0, z, heading_angle(p.dx, p.dz)});
    }
}

float heading_angle(float dx, float dz) {
    float a = std::atan2(-dx, -dz);
    return a == 0 ? 0.0f : a; // no "-0.000000" in the files
}

void gates_build(GateSet* g, const Lane& loop, const TerrainGen& t, float finish_s, float merge_s,
                 float spacing, int segment_every, const std::vector<int>& chute_refs) {
    float len = loop.path.length;
    int n = std::max(3, (int)std::lround(len / spacing));
    float to_merge = std::fmod(merge_s - finish_s + 2 * len, len);
    g->first_lap = chute_refs;
    g->normal_lap.clear();
    for (int k = 1; k <= n; k++) {
        float from_finish = len * k / n;
        float s = finish_s + from_finish;
        PathPoint p = path_at(loop.path, s);
        GateDef gate;
        gate.radius = lane_value(loop, loop.half_width, s) + 10;
        gate.x = p.x;
        gate.z = p.z;
        gate.y = terrain_gen_height(t, p.x, p.z);
        gate.dx = p.dx;
        gate.dy = 0;
        gate.dz = p.dz;
        gate.s = std::fmod(s, len);
        int index = (int)g->gates.size();
        g->gates.push_back(gate);
        int segment = (k % segment_every) == 0 || k == n;
        int ref = segment ? index : index + 100000;
        g->normal_lap.push_back(ref);
        if (from_finish > to_merge + 15) g->first_lap.push_back(ref);
    }
}

int gate_segments(const std::vector<int>& list) {
    int count = 0;
    for (int r : list) count += r < 100000;
    return count;
}

/*
 * "timing_gates": "startinggate:" and a "[x y z] angle" line per start slot; "checkpoints:"
 * and a "radius [x y z] [dx dy dz]" line per gate; "firstlap:" and "normallap:" each followed
 * by one line of gate references (gate index, + 100000 for an intermediate gate).
 */
std::string timing_gates_text(const GateSet& g) {
    std::string out;
    if (!g.slots.empty()) {
        out += "startinggate:\n";
        for (const StartSlot& s : g.slots) out += strf("[%f %f %f] %f\n", s.x, s.y, s.z, s.angle);
    }
    if (!g.gates.empty()) {
        out += "checkpoints:\n";
        for (const GateDef& q : g.gates)
            out += strf("%f [%f %f %f] [%f %f %f]\n", q.radius, q.x, q.y, q.z, q.dx, q.dy, q.dz);
    }
    if (!g.first_lap.empty() && !g.normal_lap.empty()) {
        out += "firstlap:\n";
        for (int r : g.first_lap) out += strf("%d ", r);
        out += "\nnormallap:\n";
        for (int r : g.normal_lap) out += strf("%d ", r);
        out += "\n";
    }
    return out;
}

// "billboards": "[x y z] width height texture" with y above the ground.
std::string billboards_text(const std::vector<Billboard>& b) {
    std::string out;
    for (const Billboard& q : b)
        out += strf("[%f %f %f] %f %f %s\n", q.x, q.y, q.z, q.width, q.height, q.texture.c_str());
    return out;
}

// "statues": "[x y z] angle model texture shape" with y above the ground.
std::string statues_text(const std::vector<Statue>& s) {
    std::string out;
    for (const Statue& q : s)
        out += strf("[%f %f %f] %f %s %s %s\n", q.x, q.y, q.z, q.angle, q.model.c_str(),
                    q.texture.c_str(), q.shape.c_str());
    return out;
}

void statues_off_lanes(std::vector<Statue>* statues, const std::vector<Lane*>& lanes,
                       float margin) {
    auto on_a_lane = [&](const Statue& st) {
        for (const Lane* l : lanes)
            for (size_t k = 0; k < l->path.pts.size(); k++) {
                const PathPoint& p = l->path.pts[k];
                float w = lane_value(*l, l->half_width, p.s) + margin;
                float dx = st.x - p.x, dz = st.z - p.z;
                if (dx * dx + dz * dz < w * w) return true;
            }
        return false;
    };
    statues->erase(std::remove_if(statues->begin(), statues->end(), on_a_lane), statues->end());
}

void scatter_trees(std::vector<Billboard>* out, const NearField& near,
                   const std::vector<Lane*>& lanes, float extent, int count, float clear,
                   const std::vector<std::string>& trees, uint32_t seed) {
    GenRandom r;
    gen_random_seed(&r, seed);
    int placed = 0;
    for (int tries = 0; placed < count && tries < count * 40; tries++) {
        float x = gen_random_range(&r, 30, extent - 30), z = gen_random_range(&r, 30, extent - 30);
        // Woods come in clumps: a noise threshold thins the open ground.
        if (fbm2(x / 300, z / 300, 3, seed) < 0.45f && gen_random_unit(&r) < 0.7f) continue;
        int i = (int)std::lround(x / near.spacing), j = (int)std::lround(z / near.spacing);
        size_t at = (size_t)i + (size_t)near.size * j;
        if (near.path[at] >= 0) {
            const Lane& l = *lanes[(size_t)near.path[at]];
            if (near.dist[at] < lane_value(l, l.half_width, near.s[at]) + clear) continue;
        }
        size_t kind = gen_random_u32(&r) % trees.size();
        float h = gen_random_range(&r, 16, 38);
        float w = h * 0.5f;
        if (trees[kind].find("bush") != std::string::npos) {
            h = gen_random_range(&r, 3, 6);
            w = h * 2;
        }
        out->push_back({x, h / 2 - 0.3f, z, w, h, trees[kind]});
        placed++;
    }
}

Canvas paint_track_map(const std::vector<Lane*>& lanes, float extent, float start_x, float start_z,
                       float finish_x, float finish_z) {
    const int size = 256;
    Canvas c = canvas_new(size, size, rgb(1, 1, 1, 0));
    float k = size / extent;
    for (int pass = 0; pass < 2; pass++)
        for (const Lane* l : lanes) {
            const std::vector<PathPoint>& pts = l->path.pts;
            for (size_t q = 0; q + 4 < pts.size(); q += 4) {
                float w = pass == 0 ? 6.0f : 3.0f;
                Colour col = pass == 0 ? rgb(0.1f, 0.1f, 0.1f, 0.85f) : rgb(0.95f, 0.95f, 0.95f, 1);
                paint_line(&c, pts[q].x * k, pts[q].z * k, pts[q + 4].x * k, pts[q + 4].z * k, w,
                           col);
            }
        }
    paint_circle(&c, start_x * k, start_z * k, 5, rgb(0.1f, 0.8f, 0.2f));
    paint_circle(&c, finish_x * k, finish_z * k, 5, rgb(0.9f, 0.1f, 0.1f));
    return c;
}

std::string summary_text(const TrackSummary& s) {
    std::string out = "track " + s.name + "\n";
    out += strf("shift %d\nsamples %d\nspacing %f\nmin_height %f\nmax_height %f\n", s.shift,
                s.samples, s.spacing, s.min_height, s.max_height);
    out += strf("lap_length %.1f\ngates %d\nfirst_lap %d\nnormal_lap %d\n", s.lap_length, s.gates,
                s.first_lap, s.normal_lap);
    out += strf("first_segments %d\nnormal_segments %d\nstart_slots %d\nsurfaces %d\n",
                s.first_segments, s.normal_segments, s.start_slots, s.surfaces);
    out += strf("billboards %d\nstatues %d\ngate_flaggers %d\ndecals %d\n", s.billboards, s.statues,
                s.gate_flaggers, s.decals);
    out += "heights_digest " + s.heights_digest + "\n";
    for (const std::string& e : s.extra) out += e + "\n";
    return out;
}

void track_summary_fill(TrackSummary* sum, const char* name, const TerrainGen& t, const Lane& loop,
                        const GateSet& g, size_t surfaces, size_t billboards, size_t statues,
                        int gate_flaggers, int decals) {
    sum->name = name;
    sum->shift = t.shift;
    sum->samples = t.samples;
    sum->spacing = t.spacing;
    sum->min_height = t.min_height;
    sum->max_height = t.max_height;
    sum->lap_length = loop.path.length;
    sum->gates = (int)g.gates.size();
    sum->first_lap = (int)g.first_lap.size();
    sum->normal_lap = (int)g.normal_lap.size();
    sum->first_segments = gate_segments(g.first_lap);
    sum->normal_segments = gate_segments(g.normal_lap);
    sum->start_slots = (int)g.slots.size();
    sum->surfaces = (int)surfaces;
    sum->billboards = (int)billboards;
    sum->statues = (int)statues;
    sum->gate_flaggers = gate_flaggers;
    sum->decals = decals;
    PathPoint end = loop.path.pts.back(), begin = loop.path.pts.front();
    sum->extra.push_back(strf("loop_closure %.3f", std::hypot(end.x - begin.x, end.z - begin.z)));
}

std::string gate_flagger_text(const GateSet& g, const Lane& loop, float s, float d, float reach) {
    int refs[4] = {-1, -1, -1, -1}, n = 0;
    for (size_t k = 0; k < g.gates.size() && n < 4; k++) {
        float ahead = std::fmod(g.gates[k].s - s + 2 * loop.path.length, loop.path.length);
        if (g.gates[k].s >= 0 && ahead < reach) refs[n++] = (int)k;
    }
    float x, z;
    lane_point(loop, s, d, &x, &z);
    return strf("[%f %f %f] %f %f %d %d %d %d @flaggers/gate.png @flaggers/gate_warn.png\n", x,
                3.0f, z, 3.0f, 6.0f, refs[0], refs[1], refs[2], refs[3]);
}

std::string tyre_mark_decals(const Lane& loop, float margin, float spacing, int* count) {
    std::string decals;
    int n = 0;
    for (float s = margin; s < loop.path.length - margin; s += spacing) {
        PathPoint p = path_at(loop.path, s);
        float x, z;
        lane_point(loop, s, (n % 3 - 1) * 3.0f, &x, &z);
        decals += strf("[%f %f] %f %f %f %s\n", x, z, std::atan2(-p.dz, p.dx), 9.0f, 4.0f,
                       "@sprites/ruts.png");
        n++;
    }
    *count += n;
    return decals;
}

std::string lighting_text(const Lighting& light, const std::string& body, const std::string& fog) {
    return strf("sun_vector [ %f %f %f ]\n", light.sun[0], light.sun[1], light.sun[2]) + body +
           strf("flare_vector [ %f %f %f ]\n", light.sun[0], light.sun[1], light.sun[2]) + fog;
}
