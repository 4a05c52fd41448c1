// The two wheels: knobby tyre, rim, laced spokes, hub, brake disc (front on the left, rear on
// the right) and the rear sprocket, in the wheel body's frame (hub centre at the origin, axle
// along x). The tyre's outer radius is the catalogue's torus radius plus tube radius, so the
// drawn wheel meets the ground where the tyre contact does. A plainer "_lod5" variant without
// knobs and spokes serves at 32 feet and beyond. The wheels' shapes stand in for the tyres in
// contacts with other bikes and objects.
#include <cmath>

#include "bikegen.h"

namespace {

struct WheelLayout {
    const char* name;
    float outer;      // tyre outer radius (feet)
    float rim;        // rim radius
    float half_width; // tyre half width
    int disc_side;    // -1 disc on the left, +1 on the right
    float disc_radius;
    int sprocket; // the rear wheel carries the sprocket on the left
};

constexpr float KNOB = 0.05f; // knob height

void tyre(Kit* k, const WheelLayout& w, int segments, int knobs) {
    float crown = w.outer - (knobs ? KNOB : 0.0f), hw = w.half_width, rr = w.rim;
    float mid = rr + (crown - rr) * 0.5f;
    UvRect side = wheel_uv(WR_SIDEWALL), tread = wheel_uv(WR_TREAD);
    Vec3 o = v3(0, 0, 0);
    kit_lathe(k, o, {rr - 0.01f, rr + 0.06f, mid, crown - 0.05f},
              {-hw * 0.55f, -hw * 0.9f, -hw, -hw * 0.85f}, segments, side);
    kit_lathe(k, o, {crown - 0.05f, crown - 0.01f, crown, crown - 0.01f, crown - 0.05f},
              {-hw * 0.85f, -hw * 0.5f, 0, hw * 0.5f, hw * 0.85f}, segments, tread);
    kit_lathe(k, o, {crown - 0.05f, mid, rr + 0.06f, rr - 0.01f},
              {hw * 0.85f, hw, hw * 0.9f, hw * 0.55f}, segments, side);
    if (!knobs) return;
    // Rows of knobs, alternating a pair with a centre knob and two shoulder knobs.
    const int rows = 32;
    for (int r = 0; r < rows; r++) {
        float a = 2 * GEN_PI * (r + 0.5f) / rows;
        Vec3 radial = v3(0, std::cos(a), std::sin(a)), along = v3(0, -std::sin(a), std::cos(a));
        auto knob = [&](float x, float base, float tilt, float hx) {
            // Shoulder knobs lean out with the tyre's profile.
            Vec3 up = vec_unit(radial + v3(tilt, 0, 0));
            Vec3 across = vec_unit(vec_cross(along, up));
            Vec3 c = radial * base + v3(x, 0, 0) + up * (KNOB * 0.5f);
            kit_obox(k, c, across, up, along, v3(hx, KNOB * 0.5f, 0.055f), wheel_uv(WR_TREAD));
        };
        if (r % 2 == 0) {
            knob(-hw * 0.38f, crown - 0.004f, 0, 0.045f);
            knob(hw * 0.38f, crown - 0.004f, 0, 0.045f);
        } else {
            knob(0, crown, 0, 0.055f);
            knob(-hw * 0.8f, crown - 0.04f, -0.7f, 0.04f);
            knob(hw * 0.8f, crown - 0.04f, 0.7f, 0.04f);
        }
    }
}

void rim_and_hub(Kit* k, const WheelLayout& w, int segments) {
    float rr = w.rim, h = 0.085f;
    kit_lathe(
        k, v3(0, 0, 0),
        {rr - 0.06f, rr - 0.06f, rr - 0.01f, rr + 0.02f, rr + 0.02f, rr - 0.005f, rr - 0.005f,
         rr + 0.02f, rr + 0.02f, rr - 0.01f, rr - 0.06f},
        {h * 0.6f, -h * 0.6f, -h, -h, -h + 0.02f, -h + 0.03f, h - 0.03f, h - 0.02f, h, h, h * 0.6f},
        segments, wheel_uv(WR_RIM));
    kit_lathe(
        k, v3(0, 0, 0),
        {0.0f, 0.09f, 0.09f, 0.2f, 0.2f, 0.12f, 0.12f, 0.2f, 0.2f, 0.09f, 0.09f, 0.0f},
        {-0.24f, -0.24f, -0.18f, -0.17f, -0.13f, -0.12f, 0.12f, 0.13f, 0.17f, 0.18f, 0.24f, 0.24f},
        16, wheel_uv(WR_HUB));
}

void spokes(Kit* k, const WheelLayout& w) {
    const int n = 24;
    for (int i = 0; i < n; i++) {
        float a = 2 * GEN_PI * i / n;
        float side = (i % 2) ? 0.15f : -0.15f;
        // Crossed lacing: each spoke leaves the flange and meets the rim a little way round.
        float b = a + ((i / 2) % 2 ? 0.35f : -0.35f);
        Vec3 hub = v3(side, 0.18f * std::cos(a), 0.18f * std::sin(a));
        Vec3 rim = v3(side * 0.2f, (w.rim - 0.06f) * std::cos(b), (w.rim - 0.06f) * std::sin(b));
        kit_tube(k, {hub, rim}, {0.017f, 0.017f}, {0.017f, 0.017f}, 4, v3(1, 0, 0),
                 wheel_uv(WR_SPOKE), 0);
    }
}

void brakes(Kit* k, const WheelLayout& w) {
    float x = w.disc_side * 0.23f;
    float r = w.disc_radius;
    kit_ring(
        k, v3(0, 0, 0), x - 0.008f, x + 0.008f, r * 0.5f,
        [r](float a) { return r + 0.012f * std::cos(12 * a); }, 48, wheel_uv(WR_DISC));
    kit_ring(
        k, v3(0, 0, 0), x - 0.006f, x + 0.006f, 0.1f, [r](float) { return r * 0.52f; }, 12,
        wheel_uv(WR_HUB));
    if (!w.sprocket) return;
    kit_ring(
        k, v3(0, 0, 0), -0.308f, -0.292f, 0.12f,
        [](float a) {
            float phase = std::fmod(a / (2 * GEN_PI) * 40 + 1000.0f, 1.0f);
            return phase < 0.5f ? 0.37f : 0.335f;
        },
        120, wheel_uv(WR_SPROCKET));
}

int wheel_write(const std::string& out, const WheelLayout& w, float torus) {
    KitMesh rubber, metal;
    kitmesh_material(&rubber, 4, 0.06f);
    kitmesh_material(&metal, 60, 0.7f);
    Kit kr = kit_on(&rubber, v3(0, 0, 0)), km = kit_on(&metal, v3(0, 0, 0));
    tyre(&kr, w, 32, 1);
    rim_and_hub(&km, w, 32);
    spokes(&km, w);
    brakes(&km, w);
    KitMesh far_rubber, far_metal;
    kitmesh_material(&far_rubber, 4, 0.06f);
    kitmesh_material(&far_metal, 60, 0.7f);
    Kit fr = kit_on(&far_rubber, v3(0, 0, 0)), fm = kit_on(&far_metal, v3(0, 0, 0));
    tyre(&fr, w, 16, 0);
    rim_and_hub(&fm, w, 16);
    // The tyre ring of the contact torus as eight overlapping spheres, and the hub.
    std::vector<Sphere> shape;
    for (int i = 0; i < 8; i++) {
        float a = 2 * GEN_PI * i / 8;
        shape.push_back(
            {0, torus * std::cos(a), torus * std::sin(a), TUBE_RADIUS, 1.0f, 25000, 2500});
    }
    shape.push_back({0, 0, 0, 0.5f, 1.0f, 25000, 2500});
    std::string name = w.name;
    return write_text(out + name + ".jm", jm_model_text({rubber, metal})) &&
           write_text(out + name + "_lod5.jm", jm_model_text({far_rubber, far_metal})) &&
           write_text(out + name + ".shp", shape_text(shape));
}

} // namespace

int wheels_write(const std::string& out) {
    // 21-inch front and 19-inch rear rims.
    WheelLayout front = {"front_wheel", FRONT_TORUS + TUBE_RADIUS, 0.875f, 0.15f, -1, 0.44f, 0};
    WheelLayout rear = {"rear_wheel", REAR_TORUS + TUBE_RADIUS, 0.79f, 0.18f, 1, 0.36f, 1};
    return wheel_write(out, front, FRONT_TORUS) && wheel_write(out, rear, REAR_TORUS);
}
