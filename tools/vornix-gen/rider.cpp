// The rider: the skinned body (a "JM" version 2 model with nine bones), the first-person body
// (the same bones without the chest, shoulders and neck, which would fill the view from the
// rider's eyes), the helmet, the number plate on the rider's back and the rider's shape.
//
// The body is modelled in the rider body's frame in the riding pose at rest: hands on the
// catalogue's grips and feet on its pegs, with the elbows and knees where a two-segment limb
// of the catalogue's segment lengths puts them (elbows out and back, knees ahead and out).
// Bones, in weight order: torso (origin at the rider body's origin), left upper arm (origin
// the left shoulder), left forearm (the left elbow), right upper arm, right forearm, left
// thigh (the left hip), left shin (the left knee), right thigh, right shin. The hands go with
// the forearms, the boots with the shins; vertices near a joint share the two bones' weights.
#include <algorithm>
#include <cmath>

#include "bikegen.h"

namespace {

// Grips and pegs in the rider body's frame at rest.
Vec3 grip_at(int side) {
    return RIDER_GRIP[side] + BIKE_STEERING_POS - BIKE_RIDER_POS;
}
Vec3 peg_at(int side) {
    return RIDER_PEG[side] + BIKE_FRAME_POS - BIKE_RIDER_POS;
}

// The middle joint of a two-segment limb from a to b with segment lengths l1, l2, bent toward
// hint. A target out of reach straightens the limb toward it.
Vec3 limb_joint(Vec3 a, Vec3 b, float l1, float l2, Vec3 hint) {
    Vec3 d = b - a;
    float len = vec_length(d);
    Vec3 dir = vec_unit(d);
    if (len >= l1 + l2) return a + dir * l1;
    float x = (l1 * l1 - l2 * l2 + len * len) / (2 * len);
    float h = std::sqrt(std::max(l1 * l1 - x * x, 0.0f));
    Vec3 bend = vec_unit(hint - dir * vec_dot(hint, dir));
    return a + dir * x + bend * h;
}

Vec3 elbow_at(int side) {
    float s = side ? 1.0f : -1.0f;
    return limb_joint(RIDER_SHOULDER[side], grip_at(side), RIDER_UPPER_ARM, RIDER_FOREARM,
                      v3(s * 0.7f, -0.2f, 0.6f));
}
Vec3 knee_at(int side) {
    float s = side ? 1.0f : -1.0f;
    return limb_joint(RIDER_HIP[side], peg_at(side), RIDER_THIGH, RIDER_SHIN, v3(s * 0.35f, 0, -1));
}

// Vertex tags: which limb a vertex was made for.
enum Tag {
    TAG_TORSO,
    TAG_UPPER_ARM, // + side
    TAG_FOREARM = 3,
    TAG_THIGH = 5,
    TAG_SHIN = 7,
};

float smooth(float a, float b, float x) {
    return smoothstepf(a, b, x);
}
float along(Vec3 p, Vec3 a, Vec3 b) {
    Vec3 d = b - a;
    return vec_dot(p - a, d) / std::max(vec_dot(d, d), 1e-6f);
}

// Weights of one vertex from its tag and rest position; the joints share 50 / 50.
void vertex_weights(int tag, Vec3 p, float* w) {
    for (int b = 0; b < BONE_COUNT; b++) w[b] = 0;
    if (tag == TAG_TORSO) {
        w[BONE_TORSO] = 1;
        return;
    }
    int side = (tag - 1) % 2;
    int upper = side ? BONE_RIGHT_UPPER_ARM : BONE_LEFT_UPPER_ARM;
    int fore = side ? BONE_RIGHT_FOREARM : BONE_LEFT_FOREARM;
    int thigh = side ? BONE_RIGHT_THIGH : BONE_LEFT_THIGH;
    int shin = side ? BONE_RIGHT_SHIN : BONE_LEFT_SHIN;
    if (tag < TAG_FOREARM) { // upper arm: shares with the torso at the shoulder
        float t = along(p, RIDER_SHOULDER[side], elbow_at(side));
        float to_torso = 0.5f * (1 - smooth(0.0f, 0.25f, t));
        float to_fore = 0.5f * smooth(0.75f, 1.0f, t);
        w[BONE_TORSO] = to_torso;
        w[fore] = to_fore;
        w[upper] = 1 - to_torso - to_fore;
    } else if (tag < TAG_THIGH) {
        float t = along(p, elbow_at(side), grip_at(side));
        float to_upper = 0.5f * (1 - smooth(0.0f, 0.25f, t));
        w[upper] = to_upper;
        w[fore] = 1 - to_upper;
    } else if (tag < TAG_SHIN) {
        float t = along(p, RIDER_HIP[side], knee_at(side));
        float to_torso = 0.5f * (1 - smooth(0.0f, 0.25f, t));
        float to_shin = 0.5f * smooth(0.8f, 1.0f, t);
        w[BONE_TORSO] = to_torso;
        w[shin] = to_shin;
        w[thigh] = 1 - to_torso - to_shin;
    } else {
        float t = along(p, knee_at(side), peg_at(side));
        float to_thigh = 0.5f * (1 - smooth(0.0f, 0.2f, t));
        w[thigh] = to_thigh;
        w[shin] = 1 - to_thigh;
    }
}

void assign_weights(KitMesh* m) {
    size_t n = m->v.size() / 8;
    m->w.assign(n * BONE_COUNT, 0.0f);
    for (size_t i = 0; i < n; i++)
        vertex_weights(m->tag[i], v3(m->v[i * 8], m->v[i * 8 + 1], m->v[i * 8 + 2]),
                       &m->w[i * BONE_COUNT]);
}

// The torso's axis from the middle of the hips to the middle of the shoulders, and the
// direction its back faces (up and to the rear for a rider leaning forward).
Vec3 hip_mid() {
    return (RIDER_HIP[0] + RIDER_HIP[1]) * 0.5f;
}
Vec3 spine() {
    return vec_unit((RIDER_SHOULDER[0] + RIDER_SHOULDER[1]) * 0.5f - hip_mid());
}
Vec3 back_dir() {
    return vec_cross(v3(-1, 0, 0), spine()) * -1.0f;
}

void torso(Kit* k, int first_person) {
    Vec3 h = hip_mid(), t = spine();
    float len = vec_length((RIDER_SHOULDER[0] + RIDER_SHOULDER[1]) * 0.5f - h);
    k->tag = TAG_TORSO;
    if (first_person) {
        // Only the seat of the pants and the belt line: the chest would fill the view.
        kit_tube(k, {h - t * 0.15f, h + t * 0.2f, h + t * 0.45f}, {0.42f, 0.4f, 0.38f},
                 {0.35f, 0.3f, 0.28f}, 10, v3(1, 0, 0), rider_uv(RR_PANTS), 3);
        return;
    }
    kit_tube(k,
             {h - t * 0.15f, h + t * 0.2f, h + t * (len * 0.5f), h + t * (len - 0.05f),
              h + t * (len + 0.14f)},
             {0.42f, 0.4f, 0.45f, 0.55f, 0.3f}, {0.35f, 0.3f, 0.36f, 0.34f, 0.16f}, 10, v3(1, 0, 0),
             rider_uv(RR_JERSEY), 3);
    // Roost guard over the chest.
    Vec3 front = back_dir() * -1.0f;
    std::vector<Vec3> guard = {h + t * (len * 0.35f) + front * 0.33f,
                               h + t * (len * 0.65f) + front * 0.38f,
                               h + t * (len * 0.95f) + front * 0.36f};
    kit_strip(k, guard, std::vector<Vec3>(3, v3(1, 0, 0)), {0.3f, 0.36f, 0.34f}, 0.05f,
              rider_uv(RR_ARMOUR), rider_uv(RR_ARMOUR));
    kit_cylinder(k, h + t * (len - 0.1f), RIDER_NECK + v3(0, 0.06f, 0), 0.15f, 8, rider_uv(RR_NECK),
                 2);
}

// A limb segment from a to b tapering from radius r0 to r1, in several rings so that the
// weights can blend along it.
void limb(Kit* k, Vec3 a, Vec3 b, float r0, float r1, Vec3 hint, UvRect uv, int caps) {
    const int rings = 4;
    std::vector<Vec3> path;
    std::vector<float> radius;
    for (int i = 0; i <= rings; i++) {
        float f = (float)i / rings;
        path.push_back(vec_lerp(a, b, f));
        radius.push_back(lerpf(r0, r1, f));
    }
    kit_tube(k, path, radius, radius, 8, hint, uv, caps);
}

void arm(Kit* k, int side, int first_person) {
    Vec3 s = RIDER_SHOULDER[side], e = elbow_at(side), g = grip_at(side);
    Vec3 wrist = g + vec_unit(e - g) * 0.16f;
    k->tag = TAG_UPPER_ARM + side;
    if (!first_person) kit_ellipsoid(k, s, v3(0.19f, 0.19f, 0.19f), 8, 6, rider_uv(RR_SLEEVE));
    limb(k, first_person ? vec_lerp(s, e, 0.3f) : s, e, 0.11f, 0.095f, v3(0, 1, 0),
         rider_uv(RR_SLEEVE), 1);
    k->tag = TAG_FOREARM + side;
    kit_ellipsoid(k, e, v3(0.1f, 0.1f, 0.1f), 8, 5, rider_uv(RR_ARMOUR));
    limb(k, e, wrist, 0.095f, 0.07f, v3(0, 1, 0), rider_uv(RR_SLEEVE), 0);
    // The glove closed round the grip: the bar runs along x.
    kit_ellipsoid(k, g + v3(0, 0.02f, 0), v3(0.11f, 0.09f, 0.1f), 8, 5, rider_uv(RR_GLOVES));
    kit_tube(k, {wrist, g}, {0.07f, 0.08f}, {0.07f, 0.08f}, 8, v3(0, 1, 0), rider_uv(RR_GLOVES), 0);
}

void leg(Kit* k, int side) {
    Vec3 hip = RIDER_HIP[side], knee = knee_at(side), peg = peg_at(side);
    Vec3 ankle = peg + v3(0, 0.3f, 0.1f);
    k->tag = TAG_THIGH + side;
    limb(k, hip, knee, 0.19f, 0.13f, v3(0, 1, 0), rider_uv(RR_PANTS), 1);
    k->tag = TAG_SHIN + side;
    kit_ellipsoid(k, knee + v3(0, 0.02f, -0.05f), v3(0.13f, 0.13f, 0.13f), 8, 6, rider_uv(RR_KNEE));
    Vec3 boot_top = vec_lerp(knee, ankle, 0.3f);
    limb(k, knee, boot_top, 0.12f, 0.12f, v3(1, 0, 0), rider_uv(RR_PANTS), 0);
    limb(k, boot_top, ankle, 0.13f, 0.12f, v3(1, 0, 0), rider_uv(RR_BOOTS), 1);
    // The foot lies along the bike with the ball of the foot on the peg.
    kit_box(k, peg + v3(0, 0.11f, -0.06f), v3(0.085f, 0.075f, 0.3f), rider_uv(RR_BOOTS));
    kit_box(k, vec_lerp(ankle, peg + v3(0, 0.11f, 0.1f), 0.5f), v3(0.11f, 0.12f, 0.14f),
            rider_uv(RR_BOOTS));
}

std::string body_text(int first_person) {
    KitMesh cloth;
    kitmesh_material(&cloth, 8, 0.12f);
    Kit k = kit_on(&cloth, v3(0, 0, 0));
    torso(&k, first_person);
    for (int side = 0; side < 2; side++) {
        arm(&k, side, first_person);
        leg(&k, side);
    }
    assign_weights(&cloth);
    return jm_model_text({cloth}, BONE_COUNT, "vornix_rider");
}

// The helmet, its origin at the neck point: shell, chin bar, peak, goggles and strap.
std::string head_text() {
    KitMesh shell, lens;
    kitmesh_material(&shell, 50, 0.6f);
    kitmesh_material(&lens, 90, 0.9f);
    Kit k = kit_on(&shell, v3(0, 0, 0));
    Vec3 c = v3(0, 0.36f, -0.08f), r = v3(0.4f, 0.42f, 0.5f);
    kit_ellipsoid(&k, c, r, 14, 8, head_uv(HR_SHELL), -0.5f);
    kit_tube(&k,
             {v3(-0.34f, 0.1f, -0.2f), v3(-0.22f, 0.03f, -0.5f), v3(0, 0.0f, -0.62f),
              v3(0.22f, 0.03f, -0.5f), v3(0.34f, 0.1f, -0.2f)},
             {0.08f, 0.09f, 0.1f, 0.09f, 0.08f}, {0.12f, 0.12f, 0.12f, 0.12f, 0.12f}, 8,
             v3(0, 1, 0), head_uv(HR_CHIN), 3);
    kit_strip(&k, {v3(0, 0.66f, -0.4f), v3(0, 0.63f, -0.7f), v3(0, 0.56f, -0.95f)},
              std::vector<Vec3>(3, v3(1, 0, 0)), {0.3f, 0.3f, 0.24f}, 0.03f, head_uv(HR_PEAK),
              head_uv(HR_PEAK));
    // The strap runs round the back of the shell at eye height; the lens across the face.
    std::vector<Vec3> strap;
    for (int i = 0; i <= 10; i++) {
        float a = -2.0f + 4.0f * i / 10; // round the back from one goggle end to the other
        strap.push_back(c + v3(-std::sin(a) * (r.x + 0.02f), 0, std::cos(a) * (r.z + 0.02f)));
    }
    kit_tube(&k, strap, std::vector<float>(strap.size(), 0.025f),
             std::vector<float>(strap.size(), 0.07f), 4, v3(0, 1, 0), head_uv(HR_STRAP), 3);
    Kit g = kit_on(&lens, v3(0, 0, 0));
    std::vector<Vec3> face;
    for (int i = 0; i <= 6; i++) {
        float a = -1.1f + 2.2f * i / 6;
        face.push_back(c + v3(std::sin(a) * (r.x + 0.01f), 0, -std::cos(a) * (r.z + 0.01f)));
    }
    kit_strip(&g, face, std::vector<Vec3>(face.size(), v3(0, 1, 0)),
              std::vector<float>(face.size(), 0.09f), 0.05f, head_uv(HR_LENS), head_uv(HR_STRAP));
    return jm_model_text({shell, lens});
}

// The number on the rider's back, in the rider body's frame, its face spanning the texture.
std::string plate_text() {
    KitMesh plate;
    kitmesh_material(&plate, 10, 0.15f);
    Kit k = kit_on(&plate, v3(0, 0, 0));
    Vec3 h = hip_mid(), t = spine(), b = back_dir();
    float len = vec_length((RIDER_SHOULDER[0] + RIDER_SHOULDER[1]) * 0.5f - h);
    // From the shoulders down, so that the face turns outward and reads upright.
    std::vector<Vec3> path = {h + t * (len * 0.85f) + b * 0.37f, h + t * (len * 0.55f) + b * 0.39f,
                              h + t * (len * 0.25f) + b * 0.34f};
    UvRect face;
    face.v0 = 1;
    face.v1 = 0;
    kit_strip(&k, path, std::vector<Vec3>(3, v3(1, 0, 0)), {0.3f, 0.32f, 0.3f}, 0.02f, face,
              atlas_rect(ATLAS, 0, 0, 4, 4));
    return jm_model_text({plate});
}

} // namespace

