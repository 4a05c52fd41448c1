// Blob shadows: a soft dark patch on the ground under every bike, and under a rider who has
// come off it, so that bikes sit on the ground rather than float over it.
#include <GL/gl.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "core/maths.h"
#include "render/bikedraw.h"
#include "track/terrain.h"

namespace {

constexpr int SHADOW_SECTORS = 16;
// Rings of the patch from its centre out, in units of its half axes, and the share of the
// patch's darkness at each: a flat middle fading to nothing at the rim.
constexpr float RING_RADIUS[] = {0.0f, 0.45f, 0.75f, 1.0f};
constexpr float RING_SHADE[] = {1.0f, 0.95f, 0.55f, 0.0f};
constexpr int RINGS = 4;
constexpr float LIFT = 0.04f; // feet above the ground, against flicker with the ground

// The shadow's darkness for its body's height above the ground there: full up to the standing
// height, gone 10 feet higher.
float height_fade(float above, float standing) {
    return clampf(1.0f - (above - standing) / 10.0f, 0.0f, 1.0f);
}

void patch_point(const BlobShadow& s, float ring, int sector, float alpha, float out[4]) {
    float a = 2 * PI_F * (float)sector / SHADOW_SECTORS;
    float u = std::cos(a) * ring * s.half_length, v = std::sin(a) * ring * s.half_width;
    out[0] = s.centre[0] + s.axis[0] * u - s.axis[1] * v;
    out[2] = s.centre[2] + s.axis[1] * u + s.axis[0] * v;
    out[1] = terrain_height(&g_terrain, out[0], out[2]) + LIFT;
    out[3] = alpha;
}

} // namespace

int bike_blob_shadows(const Bike* bike, BlobShadow out[2]) {
    if (!bike) return 0;
    int n = 0;
    float front[3], rear[3], frame[3], rot[9];
    bike_body_pose(bike, BODY_FRONT_WHEEL, front, rot);
    bike_body_pose(bike, BODY_REAR_WHEEL, rear, rot);
    bike_body_pose(bike, BODY_FRAME, frame, rot);
    // Under the bike: from tyre to tyre along its heading on the ground, as wide as the rider.
    BlobShadow& b = out[n++];
    float dx = front[0] - rear[0], dz = front[2] - rear[2];
    float wheelbase = std::sqrt(dx * dx + dz * dz);
    if (wheelbase > 1e-3f) {
        b.axis[0] = dx / wheelbase;
        b.axis[1] = dz / wheelbase;
    } else { // standing on its wheel: any heading
        b.axis[0] = 1;
        b.axis[1] = 0;
    }
    for (int k = 0; k < 3; k++) b.centre[k] = (front[k] + rear[k]) * 0.5f;
    float tyre = bike->info.rear_wheel.torus_radius + bike->info.rear_wheel.tube_radius;
    b.half_length = wheelbase * 0.5f + tyre;
    b.half_width = 1.3f;
    float ground = terrain_height(&g_terrain, frame[0], frame[2]);
    b.alpha = 0.7f * height_fade(frame[1] - ground, bike->info.frame_position[1] + 0.5f);
    // A rider off the bike casts a shadow of its own.
    if (bike_crash_countdown(bike) > 0) {
        float rider[3];
        bike_body_pose(bike, BODY_RIDER, rider, rot);
        BlobShadow& r = out[n++];
        for (int k = 0; k < 3; k++) r.centre[k] = rider[k];
        r.axis[0] = 1;
        r.axis[1] = 0;
        r.half_length = r.half_width = 1.4f;
        r.alpha =
            0.5f * height_fade(rider[1] - terrain_height(&g_terrain, rider[0], rider[2]), 1.0f);
    }
    return n;
}

void blob_shadow_draw(const BlobShadow& s, float opacity) {
    float alpha = s.alpha * opacity;
    if (!(alpha > 0.004f)) return;
    float p[RINGS][SHADOW_SECTORS][4];
    for (int r = 0; r < RINGS; r++)
        for (int k = 0; k < SHADOW_SECTORS; k++)
            patch_point(s, RING_RADIUS[r], k, alpha * RING_SHADE[r], p[r][k]);
    for (int r = 0; r + 1 < RINGS; r++) {
        glBegin(GL_QUAD_STRIP);
        for (int k = 0; k <= SHADOW_SECTORS; k++) {
            const float* a = p[r][k % SHADOW_SECTORS];
            const float* b = p[r + 1][k % SHADOW_SECTORS];
            glColor4f(0, 0, 0, a[3]);
            glVertex3f(a[0], a[1], a[2]);
            glColor4f(0, 0, 0, b[3]);
            glVertex3f(b[0], b[1], b[2]);
        }
        glEnd();
    }
}
