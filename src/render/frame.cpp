// Frame drawing: projection, cameras and the thirteen steps of one world frame.
#include "render/frame.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "core/config.h"
#include "core/constants.h"
#include "core/maths.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/bodypose.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "net/client.h"
#include "platform/clock.h"
#include "race/session.h"
#include "render/bikedraw.h"
#include "render/billboards.h"
#include "render/ground.h"
#include "render/model_draw.h"
#include "render/shaders.h"
#include "track/gates.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

RenderState g_render;

void frame_reset() {
    g_render = RenderState();
}

namespace {

bool normalise3(float a[3]) {
    float l = std::sqrt(vec3f_dot(a, a));
    if (!(l > 0)) return false;
    for (int i = 0; i < 3; i++) a[i] /= l;
    return true;
}

// The camera's coordinates of a world point: x right, y up, z the distance ahead.
void eye_coords(const Camera& c, const float p[3], float out[3]) {
    float d[3] = {p[0] - c.eye[0], p[1] - c.eye[1], p[2] - c.eye[2]};
    out[0] = vec3f_dot(d, c.rot);
    out[1] = vec3f_dot(d, c.rot + 3);
    out[2] = -vec3f_dot(d, c.rot + 6);
}

} // namespace

// ---- Projection and cameras ----

void frame_projection_extents(int width, int height, float fov, float* u, float* v) {
    float a = fov * PI_F / 360;
    if (height <= 0) height = 1;
    if (width <= 0) width = 1;
    if ((float)width / height > 4.0f / 3.0f) {
        *v = std::tan(a) * 0.75f;
        *u = *v * width / height;
    } else {
        *u = std::tan(a);
        *v = *u * height / width;
    }
}

void frame_set_projection(int width, int height) {
    g_render.width = width;
    g_render.height = height;
    frame_projection_extents(width, height, (float)g_config.fov.value, &g_render.extent_u,
                             &g_render.extent_v);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    float u = g_render.extent_u / 4, v = g_render.extent_v / 4;
    glFrustum(-u, u, -v, v, FRAME_NEAR, FRAME_FAR);
    glMatrixMode(GL_MODELVIEW);
}

void frame_first_person_point(float t, float out[3]) {
    for (int i = 0; i < 3; i++)
        out[i] = FIRST_PERSON_LOW[i] + t * (FIRST_PERSON_HIGH[i] - FIRST_PERSON_LOW[i]);
}

void frame_first_person_rotation(const float body[9], float angle_degrees, float out[9]) {
    // The body's axes are the columns of its rotation.
    float right[3] = {body[0], body[3], body[6]};
    float up[3] = {body[1], body[4], body[7]};
    float back[3] = {body[2], body[5], body[8]};
    float a = angle_degrees * PI_F / 180, c = std::cos(a), s = std::sin(a);
    for (int i = 0; i < 3; i++) {
        out[i] = right[i];
        out[3 + i] = up[i] * c - back[i] * s;
        out[6 + i] = back[i] * c + up[i] * s;
    }
}

void frame_camera_from_view(const CameraView& view, Camera* out) {
    float back[3] = {view.eye[0] - view.target[0], view.eye[1] - view.target[1],
                     view.eye[2] - view.target[2]};
    if (!normalise3(back)) back[0] = 0, back[1] = 0, back[2] = 1;
    float right[3];
    vec3f_cross(view.up, back, right);
    if (!normalise3(right)) {
        // Looking straight along the up vector: any right axis across the view will do.
        float axis[3] = {1, 0, 0};
        if (std::fabs(back[0]) > 0.9f) axis[0] = 0, axis[2] = 1;
        float along = vec3f_dot(axis, back);
        for (int i = 0; i < 3; i++) right[i] = axis[i] - back[i] * along;
        normalise3(right);
    }
    float up[3];
    vec3f_cross(back, right, up);
    for (int i = 0; i < 3; i++) {
        out->eye[i] = view.eye[i];
        out->rot[i] = right[i];
        out->rot[3 + i] = up[i];
        out->rot[6 + i] = back[i];
    }
}

