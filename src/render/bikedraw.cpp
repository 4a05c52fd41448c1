// Bike and rider drawing: the rider's pose solver and the GL side of one bike.
#include "render/bikedraw.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "bike/bike.h"
#include "bike/bodypose.h"
#include "core/maths.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/model.h"
#include "render/frame.h"
#include "render/model_draw.h"
#include "render/shaders.h"
#include "track/lighting.h"
#include "track/terrain.h"

namespace {

// ---- Small vector helpers ----

// World point of a body-local point: rot x local + pos (rot row-major).
void to_world(const float pos[3], const float rot[9], const float local[3], float out[3]) {
    for (int i = 0; i < 3; i++)
        out[i] =
            pos[i] + rot[i * 3] * local[0] + rot[i * 3 + 1] * local[1] + rot[i * 3 + 2] * local[2];
}
// Body-local point of a world point: rot^T x (world - pos).
void to_local(const float pos[3], const float rot[9], const float world[3], float out[3]) {
    float d[3];
    vec3f_sub(world, pos, d);
    for (int i = 0; i < 3; i++) out[i] = rot[i] * d[0] + rot[3 + i] * d[1] + rot[6 + i] * d[2];
}

// Bend hints in the rider body: elbows out and back, knees ahead and a little out around the
// tank. side is -1 for left, +1 for right. The rider model's rest geometry is built with the
// same hints, so the rest pose solved here is the one its vertices were placed in.
void elbow_hint(int side, float out[3]) {
    out[0] = 0.7f * side, out[1] = -0.2f, out[2] = 0.6f;
}
void knee_hint(int side, float out[3]) {
    out[0] = 0.35f * side, out[1] = 0, out[2] = -1.0f;
}

// A unit vector perpendicular to d (for hints that lie along the limb).
void any_perpendicular(const float d[3], float out[3]) {
    float axis[3] = {0, 0, 0};
    axis[std::fabs(d[0]) < 0.6f ? 0 : 1] = 1;
    vec3f_cross(d, axis, out);
    vec3f_normalise(out);
}

// Orthonormal frame of one limb segment (columns: along the segment, the bend normal, their
// cross product), column-major.
void segment_frame(const float from[3], const float to[3], const float normal[3], float f[9]) {
    float e[3], n[3], c[3];
    vec3f_sub(to, from, e);
    if (vec3f_normalise(e) == 0) e[0] = 0, e[1] = -1, e[2] = 0;
    for (int i = 0; i < 3; i++) n[i] = normal[i] - e[i] * vec3f_dot(normal, e);
    if (vec3f_normalise(n) == 0) any_perpendicular(e, n);
    vec3f_cross(e, n, c);
    for (int i = 0; i < 3; i++) f[i] = e[i], f[3 + i] = n[i], f[6 + i] = c[i];
}

// The bone that carries a rest segment into its current place.
void segment_bone(const float rest_from[3], const float rest_to[3], const float rest_normal[3],
                  const float now_from[3], const float now_to[3], const float now_normal[3],
                  ModelBone* bone) {
    float a[9], b[9];
    segment_frame(rest_from, rest_to, rest_normal, a);
    segment_frame(now_from, now_to, now_normal, b);
    // R = B A^T, element (i, j) at i + 3j.
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            float s = 0;
            for (int k = 0; k < 3; k++) s += b[i + 3 * k] * a[j + 3 * k];
            bone->rotation[i + 3 * j] = s;
        }
    for (int i = 0; i < 3; i++) {
        bone->origin[i] = rest_from[i];
        bone->position[i] = now_from[i];
    }
}

} // namespace

// ---- Pose solver ----

int limb_solve(const float root[3], const float target[3], float l1, float l2, const float hint[3],
               Limb* limb) {
    float dir[3];
    vec3f_sub(target, root, dir);
    float dist = vec3f_normalise(dir);
    if (dist == 0) {
        // Target on the root: fold the limb along the hint's opposite.
        for (int i = 0; i < 3; i++) dir[i] = -hint[i];
        if (vec3f_normalise(dir) == 0) dir[1] = -1;
    }
    float reach = l1 + l2, shortest = std::fabs(l1 - l2);
    float d = dist;
    limb->reached = 1;
    if (d > reach) d = reach, limb->reached = 0;
    if (d < shortest) d = shortest, limb->reached = 0;
    // The middle joint: a along the limb, h across it toward the hint.
    float a = d > 0 ? (l1 * l1 - l2 * l2 + d * d) / (2 * d) : 0;
    float h = std::sqrt(std::max(0.0f, l1 * l1 - a * a));
    float across[3];
    for (int i = 0; i < 3; i++) across[i] = hint[i] - dir[i] * vec3f_dot(hint, dir);
    if (vec3f_normalise(across) == 0) any_perpendicular(dir, across);
    for (int i = 0; i < 3; i++) {
        limb->root[i] = root[i];
        limb->mid[i] = root[i] + dir[i] * a + across[i] * h;
        limb->end[i] = limb->reached ? target[i] : root[i] + dir[i] * d;
    }
    vec3f_cross(dir, across, limb->normal);
    vec3f_normalise(limb->normal);
    return limb->reached;
}

