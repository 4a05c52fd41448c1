// Roost particles: emission from the wheels by the roost types of the ground under them, the
// flight of every particle, and the ground wear they carry from where they leave to where they
// land.
#include "effects/roost.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/world.h"
#include "core/constants.h"
#include "core/maths.h"
#include "core/settings.h"
#include "platform/random.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

RoostState g_roost_data;

constexpr float DT = (float)sim_tick;
constexpr float SPLASH_SCALE = 0.70710678f; // 45 degrees up and to the side
constexpr float QUIET_ANGLE = 0.049087387f; // pi/64: a tyre that does not spin faster than
                                            // the ground passes throws a thin sheet

float wear_factor() {
    return clamp_or_low(g_settings.erode, 0.0f, 1.0f);
}

// Uniform in [-0.5, 0.5).
float centred_random() {
    return (float)random_unit() - 0.5f;
}

// v rotated by angle about the unit axis k (Rodrigues).
void rotate_about(const float v[3], const float k[3], float angle, float out[3]) {
    float c = std::cos(angle), s = std::sin(angle);
    float kxv[3];
    vec3f_cross(k, v, kxv);
    float kv = vec3f_dot(k, v) * (1 - c);
    for (int i = 0; i < 3; i++) out[i] = v[i] * c + kxv[i] * s + k[i] * kv;
}

// Velocity of the wheel's material at a world point: v + w x (p - centre).
void point_velocity(const RoostWheel& w, const float p[3], float out[3]) {
    float r[3], wr[3];
    vec3f_sub(p, w.centre, r);
    vec3f_cross(w.angular_velocity, r, wr);
    for (int i = 0; i < 3; i++) out[i] = w.velocity[i] + wr[i];
}

bool finite3(const float v[3]) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Particles of one roost type this tick: the whole part of its count, one more with the
// probability of the fraction, never more than the emission passes.
int particle_count(float count, int emissions) {
    float c = count > 0 ? count : 0.0f; // also a NaN count
    if (c > (float)emissions) c = (float)emissions;
    float whole = std::floor(c);
    int n = (int)whole + (random_unit() < (double)(c - whole) ? 1 : 0);
    return n < emissions ? n : emissions;
}

// Kind 2: thrown by the wheel's motion along the ground, up and to both sides at 45 degrees
// as fast as the wheel slides.
int emit_splash(const RoostWheel& w, const RoostType& type, int n, float dig, int tick) {
    const float* N = w.contact_normal;
    float d = vec3f_dot(w.velocity, N);
    float t[3];
    for (int k = 0; k < 3; k++) t[k] = w.velocity[k] - N[k] * d;
    float L = vec3f_length(t);
    float dir[2][3] = {};
    if (L > 0) {
        float u[3] = {t[0] / L, t[1] / L, t[2] / L}, s[3];
        vec3f_cross(N, u, s);
        for (int k = 0; k < 3; k++) {
            dir[0][k] = (N[k] + s[k]) * L * SPLASH_SCALE;
            dir[1][k] = (N[k] - s[k]) * L * SPLASH_SCALE;
        }
    }
    int thrown = 0;
    for (int i = 0; i < n; i++) {
        const float* D = dir[((i ^ tick) & 1) ? 1 : 0];
        float p[3], v[3];
        for (int k = 0; k < 3; k++) p[k] = w.contact_point[k] + D[k] * DT * (float)i / (float)n;
        for (int k = 0; k < 3; k++) v[k] = D[k] + type.randomize * centred_random();
        float scale = type.vscale * (float)random_unit();
        for (float& c : v) c *= scale;
        thrown += roost_add(p, v, dig, type);
    }
    return thrown;
}