int frame_project(const Camera& camera, float u, float v, int width, int height,
                  const float point[3], float* sx, float* sy) {
    float e[3];
    eye_coords(camera, point, e);
    if (e[2] < FRAME_NEAR) return 0;
    *sx = (e[0] / (e[2] * u) + 1) * 0.5f * width;
    *sy = (e[1] / (e[2] * v) + 1) * 0.5f * height;
    return 1;
}

bool frame_sphere_visible(const Camera& camera, float u, float v, const float centre[3],
                          float radius) {
    float e[3];
    eye_coords(camera, centre, e);
    if (e[2] + radius < FRAME_NEAR || e[2] - radius > FRAME_FAR) return false;
    if (std::fabs(e[0]) > e[2] * u + radius * std::sqrt(1 + u * u)) return false;
    if (std::fabs(e[1]) > e[2] * v + radius * std::sqrt(1 + v * v)) return false;
    return true;
}

// ---- Rules ----

float ghost_opacity(float d, float g) {
    // Without a fade distance there is nothing to fade over.
    if (!(g > 0)) return 1.0f;
    return std::clamp((d - g / 2) / (g - g / 2), 0.0f, 1.0f);
}

int frame_rider_mode(int slot, int viewed, int first_person) {
    if (slot != viewed) return BIKE_DRAW_OTHER;
    return first_person ? BIKE_DRAW_FIRST_PERSON : BIKE_DRAW_VIEWED;
}

void frame_bind_texture(unsigned texture) {
    if (texture == g_render.bound_texture) return;
    glBindTexture(GL_TEXTURE_2D, texture);
    g_render.bound_texture = texture;
    render_stats_add(STAT_TEXTURE_CHANGES, 1);
}

void render_stats_add(int stat, int amount) {
    if (stat >= 0 && stat < STAT_COUNT) g_render.stats.value[stat] += amount;
}

void render_stats_reset() {
    g_render.stats = RenderStats{};
}

// ---- The steps of a frame ----

namespace {

// Step 1: the flaggers follow the race, and animated textures move on to the current tick.
// An animation restarts whenever its billboard starts showing it.
void update_flaggers(int clock) {
    if (!g_track.loaded) return;
    session_flaggers_update();

    std::vector<unsigned>& shown = g_render.flagger_shown;
    shown.resize(g_objects.billboards.size(), 0);
    auto follow = [&](int index) {
        if (index < 0 || index >= (int)shown.size()) return;
        unsigned now = g_objects.billboards[(size_t)index].texture;
        if (now == shown[(size_t)index]) return;
        if (shown[(size_t)index]) texture_anim_pause(shown[(size_t)index]);
        if (now) texture_anim_start(now, clock);
        shown[(size_t)index] = now;
    };
    if (g_objects.start_flagger.present) follow(g_objects.start_flagger.billboard);
    if (g_objects.lap_flagger.present) follow(g_objects.lap_flagger.billboard);
    for (const GateFlagger& g : g_objects.gate_flaggers) follow(g.billboard);
}

// The camera rotation (rows right, up, backward) as the modelview matrix.
void load_camera_rotation(const float rot[9]) {
    float m[16] = {rot[0], rot[3], rot[6], 0, rot[1], rot[4], rot[7], 0,
                   rot[2], rot[5], rot[8], 0, 0,      0,      0,      1};
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m);
}

// Step 7: the sun as light 0 with the track's colours; then the state the solid objects are
// drawn with.
void setup_lighting() {
    const Lighting& l = g_lighting;
    float position[4] = {l.sun_vector[0], l.sun_vector[1], l.sun_vector[2], 0};
    float ambient[4] = {l.ambient[0], l.ambient[1], l.ambient[2], 1};
    float sun[4] = {l.sun_color[0], l.sun_color[1], l.sun_color[2], 1};
    float global[4] = {l.global_ambient[0], l.global_ambient[1], l.global_ambient[2], 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    // Highlights go on top of the texture instead of being multiplied by it.
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
}

void unset_lighting() {
    glDisable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_NORMALIZE);
}

