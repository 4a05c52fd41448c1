// Track centre lines (straights and arcs, like a surveyor's plan) and the field that tells
// every height sample which centre line is nearest, where along it and how far to the side.
#include <cmath>

#include "gen.h"

static void path_push(Path* p, float x, float z, float dx, float dz, float curve) {
    PathPoint q;
    q.x = x;
    q.z = z;
    q.dx = dx;
    q.dz = dz;
    q.curve = curve;
    q.s = 0;
    if (!p->pts.empty()) {
        const PathPoint& l = p->pts.back();
        q.s = l.s + std::sqrt((x - l.x) * (x - l.x) + (z - l.z) * (z - l.z));
    }
    p->pts.push_back(q);
    p->length = q.s;
}

void path_begin(Path* p, float x, float z, float heading_dx, float heading_dz) {
    p->pts.clear();
    p->length = 0;
    p->closed = 0;
    float n = std::sqrt(heading_dx * heading_dx + heading_dz * heading_dz);
    path_push(p, x, z, heading_dx / n, heading_dz / n, 0);
}

void path_straight(Path* p, float length) {
    PathPoint a = p->pts.back();
    int steps = (int)std::ceil(length);
    for (int k = 1; k <= steps; k++) {
        float t = length * k / steps;
        path_push(p, a.x + a.dx * t, a.z + a.dz * t, a.dx, a.dz, 0);
    }
}

// Turning right means clockwise seen from above with z pointing down the page: the right of
// a direction (dx, dz) is (-dz, dx).
void path_arc(Path* p, float radius, float degrees) {
    PathPoint a = p->pts.back();
    float side = degrees > 0 ? 1.0f : -1.0f;
    float rx = -a.dz * side, rz = a.dx * side; // toward the centre
    float cx = a.x + rx * radius, cz = a.z + rz * radius;
    float total = std::fabs(degrees) * GEN_PI / 180.0f;
    int steps = (int)std::ceil(total * radius);
    for (int k = 1; k <= steps; k++) {
        float ang = side * total * k / steps;
        float c = std::cos(ang), s = std::sin(ang);
        // Rotate the start's offset from the centre and its direction by ang.
        float ox = a.x - cx, oz = a.z - cz;
        float x = cx + ox * c - oz * s, z = cz + ox * s + oz * c;
        float dx = a.dx * c - a.dz * s, dz = a.dx * s + a.dz * c;
        path_push(p, x, z, dx, dz, side / radius);
    }
}

PathPoint path_at(const Path& p, float s) {
    if (p.closed && p.length > 0) {
        s = std::fmod(s, p.length);
        if (s < 0) s += p.length;
    }
    s = clampf(s, 0, p.length);
    // Points are about one foot apart: start from the estimate and walk.
    size_t n = p.pts.size();
    size_t i =
        (size_t)clampf(s / (p.length > 0 ? p.length : 1) * (float)(n - 1), 0, (float)(n - 1));
    while (i > 0 && p.pts[i].s > s) i--;
    while (i + 1 < n && p.pts[i + 1].s <= s) i++;
    if (i + 1 >= n) return p.pts[n - 1];
    const PathPoint& a = p.pts[i];
    const PathPoint& b = p.pts[i + 1];
    float t = b.s > a.s ? (s - a.s) / (b.s - a.s) : 0;
    PathPoint q = a;
    q.x = lerpf(a.x, b.x, t);
    q.z = lerpf(a.z, b.z, t);
    q.s = s;
    q.curve = t < 0.5f ? a.curve : b.curve;
    float dx = lerpf(a.dx, b.dx, t), dz = lerpf(a.dz, b.dz, t);
    float len = std::sqrt(dx * dx + dz * dz);
    q.dx = dx / len;
    q.dz = dz / len;
    return q;
}

// Every segment of every path visits the samples within reach of it and keeps itself where
// it is the nearest so far: a few million distance tests for a whole track.
void nearfield_build(NearField* f, int samples, float spacing,
                     const std::vector<const Path*>& paths, float reach) {
    size_t count = (size_t)samples * samples;
    f->size = samples;
    f->spacing = spacing;
    f->path.assign(count, -1);
    f->s.assign(count, 0);
    f->d.assign(count, 0);
    f->dist.assign(count, 1e9f);
    int r = (int)std::ceil((reach + 3) / spacing) + 1;
    for (size_t pi = 0; pi < paths.size(); pi++) {
        const Path& p = *paths[pi];
        // Chords of four points: on the tightest arcs they stray a few hundredths of a foot.
        for (size_t k = 0; k + 1 < p.pts.size(); k += 4) {
            size_t k1 = k + 4 < p.pts.size() ? k + 4 : p.pts.size() - 1;
            const PathPoint& a = p.pts[k];
            const PathPoint& b = p.pts[k1];
            int ci = (int)std::lround((a.x + b.x) / 2 / spacing);
            int cj = (int)std::lround((a.z + b.z) / 2 / spacing);
            for (int j = cj - r; j <= cj + r; j++) {
                if (j < 0 || j >= samples) continue;
                for (int i = ci - r; i <= ci + r; i++) {
                    if (i < 0 || i >= samples) continue;
                    float x = i * spacing, z = j * spacing, t;
                    float dist = segment_distance(x, z, a.x, a.z, b.x, b.z, &t);
                    size_t at = (size_t)i + (size_t)samples * j;
                    if (dist > reach || dist >= f->dist[at]) continue;
                    float dx = lerpf(a.dx, b.dx, t), dz = lerpf(a.dz, b.dz, t);
                    float px = lerpf(a.x, b.x, t), pz = lerpf(a.z, b.z, t);
                    // Right of the direction of travel is (-dz, dx).
                    float side = (x - px) * -dz + (z - pz) * dx;
                    f->dist[at] = dist;
                    f->path[at] = (int8_t)pi;
                    f->s[at] = lerpf(a.s, b.s, t);
                    f->d[at] = side >= 0 ? dist : -dist;
                }
            }
        }
    }
}
