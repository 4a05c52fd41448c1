// The orbit (chase) camera and the free-flying camera.
#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "core/constants.h"
#include "core/maths.h"
#include "platform/clock.h"
#include "track/terrain.h"

namespace {

constexpr float CHASE_DISTANCE = 10;
constexpr float CHASE_HEIGHT = 5;
constexpr float GROUND_RADIUS = 10;  // smoothing radius of the ground under the camera
constexpr float ORBIT_CLEARANCE = 5; // eye height above the ground, at least
constexpr float FREE_CLEARANCE = 2;
constexpr float FREE_ACCEL = 80; // feet per second per second of throttle or brake
constexpr float FREE_MAX_SPEED = 100;
constexpr float FREE_DRAG = 60; // feet per second per second toward rest

float wrap_angle(float a) {
    while (a > PI_F) a -= 2 * PI_F;
    while (a < -PI_F) a += 2 * PI_F;
    return a;
}

float toward_zero(float v, float amount) {
    return v > 0 ? std::max(0.0f, v - amount) : std::min(0.0f, v + amount);
}

void look_at(const float eye[3], const float target[3], CameraView* out) {
    for (int i = 0; i < 3; i++) {
        out->eye[i] = eye[i];
        out->target[i] = target[i];
    }
    out->up[0] = 0, out->up[1] = 1, out->up[2] = 0;
}

// Direction the free camera looks in: yaw 0 and pitch 0 look along -z, like a bike.
void free_direction(const FreeCamera& cam, float d[3]) {
    d[0] = -std::sin(cam.yaw) * std::cos(cam.pitch);
    d[1] = std::sin(cam.pitch);
    d[2] = -std::cos(cam.yaw) * std::cos(cam.pitch);
}

} // namespace

// The ground the cameras keep clear of: the mean of the height under the point and eight
// heights on a circle of the radius around it, so the eye glides over bumps instead of
// following every one, but never below the ground straight under it (a crest beside a dip
// would otherwise pull the average down into the crest's side).
float camera_ground_height(float x, float z, float radius) {
    const Terrain* t = &g_terrain;
    if (t->samples <= 0) return 0.0f;
    float under = terrain_height(t, x, z);
    float sum = under;
    for (int k = 0; k < 8; k++) {
        float a = (float)k * PI_F / 4;
        sum += terrain_height(t, x + radius * std::cos(a), z + radius * std::sin(a));
    }
    return std::max(under, sum / 9);
}

void camera_orbit_player(const BikePose& pose, int rigid, CameraView* out) {
    // The bike faces its body -z: the negated third column of the rotation, kept horizontal.
    float fx = -pose.rotation[2], fz = -pose.rotation[8];
    float len = std::hypot(fx, fz);
    if (len > 0) fx /= len, fz /= len;
    if (!rigid) {
        float vx = pose.velocity[0], vz = pose.velocity[2];
        float speed = std::hypot(vx, vz);
        float f = std::clamp((speed - 10) * 0.05f, 0.0f, 1.0f);
        if (speed > 0 && f > 0) {
            fx = fx * (1 - f) + vx / speed * f;
            fz = fz * (1 - f) + vz / speed * f;
        }
    }
    len = std::hypot(fx, fz);
    if (len > 0)
        fx /= len, fz /= len;
    else
        fx = 0, fz = -1;
    // The camera sits behind the bike, looking along the direction of travel.
    const float* t = pose.chase_point;
    float eye[3] = {t[0] - fx * CHASE_DISTANCE, 0, t[2] - fz * CHASE_DISTANCE};
    eye[1] = std::max(t[1] + CHASE_HEIGHT,
                      camera_ground_height(eye[0], eye[2], GROUND_RADIUS) + ORBIT_CLEARANCE);
    look_at(eye, t, out);
}

void camera_orbit_steer(OrbitCamera* o, const float* c) {
    o->angle = wrap_angle(o->angle + c[CONTROL_STEER] * 2 * PI_F / 1024);
    if (c[CONTROL_THROTTLE] > 0.5f) o->distance = std::max(0.25f, o->distance - 1.0f / 64);
    if (c[CONTROL_FRONT_BRAKE] > 0.5f) o->distance += 1.0f / 64;
    o->height += (float)sim_tick * c[CONTROL_SHIFT];
}

void camera_orbit_view(const OrbitCamera& o, const float target[3], CameraView* out) {
    float eye[3] = {target[0] + std::sin(o.angle) * o.distance, 0,
                    target[2] + std::cos(o.angle) * o.distance};
    eye[1] = std::max(target[1] + o.height,
                      camera_ground_height(eye[0], eye[2], GROUND_RADIUS) + ORBIT_CLEARANCE);
    look_at(eye, target, out);
}

void camera_free_tick(FreeCamera* cam, const float* c, const BikePose* pose) {
    const float tick = (float)sim_tick;
    cam->yaw_rate = toward_zero(cam->yaw_rate, PI_F * tick);
    cam->pitch_rate = toward_zero(cam->pitch_rate, PI_F * tick);
    if (c[CONTROL_DAB] > 0.125f && pose) {
        // Turn toward the bike: yaw as fast as 2 pi per second allows, pitch weighted by pi/4.
        float dx = pose->chase_point[0] - cam->position[0];
        float dy = pose->chase_point[1] - cam->position[1];
        float dz = pose->chase_point[2] - cam->position[2];
        float want_yaw = std::atan2(-dx, -dz);
        float want_pitch = std::atan2(dy, std::hypot(dx, dz));
        cam->yaw_rate = std::clamp(wrap_angle(want_yaw - cam->yaw) / tick, -2 * PI_F, 2 * PI_F);
        cam->pitch_rate += (want_pitch - cam->pitch) * PI_F / 4;
    } else {
        if (c[CONTROL_STEER] != 0) cam->yaw_rate = c[CONTROL_STEER] * 3 * PI_F / 8;
        if (c[CONTROL_SHIFT] != 0) cam->pitch_rate = c[CONTROL_SHIFT] * PI_F / 4;
    }
    cam->yaw = wrap_angle(cam->yaw + cam->yaw_rate * tick);
    cam->pitch = std::clamp(cam->pitch + cam->pitch_rate * tick, -PI_F / 2, PI_F / 2);

    cam->speed = std::min(FREE_MAX_SPEED, cam->speed + FREE_ACCEL * tick * c[CONTROL_THROTTLE]);
    cam->speed = std::max(-FREE_MAX_SPEED, cam->speed - FREE_ACCEL * tick * c[CONTROL_FRONT_BRAKE]);
    cam->speed = toward_zero(cam->speed, FREE_DRAG * tick);
    if (std::fabs(cam->speed) >= 0.0001f) {
        float d[3];
        free_direction(*cam, d);
        for (int i = 0; i < 3; i++) cam->position[i] += d[i] * cam->speed * tick;
    }
    float ground = camera_ground_height(cam->position[0], cam->position[2], GROUND_RADIUS);
    cam->position[1] = std::max(cam->position[1], ground + FREE_CLEARANCE);
}

void camera_free_view(const FreeCamera& cam, CameraView* out) {
    float d[3];
    free_direction(cam, d);
    float target[3] = {cam.position[0] + d[0], cam.position[1] + d[1], cam.position[2] + d[2]};
    look_at(cam.position, target, out);
}
