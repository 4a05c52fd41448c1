// Frame drawing: the projection, the cameras, and the order and GL state in which one frame of
// the world is drawn (sky, fog, ground, lights, riders, track objects and the start gate,
// billboards, ghosts, lens flares), with the render statistics the HUD shows.
//
// Units are feet and radians unless said. A camera rotation is 3 x 3, row-major, its rows the
// camera's right, up and backward axes in world coordinates (the camera looks along -backward).
#pragma once

#include <cstdint>
#include <vector>

// What a frame shows: the view modes of the main loop (1 is not used).
enum {
    VIEW_RIDER = 0,  // first person from the rider
    VIEW_EDITOR = 2, // track editor
    VIEW_ORBIT = 3,  // chase or orbit camera
    VIEW_FREE = 4,   // free-flying camera
    VIEW_TITLE = 5,  // title screen, no track loaded
};

// A camera given by its eye, the point it looks at and its up direction (world, feet).
struct CameraView {
    float eye[3] = {0, 0, 0};
    float target[3] = {0, 0, -1};
    float up[3] = {0, 1, 0};
};

constexpr float FRAME_NEAR = 0.25f;  // near plane (feet)
constexpr float FRAME_FAR = 5000.0f; // far plane (feet)
// Half side of the sky box around the eye: 2886 x sqrt(3) is just under the far plane.
constexpr float SKY_BOX_SCALE = 2886.0f;
// Eye point of the first-person camera in the rider body at height setting 0 and 1.
constexpr float FIRST_PERSON_LOW[3] = {0.0f, 0.5f, -0.4f};
constexpr float FIRST_PERSON_HIGH[3] = {0.0f, 1.0583830f, -1.1933695f};

struct Camera {
    float eye[3] = {0, 0, 0};
    float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // rows: right, up, backward
    float velocity[3] = {0, 0, 0};              // feet per second, for the sound listener
    int slot = 40;                              // viewed rider slot, 40 when none
    int first_person = 0;                       // drawn from inside the viewed rider
};

// Render statistics, cleared at the start of every frame; max keeps the largest per kind.
enum RenderStat {
    STAT_GROUND_POLYGONS = 0,
    STAT_MODEL_POLYGONS,
    STAT_MODEL_VERTICES,
    STAT_BILLBOARDS,
    STAT_DECALS,
    STAT_TEXTURE_CHANGES,
    STAT_SHADER_CHANGES,
    STAT_COUNT
};
struct RenderStats {
    int value[STAT_COUNT] = {};
    int max[STAT_COUNT] = {};
};

// What the engine sound hears from: the camera of the last drawn frame.
struct Listener {
    float eye[3] = {0, 0, 0};
    float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float velocity[3] = {0, 0, 0};
};

// Process-wide state of frame drawing.
struct RenderState {
    RenderStats stats;
    Listener listener;
    Camera camera;                    // of the frame being drawn
    int width = 0, height = 0;        // viewport of the last frame_set_projection
    float extent_u = 0, extent_v = 0; // frustum extents at distance 1 (tan of the half angles)
    int clear_only = 0;               // clear colour and depth instead of drawing the sky
    unsigned sky_floor_texture = 0;   // the north sky picture sky_floor was taken from
    float sky_floor[3] = {0, 0, 0};   // its colour along the bottom edge
    unsigned bound_texture = 0;       // last texture bound through frame_bind_texture
    // Texture each flagger billboard showed last frame (animations restart when it changes).
    std::vector<unsigned> flagger_shown;
    int velocity_clock = -1; // session tick and eye of the last non-rider camera
    float velocity_eye[3] = {0, 0, 0};
};
extern RenderState g_render;

// Forgets the frame state (tests, track changes).
void frame_reset();

// ---- Projection and cameras ----

// Frustum extents at distance 1 for a w x h viewport and a field of view of fov degrees: the
// field of view is the horizontal one of a 4:3 picture; wider pictures see more at the sides.
void frame_projection_extents(int width, int height, float fov, float* u, float* v);
// glViewport and glFrustum for the viewport, with the "fov" setting.
void frame_set_projection(int width, int height);
// The first-person eye point in the rider body for a height setting t (0..1).
void frame_first_person_point(float t, float out[3]);
// The first-person camera rotation from a body rotation (row-major, world = R x local) pitched
// down about its right axis by angle degrees.
void frame_first_person_rotation(const float body_rot[9], float angle_degrees, float out[9]);
// A camera looking from view.eye toward view.target with view.up.
void frame_camera_from_view(const CameraView& view, Camera* out);
// Projects a world point for the current camera and projection into window pixels (x right,
// y up from the bottom). Returns 0 when the point lies behind the near plane.
int frame_project(const Camera& camera, float u, float v, int width, int height,
                  const float point[3], float* sx, float* sy);
// True when a sphere may be seen by the camera (a cheap test against the view pyramid).
bool frame_sphere_visible(const Camera& camera, float u, float v, const float centre[3],
                          float radius);

// ---- Drawing ----

// Draws the world as seen from the camera: sky, ground, riders, track objects, billboards and
// particles, ghosts and lens flares. Needs a GL context and a projection.
void frame_draw_world(const Camera& camera);
// The first-person view from the rider of slot: computes the camera from the rider body and
// draws the world; draws only the sky when the slot has no bike.
void frame_first_person(int slot);
// One frame of a view of the main loop: first person, the chase, orbit or free camera, or a
// cleared frame for the title.
void frame_draw_view(int view_mode, const CameraView& view);
// Publishes the listener of a view as drawing it would, without drawing (runs without a
// window still hear their engines from the camera).
void frame_listen(int view_mode, const CameraView& view);

// Binds a texture (0 unbinds), counting texture changes.
void frame_bind_texture(unsigned texture);
// Adds to a render statistic (the ground renderer counts its polygons and decals here).
void render_stats_add(int stat, int amount);
// Zeroes every render statistic and its largest value so far.
void render_stats_reset();

// ---- Rules of the frame ----

// Opacity of a ghost at distance d from the first rider who is not a ghost, with the ghost
// fade distance G: clamp((d - G/2) / (G - G/2), 0, 1); a fade distance of 0 or less shows
// ghosts fully.
float ghost_opacity(float d, float fade_distance);
// Drawing mode of a rider: 1 the viewed rider in first person, 2 the viewed rider otherwise,
// 0 everyone else.
int frame_rider_mode(int slot, int viewed_slot, int first_person);

// ---- Sky and fog (sky.cpp) ----

// Corner c (0..3) of sky face f (north, east, south, west, up): direction from the eye with
// components of magnitude 1, and its texture coordinates within 1/128 .. 127/128.
void sky_face_corner(int face, int corner, float dir[3], float st[2]);
// Clears colour (to the colour of the sky pictures' lower edge, which continues the ground past
// the field) and depth, then draws the five faces of the sky box around the eye (the
// modelview holds the rotation only); in clear-only mode it only clears.
void sky_draw();
// Fog on with the track's colour and density when the density is above 0.
void fog_enable();
void fog_disable();

// ---- Lens flares (flare.cpp) ----

// Distance from the eye of a depth-buffer value (0..1) with the near and far planes above.
float flare_depth_distance(float depth);
// True when a flare point is not hidden: kind 1 (direction, at infinity) needs a distance of
// at least 0.4; kind 0 (a point) at least its own distance from the eye.
bool flare_unhidden(int kind, float depth_distance, float point_distance);
// True when the colour under the flare is bright enough for it: all three channels above 223.
bool flare_bright(const uint8_t rgb[3]);
// Tests every flare of the track's lighting and draws the elements of those that show.
void flares_draw(const Camera& camera);
