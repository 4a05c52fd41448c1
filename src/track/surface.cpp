#include "track/surface.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "data/datafile.h"
#include "platform/log.h"
#include "track/terrain.h"
#include "track/terrain_internal.h"

constexpr int LINE_SIZE = 1024;
constexpr float PHYSICS_STEP = 1.0f / 128.0f;

SurfaceType::SurfaceType() {
    for (int k = 0; k < SURFACE_CURVE_POINTS; k++) {
        friction[k] = {1.0f, k == 0 ? 1.0f : 0.0f};
        roll_resist[k] = {5.0f, 15.0f, k == 0 ? 1.0f : 0.0f};
    }
}

std::string surface_texture_base_name(const char* name) {
    const char* base = name;
    for (const char* p = name; *p; p++)
        if (*p == '/' || *p == '\\') base = p + 1;
    if (base == name && *base == '@') base++;
    return base;
}

// A decimal number as the text formats write them: optional sign, digits with at most one
// dot, optional exponent. Anything else (including "inf", "nan" and hexadecimal) is not a
// number, and neither is a value too large for a float. *end receives the first unread byte.
static int parse_number(const char* s, float* out, const char** end) {
    const char* p = s;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') p++;
    const char* start = p;
    if (*p == '+' || *p == '-') p++;
    int digits = 0;
    while (*p >= '0' && *p <= '9') p++, digits++;
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') p++, digits++;
    }
    if (digits == 0) {
        *end = s;
        return 0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') q++;
        if (*q >= '0' && *q <= '9') {
            while (*q >= '0' && *q <= '9') q++;
            p = q;
        }
    }
    std::string text(start, p);
    double v = strtod(text.c_str(), nullptr);
    if (!std::isfinite(v) || std::fabs(v) > 3.0e38) {
        *end = s;
        return 0;
    }
    *out = (float)v;
    *end = p;
    return 1;
}

// Reads up to n numbers separated by white space, as "%f %f ..." would; returns how many.
// *end (when given) receives the first byte after the last number read.
static int parse_numbers(const char* s, float* out, int n, const char** end = nullptr) {
    int count = 0;
    while (count < n) {
        const char* next;
        if (!parse_number(s, &out[count], &next)) break;
        s = next;
        count++;
    }
    if (end) *end = s;
    return count;
}

static bool is_line_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static bool is_roost_blank(char c) {
    return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\b';
}

static uint8_t to_colour(float v) {
    if (!(v > 0)) return 0;
    if (v > 255) return 255;
    return (uint8_t)(int)v;
}

// A rate per second becomes a change per physics step, truncated, within a signed byte.
static int8_t to_fade(float rate) {
    float v = rate * PHYSICS_STEP;
    if (!(v > -128)) return -128;
    if (v > 127) return 127;
    return (int8_t)(int)v;
}

// Applies one "key=value" parameter of a "roost" line of `file`.
static void roost_apply(const DataFile* file, RoostType* roost, const std::string& param) {
    struct FloatKey {
        const char* key;
        float RoostType::*field;
    };
    static const FloatKey float_keys[] = {
        {"count", &RoostType::count},
        {"dig", &RoostType::dig},
        {"slip_threshold", &RoostType::slip_threshold},
        {"slow_angle", &RoostType::slow_angle},
        {"fast_angle", &RoostType::fast_angle},
        {"slow_speed", &RoostType::slow_speed},
        {"fast_speed", &RoostType::fast_speed},
        {"size", &RoostType::size},
        {"grow", &RoostType::grow},
        {"drag", &RoostType::drag},
        {"vscale", &RoostType::vscale},
        {"randomize", &RoostType::randomize},
    };
    size_t eq = param.find('=');
    std::string key = eq == std::string::npos ? std::string() : param.substr(0, eq);
    const char* value = eq == std::string::npos ? "" : param.c_str() + eq + 1;
    float v = 0;
    const char* end;
    auto number = [&](const char* name) {
        v = 0;
        if (!parse_number(value, &v, &end)) log_printf("tileinfo warning: bad %s\n", name);
        return v;
    };
    if (key == "splash") {
        float s = 0;
        parse_number(value, &s, &end);
        roost->kind = s != 0 ? ROOST_SPLASH : ROOST_SLIP;
        return;
    }
    if (key == "texture") {
        roost->texture = terrain_texture_load(value);
        return;
    }
    for (const FloatKey& k : float_keys) {
        if (key == k.key) {
            float read = number(k.key);
            for (const RoostRange& r : ROOST_RANGES)
                if (key == r.key)
                    read = data_check_range(file, ("roost " + key).c_str(), read, r.lo, r.hi, 0);
            roost->*k.field = read;
            return;
        }
    }
    if (key == "r")
        roost->r = to_colour(number("r"));
    else if (key == "g")
        roost->g = to_colour(number("g"));
    else if (key == "b")
        roost->b = to_colour(number("b"));
    else if (key == "a")
        roost->a = to_colour(number("a"));
    else if (key == "fade_r")
        roost->fade_r = to_fade(number("fade_r"));
    else if (key == "fade_g")
        roost->fade_g = to_fade(number("fade_g"));
    else if (key == "fade_b")
        roost->fade_b = to_fade(number("fade_b"));
    else if (key == "fade_a")
        roost->fade_a = to_fade(number("fade_a"));
    else
        log_printf("tileinfo warning: unknown roost parameter '%.40s'\n", param.c_str());
}