/*
 * The rider's shape: head, chest, pelvis and shoulders. Softer than the bike (10000 / 1000)
 * and with more grip (0.7), so a sliding rider slows down; the catalogue's rider body is a
 * sphere of radius 1, and these spheres stay within about that reach plus the head.
 */
int rider_write(const std::string& out) {
    Vec3 h = hip_mid(), t = spine();
    float len = vec_length((RIDER_SHOULDER[0] + RIDER_SHOULDER[1]) * 0.5f - h);
    Vec3 head = RIDER_NECK + v3(0, 0.36f, -0.08f);
    Vec3 chest = h + t * (len * 0.65f), pelvis = h + t * 0.1f;
    const float mu = 0.7f, k = 10000, d = 1000;
    std::vector<Sphere> shape = {
        {head.x, head.y, head.z, 0.45f, mu, k, d},
        {chest.x, chest.y, chest.z, 0.5f, mu, k, d},
        {pelvis.x, pelvis.y, pelvis.z, 0.45f, mu, k, d},
    };
    for (int side = 0; side < 2; side++) {
        Vec3 s = RIDER_SHOULDER[side];
        shape.push_back({s.x, s.y, s.z, 0.25f, mu, k, d});
    }
    return write_text(out + "rider_body.jm", body_text(0)) &&
           write_text(out + "rider_body_fp.jm", body_text(1)) &&
           write_text(out + "rider_head.jm", head_text()) &&
           write_text(out + "rider_plate.jm", plate_text()) &&
           write_text(out + "generic_rider.shp", shape_text(shape));
}
