// The track's "lighting" file: sun, ambient light, sky box, fog and lens flares.
#include "track/lighting.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/datafile.h"
#include "data/texture.h"
#include "platform/messages.h"
#include "track/track.h"

static const char* const SKY_DEFAULTS[SKY_TEXTURES] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm",
                                                       "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"};

// Normalises the sun direction. A zero or non-finite vector cannot be a direction: it falls
// back to the default (1, 1, 1) rather than spreading NaN into the ground shading.
static void normalise_sun(float v[3]) {
    double len = std::sqrt((double)v[0] * v[0] + (double)v[1] * v[1] + (double)v[2] * v[2]);
    if (!(len > 0) || !std::isfinite(len)) {
        v[0] = v[1] = v[2] = 1;
        len = std::sqrt(3.0);
    }
    for (int i = 0; i < 3; i++) v[i] = (float)(v[i] / len);
}

static int sky_side(const char* key) {
    static const struct {
        const char* key;
        int side;
    } KEYS[] = {{"sky_n", SKY_NORTH}, {"sky_e", SKY_EAST}, {"sky_s", SKY_SOUTH},
                {"sky_w", SKY_WEST},  {"sky_u", SKY_UP},   {"sky_env", SKY_ENV}};
    for (const auto& k : KEYS)
        if (strcmp(key, k.key) == 0) return k.side;
    return -1;
}

// A bracketed vector; each number read is checked against lo..hi (NaN becomes `fallback`).
static void read_vector(const char* file, const char* what, const char* value, float out[3],
                        float lo, float hi, float fallback) {
    float v[3] = {out[0], out[1], out[2]};
    int n = sscanf(value, " [ %f %f %f ] ", &v[0], &v[1], &v[2]);
    for (int i = 0; i < n && i < 3; i++)
        out[i] = data_check_range_in(file, what, v[i], lo, hi, fallback);
}

/* "lighting": one setting per line, "keyword value":
 *   sun_vector [ x y z ]          sun_color [ r g b ]
 *   ambient [ r g b ]             global_ambient [ r g b ]
 *   sky_n, sky_e, sky_s, sky_w, sky_u, sky_env  texture name
 *   flare_element [ px py ] [ r g b ] size texture   (added to the pending flare, at most 8)
 *   flare_point [ x y z ]         the pending flare becomes a point flare and is kept
 *   flare_vector [ x y z ]        the same as a flare at infinity along the direction
 *   fog [ r g b ] density
 * Leading blanks and empty lines are skipped; an unknown keyword ends the reading.
 */
int lighting_read(const char* path) {
    Lighting* l = &g_lighting;
    lighting_reset(l);
    DataFile* f = data_open(path, "r");
    if (!f) return 1;

    Flare pending;
    char line[1024];
    while (data_gets(f, line, sizeof line)) {
        line[strcspn(line, "\r\n")] = 0;
        char* p = line + strspn(line, " \t");
        if (!*p) continue;
        char* key = p;
        p += strcspn(p, " \t");
        if (*p) *p++ = 0;
        const char* value = p + strspn(p, " \t");

        if (strcmp(key, "sun_vector") == 0) {
            read_vector(path, "sun_vector", value, l->sun_vector, -LIGHT_POSITION_MAX,
                        LIGHT_POSITION_MAX, 0);
        } else if (strcmp(key, "sun_color") == 0) {
            read_vector(path, "sun_color", value, l->sun_color, 0, LIGHT_COLOUR_MAX, 1);
        } else if (strcmp(key, "ambient") == 0) {
            read_vector(path, "ambient", value, l->ambient, 0, LIGHT_COLOUR_MAX, 0.5f);
        } else if (strcmp(key, "global_ambient") == 0) {
            read_vector(path, "global_ambient", value, l->global_ambient, 0, LIGHT_COLOUR_MAX,
                        0.2f);
        } else if (int side = sky_side(key); side >= 0) {
            l->sky[side] = texture_load(value);
        } else if (strcmp(key, "flare_element") == 0) {
            int n = pending.element_count;
            if (n >= FLARE_ELEMENTS_MAX) continue; // a ninth element is ignored
            float placement[2] = {0, 0}, color[3] = {1, 1, 1}, size = 1;
            char texture[1024];
            int got = sscanf(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &placement[0],
                             &placement[1], &color[0], &color[1], &color[2], &size, texture);
            // An element needs at least its placement; whatever follows keeps its default
            // when missing.
            if (got < 2) continue;
            for (float& v : placement)
                v = data_check_range_in(path, "flare placement", v, -100, 100, 0);
            for (float& v : color)
                v = data_check_range_in(path, "flare colour", v, 0, LIGHT_COLOUR_MAX, 1);
            size = data_check_range_in(path, "flare size", size, 0, 100, 1);
            memcpy(pending.placement[n], placement, sizeof placement);
            memcpy(pending.color[n], color, sizeof color);
            pending.size[n] = size;
            if (got == 7) pending.texture[n] = texture_load(texture);
            pending.element_count = n + 1;
        } else if (strcmp(key, "flare_point") == 0 || strcmp(key, "flare_vector") == 0) {
            read_vector(path, key, value, pending.position, -LIGHT_POSITION_MAX, LIGHT_POSITION_MAX,
                        0);
            pending.kind = strcmp(key, "flare_vector") == 0 ? FLARE_DIRECTION : FLARE_POINT;
            if (l->flares.capacity() == 0) l->flares.reserve(16);
            l->flares.push_back(pending);
            pending = Flare();
        } else if (strcmp(key, "fog") == 0) {
            float c[3], d;
            if (sscanf(value, " [ %f %f %f ] %f ", &c[0], &c[1], &c[2], &d) == 4) {
                for (int i = 0; i < 3; i++)
                    l->fog_color[i] = data_check_range_in(path, "fog colour", c[i], 0, 1, 0);
                l->fog_density = data_check_range_in(path, "fog density", d, 0, LIGHT_FOG_MAX, 0);
            }
        } else {
            char text[1024];
            snprintf(text, sizeof text, "Error reading lighting: Unknown identifier '%.950s'\n",
                     key);
            post_message(text);
            break;
        }
    }
    data_close(f);

    normalise_sun(l->sun_vector);
    for (int i = 0; i < SKY_TEXTURES; i++)
        if (!l->sky[i]) l->sky[i] = texture_load(SKY_DEFAULTS[i]);
    // The renderer applies the fog (GL_EXP with this density and colour) when it draws.
    return 1;
}