// Riders replayed from a recording (not over the network) are ghosts.
bool slot_is_ghost(int slot) {
    return g_session.slots[slot].kind == RIDER_REMOTE && !net_connected();
}

// The first rider who is not a ghost: the one the ghosts fade around. -1 when none.
int ghost_reference() {
    for (int s = 0; s < MAX_RIDERS; s++)
        if (g_session.slots[s].bike && !slot_is_ghost(s)) return s;
    return -1;
}

// Opacity of every slot for this frame: 1 opaque, 0 not drawn, in between translucent.
void rider_opacities(float alpha[MAX_RIDERS]) {
    int reference = ghost_reference();
    float ref_pos[3] = {0, 0, 0}, rot[9];
    if (reference >= 0) bike_body_pose(g_session.slots[reference].bike, BODY_FRAME, ref_pos, rot);
    for (int s = 0; s < MAX_RIDERS; s++) {
        const RiderSlot& slot = g_session.slots[s];
        alpha[s] = slot.bike ? 1.0f : 0.0f;
        if (!slot.bike) continue;
        if (net_connected() && slot.kind == RIDER_REMOTE && net_rider_stale(s)) {
            alpha[s] = 0; // its last state is a second old or more: it may have left
            continue;
        }
        // Ghosts fade only in a race against them: alone, a replay shows every rider.
        if (!slot_is_ghost(s) || reference < 0) continue;
        float pos[3];
        bike_body_pose(slot.bike, BODY_FRAME, pos, rot);
        float d[3] = {pos[0] - ref_pos[0], pos[1] - ref_pos[1], pos[2] - ref_pos[2]};
        alpha[s] =
            ghost_opacity(std::sqrt(vec3f_dot(d, d)), (float)g_config.ghost_fade_distance.value);
    }
}