// Kind 1: thrown off the tyre when its contact point slides at least the slip threshold,
// from points spread over an arc that follows the tyre's turning from the contact point.
int emit_slip(const RoostWheel& w, const RoostType& type, int n, float dig, float cap) {
    float slip = vec3f_length(w.contact_velocity);
    if (!(slip >= type.slip_threshold)) return 0;
    // A tyre that spins faster than the ground passes (its contact point moves against the
    // wheel's travel) throws a wide spray that narrows as the wheel spins up.
    int against = vec3f_dot(w.contact_velocity, w.velocity) < 0;
    float angle = QUIET_ANGLE;
    if (against) angle = roost_cone_angle(&type, vec3f_length(w.angular_velocity), cap, 1);
    // The arc runs the way the tyre turns, so the spray leaves up the back of a driven wheel.
    float turn = vec3f_dot(w.angular_velocity, w.axle) >= 0 ? 1.0f : -1.0f;
    float r[3];
    vec3f_sub(w.contact_point, w.centre, r);
    int thrown = 0;
    for (int i = 0; i < n; i++) {
        float a = (float)random_unit() * angle * turn, e[3], p[3], v[3];
        rotate_about(r, w.axle, a, e);
        for (int k = 0; k < 3; k++) e[k] += w.centre[k];
        point_velocity(w, e, v);
        for (int k = 0; k < 3; k++) p[k] = e[k] + v[k] * DT * (float)i / (float)n;
        // Scaled by vscale itself: the tyre's own speed already varies over the arc (a splash,
        // thrown at one speed, takes a random share of vscale instead).
        for (int k = 0; k < 3; k++) v[k] = (v[k] + type.randomize * centred_random()) * type.vscale;
        thrown += roost_add(p, v, dig, type);
    }
    return thrown;
}

void pool_build() {
    RoostState& s = g_roost_data;
    for (int i = 0; i < ROOST_POOL; i++) {
        RoostParticle& p = s.particles[i];
        p = RoostParticle{};
        p.next = i + 1 < ROOST_POOL ? i + 1 : ROOST_NONE;
    }
    s.free_head = 0;
    s.live_head = ROOST_NONE;
    s.live_count = 0;
    s.dropped = 0;
    s.ready = 1;
}

} // namespace

const RoostState& g_roost = g_roost_data;

void roost_reset() {
    pool_build();
}

int roost_emissions(int density) {
    density = clamp(density, 0, 1000);
    int n = density / 100;
    if ((int)(random_u32() % 100u) < density % 100) n++;
    return n;
}

int roost_add(const float position[3], const float velocity[3], float dig, const RoostType& type) {
    RoostState& s = g_roost_data;
    if (!s.ready) pool_build();
    if (!finite3(position) || !finite3(velocity)) return 0; // a broken body throws nothing
    if (s.free_head == ROOST_NONE) {
        s.dropped++;
        return 0;
    }
    int index = s.free_head;
    RoostParticle& p = s.particles[index];
    s.free_head = p.next;
    for (int k = 0; k < 3; k++) {
        p.position[k] = position[k];
        p.velocity[k] = velocity[k];
    }
    // The load in 1/1020 feet: at most a quarter of a foot, so it always fits a byte.
    p.dig = (uint8_t)(clamp_or_low(dig, 0.0f, ROOST_DIG_MAX) * ROOST_DIG_UNIT);
    float wear = wear_factor();
    if (p.dig && wear > 0)
        terrain_deform(&g_terrain, position[0], position[2], -(float)p.dig * wear / ROOST_DIG_UNIT);
    p.size = type.size;
    p.texture = type.texture;
    p.color[0] = type.r;
    p.color[1] = type.g;
    p.color[2] = type.b;
    p.color[3] = type.a;
    p.drag = type.drag;
    p.grow = type.grow;
    p.fade[0] = type.fade_r;
    p.fade[1] = type.fade_g;
    p.fade[2] = type.fade_b;
    p.fade[3] = type.fade_a;
    p.next = s.live_head;
    s.live_head = index;
    s.live_count++;
    return 1;
}