// Splits a "roost" value at blanks; a double quote starts a part that may hold blanks and runs
// to the next double quote (the quotes are dropped).
static void roost_parse(const DataFile* file, RoostType* roost, const char* value) {
    const char* p = value;
    for (;;) {
        while (*p && is_roost_blank(*p)) p++;
        if (!*p) break;
        std::string param;
        bool quoted = false;
        while (*p && (quoted || !is_roost_blank(*p))) {
            if (*p == '"')
                quoted = !quoted;
            else
                param += *p;
            p++;
        }
        roost_apply(file, roost, param);
    }
}

static RoostType roost_default() {
    RoostType roost;
    roost.kind = ROOST_SLIP;
    roost.texture = terrain_texture_load("@roost.png");
    return roost;
}

// Stable insertion sort by speed: at most eight points, and safe whatever the values.
template <typename Point> static void sort_by_speed(Point* points, int n) {
    for (int k = 1; k < n; k++) {
        Point p = points[k];
        int m = k;
        while (m > 0 && points[m - 1].speed > p.speed) {
            points[m] = points[m - 1];
            m--;
        }
        points[m] = p;
    }
}

static void set_texture(SurfaceType* type, const char* name) {
    type->texture = terrain_texture_load(name);
    type->texture_name = surface_texture_base_name(name);
}

int surface_types_read_tileinfo(Terrain* terrain, DataFile* stream) {
    terrain->surfaces.clear();
    SurfaceType pending;
    int friction_count = 0, roll_count = 0, roost_count = 0;
    char line[LINE_SIZE];
    while ((int)terrain->surfaces.size() < SURFACE_TYPES_MAX &&
           data_gets(stream, line, LINE_SIZE)) {
        char* p = line;
        while (*p && is_line_blank(*p)) p++;
        if (!*p) continue;
        char* keyword = p;
        while (*p && !is_line_blank(*p)) p++;
        char* value = p;
        if (*p) {
            *p = 0;
            value = p + 1;
            while (*value == ' ' || *value == '\t') value++;
        }
        value[strcspn(value, "\r\n")] = 0;

        if (strcmp(keyword, "addtile") == 0) {
            sort_by_speed(pending.friction, friction_count);
            sort_by_speed(pending.roll_resist, roll_count);
            terrain->surfaces.push_back(pending);
            pending = SurfaceType();
            friction_count = roll_count = roost_count = 0;
        } else if (strcmp(keyword, "texture") == 0) {
            set_texture(&pending, value);
        } else if (strcmp(keyword, "friction") == 0) {
            float v[2];
            if (parse_numbers(value, v, 2) < 2) {
                log_printf("tileinfo warning: bad friction parameters\n");
            } else if (friction_count >= SURFACE_CURVE_POINTS) {
                log_printf("tileinfo warning: too many friction points\n");
            } else {
                FrictionPoint& fp = pending.friction[friction_count++];
                fp.coefficient = v[0] >= 0 ? v[0] : 0;
                fp.speed = v[1] >= SURFACE_MIN_SPEED ? v[1] : SURFACE_MIN_SPEED;
                fp.coefficient = data_check_range(stream, "friction coefficient", fp.coefficient, 0,
                                                  SURFACE_FRICTION_MAX, 1);
                fp.speed = data_check_range(stream, "friction speed", fp.speed, SURFACE_MIN_SPEED,
                                            SURFACE_SPEED_MAX, 1);
            }
        } else if (strcmp(keyword, "roll_resist") == 0) {
            float v[3];
            if (parse_numbers(value, v, 3) < 3) {
                log_printf("tileinfo warning: bad roll_resist parameters\n");
            } else if (roll_count >= SURFACE_CURVE_POINTS) {
                log_printf("tileinfo warning: too many roll_resist points\n");
            } else {
                RollPoint& rp = pending.roll_resist[roll_count++];
                rp.force_loose = v[0] >= 0 ? v[0] : 0;
                rp.force_sunk = v[1] >= 0 ? v[1] : 0;
                rp.speed = v[2] >= SURFACE_MIN_SPEED ? v[2] : SURFACE_MIN_SPEED;
                rp.force_loose = data_check_range(stream, "roll_resist force", rp.force_loose, 0,
                                                  SURFACE_ROLL_FORCE_MAX, 5);
                rp.force_sunk = data_check_range(stream, "roll_resist force", rp.force_sunk, 0,
                                                 SURFACE_ROLL_FORCE_MAX, 15);
                rp.speed = data_check_range(stream, "roll_resist speed", rp.speed,
                                            SURFACE_MIN_SPEED, SURFACE_SPEED_MAX, 1);
            }
        } else if (strcmp(keyword, "roost") == 0) {
            if (roost_count >= SURFACE_ROOST_TYPES) {
                log_printf("tileinfo warning: too many roost types\n");
            } else {
                RoostType* roost = &pending.roost[roost_count++];
                *roost = roost_default();
                roost_parse(stream, roost, value);
            }
        } else {
            log_printf("tileinfo warning: Unknown identifier '%.950s'\n", keyword);
        }
    }
    return 1;
}