void rider_pose_solve(const RiderSkeleton& sk, const RiderTargets& t, RiderPose* pose) {
    for (int k = 0; k < 2; k++) {
        int side = k == 0 ? -1 : 1;
        float hint[3];
        elbow_hint(side, hint);
        limb_solve(sk.shoulder[k], t.hand[k], sk.arm[0], sk.arm[1], hint, &pose->arm[k]);
        knee_hint(side, hint);
        limb_solve(sk.hip[k], t.foot[k], sk.leg[0], sk.leg[1], hint, &pose->leg[k]);
    }
}

void rider_rest_targets(const BikeInfo& info, RiderTargets* t) {
    const RiderSkeleton& sk = info.skeleton;
    for (int k = 0; k < 2; k++)
        for (int i = 0; i < 3; i++) {
            t->hand[k][i] = info.steering_position[i] + sk.grip[k][i] - info.rider_position[i];
            t->foot[k][i] = info.frame_position[i] + sk.peg[k][i] - info.rider_position[i];
        }
}

void rider_rest_pose(const BikeInfo& info, RiderPose* pose) {
    RiderTargets t;
    rider_rest_targets(info, &t);
    rider_pose_solve(info.skeleton, t, pose);
}

void rider_pose_bones(const RiderPose& rest, const RiderPose& now, ModelBone bones[RIDER_BONES]) {
    ModelBone& torso = bones[RIDER_BONE_TORSO];
    for (int i = 0; i < 9; i++) torso.rotation[i] = i % 4 == 0 ? 1.0f : 0.0f;
    for (int i = 0; i < 3; i++) torso.origin[i] = torso.position[i] = 0;
    const Limb* rest_limbs[4] = {&rest.arm[0], &rest.arm[1], &rest.leg[0], &rest.leg[1]};
    const Limb* now_limbs[4] = {&now.arm[0], &now.arm[1], &now.leg[0], &now.leg[1]};
    for (int k = 0; k < 4; k++) {
        const Limb& r = *rest_limbs[k];
        const Limb& n = *now_limbs[k];
        ModelBone* upper = &bones[1 + 2 * k];
        segment_bone(r.root, r.mid, r.normal, n.root, n.mid, n.normal, upper);
        segment_bone(r.mid, r.end, r.normal, n.mid, n.end, n.normal, upper + 1);
    }
}

void rider_foot_down_point(const float peg[3], const float rot[9], int side, float out[3]) {
    // The frame's sideways and forward axes, kept horizontal.
    float across[3] = {rot[0], 0, rot[6]}, ahead[3] = {-rot[2], 0, -rot[8]};
    if (vec3f_normalise(across) == 0) across[0] = 1;
    if (vec3f_normalise(ahead) == 0) ahead[2] = -1;
    for (int i = 0; i < 3; i++) out[i] = peg[i] + across[i] * 0.9f * side + ahead[i] * 0.5f;
    out[1] = peg[1];
}

float bike_frame_roll(const float rot[9]) {
    float u[3] = {rot[1], rot[4], rot[7]};
    float f[3] = {-rot[2], -rot[5], -rot[8]};
    float h = std::sqrt(f[0] * f[0] + f[2] * f[2]);
    if (h == 0) return 0;
    float o = std::clamp((u[2] * f[0] - u[0] * f[2]) / h, -1.0f, 1.0f);
    return std::acos(o) - 1.5707963f;
}