int roost_emit_wheel(const RoostWheel& w, int emissions, float cap, int tick) {
    if (!(w.depth > 0) || emissions <= 0) return 0;
    const Terrain* t = &g_terrain;
    int tile = terrain_tile_at(t, w.contact_point[0], w.contact_point[2]);
    if (tile < 0 || (size_t)tile >= t->surfaces.size()) return 0;
    const SurfaceType& surface = t->surfaces[(size_t)tile];
    float dig_depth = w.depth < 0.1f ? w.depth : 0.1f;
    int thrown = 0;
    for (const RoostType& type : surface.roost) {
        if (type.kind == ROOST_UNUSED) break; // the first empty slot ends the list
        int n = particle_count(type.count, emissions);
        float dig = type.dig * dig_depth;
        if (type.kind == ROOST_SPLASH)
            thrown += emit_splash(w, type, n, dig, tick);
        else
            thrown += emit_slip(w, type, n, dig, cap);
    }
    return thrown;
}

void roost_emit(const Bike* bike) {
    if (!bike) return;
    int emissions = roost_emissions(g_settings.roost_frequency);
    if (emissions == 0) return;
    for (int w = 0; w < 2; w++) {
        // The wheel's contact record: this tick's contact for a rider simulated here (its
        // bodies have not moved since), its placement's for a rider placed from records.
        const Wheel& wheel = bike->wheels[w];
        float depth = wheel.depth;
        if (!(depth > 0)) continue;
        RoostWheel rw;
        float rot[9];
        int body = BODY_FRONT_WHEEL + w;
        bike_body_pose(bike, body, rw.centre, rot);
        for (int k = 0; k < 3; k++) rw.axle[k] = rot[k * 3];
        bike_body_velocity(bike, body, rw.velocity);
        bike_body_angular_velocity(bike, body, rw.angular_velocity);
        for (int k = 0; k < 3; k++) {
            rw.contact_point[k] = wheel.contact_point[k];
            rw.contact_normal[k] = wheel.contact_normal[k];
            rw.contact_velocity[k] = wheel.contact_velocity[k];
        }
        rw.depth = depth;
        roost_emit_wheel(rw, emissions, w == 0 ? ROOST_FRONT_CAP : ROOST_REAR_CAP, g_physics.clock);
    }
}

void roost_update() {
    RoostState& s = g_roost_data;
    float wear = wear_factor();
    int prev = ROOST_NONE;
    for (int i = s.live_head; i != ROOST_NONE;) {
        RoostParticle& p = s.particles[i];
        int next = p.next;
        // 1-3. Flight under drag and gravity.
        for (int k = 0; k < 3; k++) p.position[k] += p.velocity[k] * DT;
        float keep = DT * p.drag;
        for (float& v : p.velocity) v -= v * keep;
        p.velocity[1] -= ROOST_GRAVITY * DT;
        // 4. The billboard grows and fades.
        p.size += DT * p.grow;
        for (int c = 0; c < 4; c++) p.color[c] = (uint8_t)clamp(p.color[c] + p.fade[c], 0, 255);
        // 5-6. A falling particle lands once the ground is above it; a rising one never does.
        bool broken = !finite3(p.position) || !finite3(p.velocity);
        bool landed = broken;
        if (!broken && p.velocity[1] < 0)
            landed = terrain_height(&g_terrain, p.position[0], p.position[2]) > p.position[1];
        if (!landed) {
            prev = i;
            i = next;
            continue;
        }
        p.texture = 0;
        if (!broken && p.dig && wear > 0)
            terrain_deform(&g_terrain, p.position[0], p.position[2],
                           (float)p.dig * wear / ROOST_DIG_UNIT);
        if (prev == ROOST_NONE)
            s.live_head = next;
        else
            s.particles[prev].next = next;
        p.next = s.free_head;
        s.free_head = i;
        s.live_count--;
        i = next;
    }
}