int surface_types_read_texturelist(Terrain* terrain, DataFile* stream) {
    terrain->surfaces.clear();
    char line[LINE_SIZE];
    while ((int)terrain->surfaces.size() < SURFACE_TYPES_MAX &&
           data_gets(stream, line, LINE_SIZE)) {
        char* p = line;
        while (*p && is_line_blank(*p)) p++;
        float v[3];
        const char* name = p;
        const char* end;
        if (parse_numbers(p, v, 3, &end) == 3) {
            name = end;
            while (*name == ' ' || *name == '\t') name++;
            v[0] =
                data_check_range(stream, "friction coefficient", v[0], 0, SURFACE_FRICTION_MAX, 1);
            v[1] =
                data_check_range(stream, "roll_resist force", v[1], 0, SURFACE_ROLL_FORCE_MAX, 5);
            v[2] =
                data_check_range(stream, "roll_resist force", v[2], 0, SURFACE_ROLL_FORCE_MAX, 15);
        } else {
            v[0] = 1.0f, v[1] = 5.0f, v[2] = 15.0f;
        }
        // The name ends with the line; a missing final line feed or a CR before it is not part
        // of the name.
        std::string texture(name, strcspn(name, "\r\n"));
        SurfaceType type;
        set_texture(&type, ("@" + texture).c_str());
        type.friction[0].coefficient = v[0];
        type.roll_resist[0].force_loose = v[1];
        type.roll_resist[0].force_sunk = v[2];
        type.roost[0] = roost_default();
        terrain->surfaces.push_back(type);
    }
    return 1;
}

float surface_friction(const SurfaceType* type, float speed_squared) {
    const FrictionPoint* f = type->friction;
    int i = 0;
    while (i < SURFACE_CURVE_POINTS && f[i].speed != 0 && speed_squared >= f[i].speed * f[i].speed)
        i++;
    if (i == 0) return f[0].coefficient;
    if (i < SURFACE_CURVE_POINTS && f[i].speed != 0) {
        float s0 = f[i - 1].speed * f[i - 1].speed, s1 = f[i].speed * f[i].speed;
        float t = s1 > s0 ? (speed_squared - s0) / (s1 - s0) : 1.0f;
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        return f[i - 1].coefficient + t * (f[i].coefficient - f[i - 1].coefficient);
    }
    return f[i - 1].coefficient;
}

float surface_roll_resistance(const SurfaceType* type, float speed, float sinkage) {
    const RollPoint* r = type->roll_resist;
    int j = 0;
    while (j < SURFACE_CURVE_POINTS && r[j].speed != 0 && !(r[j].speed > speed)) j++;
    float f0, f1;
    if (j == 0) {
        f0 = r[0].force_loose, f1 = r[0].force_sunk;
    } else if (j < SURFACE_CURVE_POINTS && r[j].speed != 0) {
        float span = r[j].speed - r[j - 1].speed;
        float u = span > 0 ? (speed - r[j - 1].speed) / span : 1.0f;
        u = u < 0 ? 0 : (u > 1 ? 1 : u);
        f0 = r[j - 1].force_loose + u * (r[j].force_loose - r[j - 1].force_loose);
        f1 = r[j - 1].force_sunk + u * (r[j].force_sunk - r[j - 1].force_sunk);
    } else {
        f0 = r[j - 1].force_loose, f1 = r[j - 1].force_sunk;
    }
    return f0 + (f1 - f0) * sinkage;
}

float roost_cone_angle(const RoostType* roost, float w, float wanted, int against_travel) {
    if (!against_travel) return 0.049087387f;
    float s0 = roost->slow_speed * roost->slow_speed;
    float s1 = roost->fast_speed * roost->fast_speed;
    float t = s1 != s0 ? (w * w - s0) / (s1 - s0) : (w * w >= s1 ? 1.0f : 0.0f);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    float cone = roost->slow_angle + t * (roost->fast_angle - roost->slow_angle);
    return wanted < cone ? wanted : cone;
}