// The blob shadows of every rider drawn this frame, as dark as the rider is opaque.
void draw_blob_shadows(const float alpha[MAX_RIDERS]) {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(-1, -2);
    BlobShadow shadows[2];
    for (int s = 0; s < MAX_RIDERS; s++) {
        if (!(alpha[s] > 0)) continue;
        int n = bike_blob_shadows(g_session.slots[s].bike, shadows);
        for (int k = 0; k < n; k++) blob_shadow_draw(shadows[k], alpha[s]);
    }
    glDisable(GL_POLYGON_OFFSET_FILL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
}

// Step 9: statues (hay bales, tuff blocks, the start gates with their bars) in their frames.
void draw_statues(const Camera& camera) {
    glColor4f(1, 1, 1, 1);
    for (Statue& s : g_objects.statues) {
        if (!s.model) continue;
        float pos[3] = {s.x, s.y, s.z};
        // Models carry no bounds: the shape's, and room for a model larger than its shape.
        float radius = std::max(s.shape ? s.shape->radius : 0.0f, 12.0f);
        if (!frame_sphere_visible(camera, g_render.extent_u, g_render.extent_v, pos, radius))
            continue;
        const float* r = s.rot;
        float m[16] = {r[0], r[3], r[6], 0, r[1],   r[4],   r[7],   0,
                       r[2], r[5], r[8], 0, pos[0], pos[1], pos[2], 1};
        glPushMatrix();
        glMultMatrixf(m);
        if (shaders_on()) {
            shader_use(s.normal_map || s.specular ? SHADER_NORMAL : SHADER_LIT);
            shader_bind_maps(s.texture, s.normal_map, s.specular);
        } else {
            frame_bind_texture(s.texture);
        }
        model_draw(s.model, pos, camera.eye, nullptr, 0);
        if (s.model->env_mapped) {
            float column_major[9] = {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
            if (shaders_on())
                shader_use(SHADER_ENV);
            else
                glDisable(GL_LIGHTING);
            frame_bind_texture(g_lighting.sky[SKY_ENV]);
            model_draw_env(s.model, pos, column_major, camera.eye);
            if (!shaders_on()) glEnable(GL_LIGHTING);
            glColor4f(1, 1, 1, 1);
        }
        glPopMatrix();
    }
}

// Step 12: at the highest log verbosity, the timing gates as lines across the track.
void draw_debug_lines() {
    if (g_settings.debug_level < 2 || g_gates.gates.empty()) return;
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glColor4f(1, 0.2f, 0.1f, 0.8f);
    glBegin(GL_LINES);
    for (const Gate& g : g_gates.gates) {
        float ax = g.direction[2], az = -g.direction[0];
        float l = std::hypot(ax, az);
        if (l > 0) ax /= l, az /= l;
        float y0 =
            terrain_height(&g_terrain, g.centre[0] - ax * g.radius, g.centre[2] - az * g.radius) +
            1;
        float y1 =
            terrain_height(&g_terrain, g.centre[0] + ax * g.radius, g.centre[2] + az * g.radius) +
            1;
        glVertex3f(g.centre[0] - ax * g.radius, y0, g.centre[2] - az * g.radius);
        glVertex3f(g.centre[0] + ax * g.radius, y1, g.centre[2] + az * g.radius);
    }
    glEnd();
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
}

// The engine sounds hear from the camera of the last frame.
void publish_listener(const Camera& camera) {
    Listener& ear = g_render.listener;
    for (int i = 0; i < 3; i++) ear.eye[i] = camera.eye[i], ear.velocity[i] = camera.velocity[i];
    for (int i = 0; i < 9; i++) ear.rot[i] = camera.rot[i];
}

void finish_stats() {
    RenderStats& st = g_render.stats;
    st.value[STAT_MODEL_POLYGONS] = g_model_stats.polygons;
    st.value[STAT_MODEL_VERTICES] = g_model_stats.vertices;
    for (int i = 0; i < STAT_COUNT; i++) st.max[i] = std::max(st.max[i], st.value[i]);
}

} // namespace

void frame_draw_world(const Camera& camera) {
    g_render.camera = camera;
    // 1. Statistics, flaggers, animations.
    for (int& v : g_render.stats.value) v = 0;
    g_model_stats = ModelDrawStats{};
    // Another module may have bound a texture since the last frame.
    g_render.bound_texture = ~0u;
    int clock = g_session.session_clock;
    update_flaggers(clock);
    texture_anim_update(clock);

    // 2. The listener, and the ground's texture upkeep.
    publish_listener(camera);
    float dir[3] = {-camera.rot[6], -camera.rot[7], -camera.rot[8]};
    if (g_track.loaded) {
        ground_set_view(camera.eye, dir);
        ground_update_textures();
        // The upkeep binds its own textures and may draw into the back buffer; the sky below
        // clears what it left there.
        g_render.bound_texture = ~0u;
    }

    // 3. Projection and camera rotation.
    if (g_render.width > 0) frame_set_projection(g_render.width, g_render.height);
    load_camera_rotation(camera.rot);
    shaders_set_envmat(camera.rot);

    // 4-5. Sky, fog.
    sky_draw();
    glDepthFunc(GL_LEQUAL);
    fog_enable();

    // 6. The ground, in world coordinates from here on.
    glTranslatef(-camera.eye[0], -camera.eye[1], -camera.eye[2]);
    if (g_track.loaded) {
        ground_draw(camera.eye, dir);
        render_stats_add(STAT_GROUND_POLYGONS, g_ground.polygons);
        g_render.bound_texture = ~0u;
    }

    // Blob shadows lie on the ground under the riders, beneath everything that stands on it.
    float alpha[MAX_RIDERS];
    rider_opacities(alpha);
    if (g_track.loaded && g_config.blob_shadows.current == YES) draw_blob_shadows(alpha);

    // 7. Lights.
    setup_lighting();

    // 8. Opaque riders.
    shader_use(SHADER_LIT);
    for (int s = 0; s < MAX_RIDERS; s++)
        if (alpha[s] >= 1.0f)
            bike_draw(g_session.slots[s].bike,
                      frame_rider_mode(s, camera.slot, camera.first_person), 1.0f, camera);

    // 9. Track objects, the start gates among them.
    draw_statues(camera);

    // 10. Billboards: flat sprites are not lit.
    glDisable(GL_ALPHA_TEST);
    shader_use(SHADER_FIXED);
    unset_lighting();
    billboards_draw(camera);

    // 11. Ghosts.
    bool any_translucent = false;
    for (int s = 0; s < MAX_RIDERS; s++) any_translucent |= alpha[s] > 0 && alpha[s] < 1;
    if (any_translucent) {
        setup_lighting();
        glDisable(GL_ALPHA_TEST);
        shader_use(SHADER_LIT);
        for (int s = 0; s < MAX_RIDERS; s++)
            if (alpha[s] > 0 && alpha[s] < 1)
                bike_draw(g_session.slots[s].bike, BIKE_DRAW_OTHER, alpha[s], camera);
        unset_lighting();
    }

    // 12. Shader programs off; debugging lines.
    shader_use(SHADER_FIXED);
    draw_debug_lines();

    // 13. Fog off; lens flares.
    fog_disable();
    flares_draw(camera);
    glDepthFunc(GL_LEQUAL);
    finish_stats();
}

namespace {

// The first-person camera of a slot's rider; 0 when the slot has no bike.
int first_person_camera(int slot, Camera* camera) {
    camera->slot = slot;
    camera->first_person = 1;
    Bike* bike = slot >= 0 && slot < MAX_RIDERS ? g_session.slots[slot].bike : nullptr;
    if (!bike) return 0;
    float pos[3], rot[9], local[3];
    bike_body_pose(bike, BODY_RIDER, pos, rot);
    frame_first_person_point((float)g_config.first_person_height.value, local);
    for (int i = 0; i < 3; i++)
        camera->eye[i] =
            pos[i] + rot[i * 3] * local[0] + rot[i * 3 + 1] * local[1] + rot[i * 3 + 2] * local[2];
    frame_first_person_rotation(rot, (float)g_config.first_person_angle.value, camera->rot);
    bike_body_velocity(bike, BODY_RIDER, camera->velocity);
    return 1;
}

// The camera of a view: the viewed rider's eyes, or the chase, orbit or free camera (whose
// velocity is its motion over the ticks since the last frame).
void view_camera(int view_mode, const CameraView& view, Camera* camera) {
    int slot = g_session.viewed_rider;
    if (view_mode == VIEW_RIDER && first_person_camera(slot, camera)) return;
    *camera = Camera{};
    frame_camera_from_view(view, camera);
    camera->slot = slot;
    int ticks = g_session.session_clock - g_render.velocity_clock;
    if (g_render.velocity_clock >= 0 && ticks > 0)
        for (int i = 0; i < 3; i++)
            camera->velocity[i] =
                (camera->eye[i] - g_render.velocity_eye[i]) / (float)(ticks * sim_tick);
    g_render.velocity_clock = g_session.session_clock;
    for (int i = 0; i < 3; i++) g_render.velocity_eye[i] = camera->eye[i];
}

} // namespace

void frame_first_person(int slot) {
    Camera camera;
    if (!first_person_camera(slot, &camera)) {
        camera = g_render.camera;
        camera.first_person = 0;
    }
    frame_draw_world(camera);
}

void frame_draw_view(int view_mode, const CameraView& view) {
    if (view_mode == VIEW_TITLE) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        return;
    }
    Camera camera;
    view_camera(view_mode, view, &camera);
    frame_draw_world(camera);
}

void frame_listen(int view_mode, const CameraView& view) {
    if (view_mode == VIEW_TITLE) return;
    Camera camera;
    view_camera(view_mode, view, &camera);
    g_render.camera = camera;
    publish_listener(camera);
}