void rider_pose_of_bike(const Bike* bike, RiderPose* pose) {
    const BikeInfo& info = bike->info;
    const RiderSkeleton& sk = info.skeleton;
    float fp[3], fr[9], sp[3], sr[9], rp[3], rr[9];
    bike_body_pose(bike, BODY_FRAME, fp, fr);
    bike_body_pose(bike, BODY_STEERING, sp, sr);
    bike_body_pose(bike, BODY_RIDER, rp, rr);
    RiderTargets t;
    float peg_world[2][3];
    for (int k = 0; k < 2; k++) {
        float w[3];
        to_world(sp, sr, sk.grip[k], w);
        to_local(rp, rr, w, t.hand[k]);
        to_world(fp, fr, sk.peg[k], peg_world[k]);
        to_local(rp, rr, peg_world[k], t.foot[k]);
    }
    float blend = std::clamp(bike->crash_blend, 0.0f, 1.0f);
    if (bike->crash_countdown > 0) {
        // Thrown off: the legs follow the crashed-leg points the physics moves.
        for (int k = 0; k < 2; k++) {
            float leg[3];
            to_local(rp, rr, bike->crash_leg[k], leg);
            vec3f_lerp(t.foot[k], leg, blend, t.foot[k]);
        }
    } else if (blend > 0) {
        // Dabbing: the foot on the side the bike leans to goes to the ground beside the peg.
        int k = bike_frame_roll(fr) >= 0 ? 0 : 1;
        float down[3], local[3];
        rider_foot_down_point(peg_world[k], fr, k == 0 ? -1 : 1, down);
        down[1] = terrain_height(&g_terrain, down[0], down[2]) + 0.1f;
        to_local(rp, rr, down, local);
        vec3f_lerp(t.foot[k], local, blend, t.foot[k]);
    }
    rider_pose_solve(sk, t, pose);
}

// ---- Drawing ----

namespace {

struct Part {
    int model;
    int body;
    int group; // texture group
    int plate; // shows the number texture
};

constexpr Part BIKE_PARTS[] = {
    {BIKE_MODEL_FRAME, BODY_FRAME, BIKE_TEX_BIKE, 0},
    {BIKE_MODEL_SIDE_PLATES, BODY_FRAME, BIKE_TEX_BIKE, 1},
    {BIKE_MODEL_FORK_UPPER, BODY_STEERING, BIKE_TEX_BIKE, 0},
    {BIKE_MODEL_FRONT_PLATE, BODY_STEERING, BIKE_TEX_BIKE, 1},
    {BIKE_MODEL_FORK_LOWER, BODY_FORK_LOWER, BIKE_TEX_BIKE, 0},
    {BIKE_MODEL_SWINGARM, BODY_SWINGARM, BIKE_TEX_BIKE, 0},
    {BIKE_MODEL_FRONT_WHEEL, BODY_FRONT_WHEEL, BIKE_TEX_WHEELS, 0},
    {BIKE_MODEL_REAR_WHEEL, BODY_REAR_WHEEL, BIKE_TEX_WHEELS, 0},
};
constexpr Part RIDER_PARTS[] = {
    {BIKE_MODEL_RIDER_BODY, BODY_RIDER, BIKE_TEX_RIDER, 0},
    {BIKE_MODEL_RIDER_HEAD, BODY_RIDER, BIKE_TEX_HEAD, 0},
    {BIKE_MODEL_RIDER_PLATE, BODY_RIDER, BIKE_TEX_RIDER, 1},
};
constexpr Part FIRST_PERSON_PART = {BIKE_MODEL_RIDER_BODY_FP, BODY_RIDER, BIKE_TEX_RIDER, 0};

// The poses of one bike's seven bodies for this frame.
struct BodyPoses {
    float pos[BIKE_BODY_COUNT][3];
    float rot[BIKE_BODY_COUNT][9];
};

// Column-major 4 x 4 of a body pose for glMultMatrixf.
void gl_body_matrix(const float pos[3], const float rot[9]) {
    float m[16] = {rot[0], rot[3], rot[6], 0, rot[1], rot[4], rot[7], 0,
                   rot[2], rot[5], rot[8], 0, pos[0], pos[1], pos[2], 1};
    glMultMatrixf(m);
}

// The parts a drawing mode shows: bike parts always; the rider's own parts unless seen from
// inside, where only the first-person body shows (and not even that with "hide_rider").
int mode_parts(int mode, const Part** out) {
    int n = 0;
    for (const Part& p : BIKE_PARTS) out[n++] = &p;
    if (mode == BIKE_DRAW_FIRST_PERSON) {
        if (g_config.hide_rider.current != YES) out[n++] = &FIRST_PERSON_PART;
    } else {
        for (const Part& p : RIDER_PARTS) out[n++] = &p;
    }
    return n;
}

// The helmet is modelled around the neck point of the rider body.
void head_offset(const Bike* bike, const Part& part) {
    if (part.model != BIKE_MODEL_RIDER_HEAD) return;
    const float* neck = bike->info.skeleton.neck;
    glTranslatef(neck[0], neck[1], neck[2]);
}

unsigned part_texture(const Bike* bike, const Part& part) {
    if (part.plate && bike->plate_texture) return bike->plate_texture;
    return bike->textures[part.group];
}

// One part's opaque meshes at its body's pose.
void draw_part(Bike* bike, const Part& part, const BodyPoses& poses, const ModelBone* bones,
               const Camera& camera) {
    Model* model = bike->models[part.model];
    if (!model) return;
    const float* pos = poses.pos[part.body];
    glPushMatrix();
    gl_body_matrix(pos, poses.rot[part.body]);
    head_offset(bike, part);
    unsigned texture = part_texture(bike, part);
    if (shaders_on()) {
        unsigned nmap = part.plate ? 0 : bike->normal_maps[part.group];
        unsigned smap = part.plate ? 0 : bike->specular_maps[part.group];
        shader_use(nmap || smap ? SHADER_NORMAL : SHADER_LIT);
        shader_bind_maps(texture, nmap, smap);
    } else {
        frame_bind_texture(texture);
    }
    bool skinned = part.model == BIKE_MODEL_RIDER_BODY || part.model == BIKE_MODEL_RIDER_BODY_FP;
    model_draw(model, pos, camera.eye, skinned ? bones : nullptr, skinned ? RIDER_BONES : 0);
    glPopMatrix();
}

// One part's environment-mapped meshes (the fixed path turns lighting off: their colour is
// the mesh's own).
void draw_part_env(Bike* bike, const Part& part, const BodyPoses& poses, const Camera& camera) {
    Model* model = bike->models[part.model];
    if (!model || !model->env_mapped) return;
    const float* pos = poses.pos[part.body];
    const float* r = poses.rot[part.body];
    float column_major[9] = {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
    glPushMatrix();
    gl_body_matrix(pos, r);
    head_offset(bike, part);
    model_draw_env(model, pos, column_major, camera.eye);
    glPopMatrix();
}

void draw_parts(Bike* bike, const Part** parts, int n, const BodyPoses& poses,
                const ModelBone* bones, const Camera& camera, bool env) {
    for (int i = 0; i < n; i++) draw_part(bike, *parts[i], poses, bones, camera);
    if (!env) return;
    bool any_env = false;
    for (int i = 0; i < n; i++) {
        Model* m = bike->models[parts[i]->model];
        any_env = any_env || (m && m->env_mapped);
    }
    if (!any_env) return;
    if (shaders_on()) {
        shader_use(SHADER_ENV);
    } else {
        glDisable(GL_LIGHTING);
    }
    frame_bind_texture(g_lighting.sky[SKY_ENV]);
    for (int i = 0; i < n; i++) draw_part_env(bike, *parts[i], poses, camera);
    if (!shaders_on()) glEnable(GL_LIGHTING);
    // The environment pass sets its own colour; the next part starts from the rider's.
}

} // namespace

void bike_draw(Bike* bike, int mode, float alpha, const Camera& camera) {
    if (!bike) return;
    BodyPoses poses;
    for (int b = 0; b < BIKE_BODY_COUNT; b++) bike_body_pose(bike, b, poses.pos[b], poses.rot[b]);
    // A bike is about 7 feet long: nothing of it shows when a sphere of 6 around the frame
    // cannot be seen.
    if (mode != BIKE_DRAW_FIRST_PERSON &&
        !frame_sphere_visible(camera, g_render.extent_u, g_render.extent_v, poses.pos[BODY_FRAME],
                              6.0f))
        return;

    const Part* parts[16];
    int n = mode_parts(mode, parts);
    ModelBone bones[RIDER_BONES];
    RiderPose rest, now;
    rider_rest_pose(bike->info, &rest);
    rider_pose_of_bike(bike, &now);
    rider_pose_bones(rest, now, bones);

    if (alpha >= 1.0f) {
        glColor4f(1, 1, 1, 1);
        draw_parts(bike, parts, n, poses, bones, camera, true);
        glColor4f(1, 1, 1, 1);
        return;
    }
    // A ghost: its nearest surfaces only, blended over the world. The depth pass first keeps
    // the far side of the rider from showing through the near side. The chrome pass draws
    // opaque colours, so ghosts go without it.
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    draw_parts(bike, parts, n, poses, bones, camera, false);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthFunc(GL_EQUAL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, alpha);
    draw_parts(bike, parts, n, poses, bones, camera, false);
    glDisable(GL_BLEND);
    glDepthFunc(GL_LEQUAL);
    glColor4f(1, 1, 1, 1);
}
