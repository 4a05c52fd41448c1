// The optional GLSL programs. They reproduce the fixed-function lighting per pixel (sun as
// light 0, its ambient, the global ambient, specular with the material's shininess, GL_EXP
// fog) so that switching "use_shader" changes the quality, not the look.
#define GL_GLEXT_PROTOTYPES 1
#include "render/shaders.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "bike/bike.h"
#include "data/model.h"
#include "platform/log.h"
#include "render/frame.h"
#include "render/glstate.h"

ShaderState g_shaders;

namespace {

const char* VERTEX_COMMON = R"(
varying vec3 v_pos;
varying vec3 v_normal;
varying vec3 v_tangent;
void main() {
    v_pos = vec3(gl_ModelViewMatrix * gl_Vertex);
    v_normal = gl_NormalMatrix * gl_Normal;
    v_tangent = gl_NormalMatrix * gl_MultiTexCoord1.xyz;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
)";

// Light and fog shared by the lit programs: n is the unit eye-space normal, shine the specular
// strength from the map (1 without one).
const char* LIGHT_COMMON = R"(
varying vec3 v_pos;
varying vec3 v_normal;
varying vec3 v_tangent;
uniform sampler2D tex;
vec4 shade(vec3 n, float shine) {
    vec3 l = normalize(gl_LightSource[0].position.xyz);
    vec3 v = normalize(-v_pos);
    float d = max(dot(n, l), 0.0);
    float s = d > 0.0 ? pow(max(dot(n, normalize(l + v)), 0.0), gl_FrontMaterial.shininess) : 0.0;
    vec4 t = texture2D(tex, gl_TexCoord[0].st);
    vec3 light = gl_LightModel.ambient.rgb + gl_LightSource[0].ambient.rgb +
                 gl_LightSource[0].diffuse.rgb * d;
    vec3 c = t.rgb * gl_Color.rgb * light +
             gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb * s * shine;
    float f = clamp(exp(-gl_Fog.density * length(v_pos)), 0.0, 1.0);
    return vec4(mix(gl_Fog.color.rgb, c, f), t.a * gl_Color.a);
}
)";

const char* FRAGMENT_LIT = R"(
void main() {
    gl_FragColor = shade(normalize(gl_FrontFacing ? v_normal : -v_normal), 1.0);
}
)";

const char* FRAGMENT_NORMAL = R"(
uniform sampler2D nmap;
uniform sampler2D smap;
void main() {
    vec3 n = normalize(gl_FrontFacing ? v_normal : -v_normal);
    vec3 t = normalize(v_tangent - n * dot(n, v_tangent));
    vec3 b = cross(n, t);
    vec3 m = texture2D(nmap, gl_TexCoord[0].st).xyz * 2.0 - 1.0;
    vec3 bent = normalize(t * m.x + b * m.y + n * m.z);
    gl_FragColor = shade(bent, texture2D(smap, gl_TexCoord[0].st).r);
}
)";

// Angular environment map: the centre looks straight up, the radius is the angle from the
// vertical over 2 pi (the same layout as the fixed-function texture coordinates).
const char* FRAGMENT_ENV = R"(
varying vec3 v_pos;
varying vec3 v_normal;
uniform sampler2D tex;
uniform mat3 envmat;
void main() {
    vec3 n = normalize(v_normal);
    vec3 r = normalize(envmat * reflect(normalize(v_pos), n));
    float theta = acos(clamp(r.y, -1.0, 1.0));
    float h = length(r.xz);
    vec2 st = h > 0.00001 ? 0.5 + theta / 6.2831853 * r.xz / h : vec2(0.5, 0.5);
    vec3 c = texture2D(tex, st).rgb * gl_Color.rgb;
    float f = clamp(exp(-gl_Fog.density * length(v_pos)), 0.0, 1.0);
    gl_FragColor = vec4(mix(gl_Fog.color.rgb, c, f), gl_Color.a);
}
)";

const char* PROGRAM_NAMES[SHADER_COUNT] = {"fixed", "lit", "normal-mapped", "environment-mapped"};

std::string info_log(GLhandleARB object) {
    GLint length = 0;
    glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    std::string text((size_t)(length > 0 ? length : 1), '\0');
    glGetInfoLogARB(object, (GLsizei)text.size(), nullptr, &text[0]);
    text.resize(strlen(text.c_str()));
    return text;
}

GLhandleARB compile(GLenum kind, const char* const* parts, int count, const char* program) {
    GLhandleARB shader = glCreateShaderObjectARB(kind);
    glShaderSourceARB(shader, count, (const GLcharARB**)parts, nullptr);
    glCompileShaderARB(shader);
    GLint ok = 0;
    glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
    if (!ok) {
        log_printf("%s for %s:\n%s\n",
                   kind == GL_VERTEX_SHADER_ARB ? "Vertex shader compile failed"
                                                : "Fragment shader compile failed",
                   program, info_log(shader).c_str());
        glDeleteObjectARB(shader);
        return 0;
    }
    return shader;
}

unsigned link(int which, const char* const* fragment, int fragment_count) {
    const char* name = PROGRAM_NAMES[which];
    GLhandleARB vs = compile(GL_VERTEX_SHADER_ARB, &VERTEX_COMMON, 1, name);
    GLhandleARB fs = compile(GL_FRAGMENT_SHADER_ARB, fragment, fragment_count, name);
    if (!vs || !fs) {
        if (vs) glDeleteObjectARB(vs);
        if (fs) glDeleteObjectARB(fs);
        return 0;
    }
    GLhandleARB program = glCreateProgramObjectARB();
    glAttachObjectARB(program, vs);
    glAttachObjectARB(program, fs);
    glLinkProgramARB(program);
    // The program keeps the shaders alive as long as it needs them.
    glDeleteObjectARB(vs);
    glDeleteObjectARB(fs);
    GLint ok = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &ok);
    if (!ok) {
        log_printf("%s for %s:\n%s\n", "Link failed", name, info_log(program).c_str());
        glDeleteObjectARB(program);
        return 0;
    }
    static const char* UNIFORM_NAMES[SHADER_UNIFORMS] = {"tex", "nmap", "smap", "envmat"};
    for (int u = 0; u < SHADER_UNIFORMS; u++)
        g_shaders.uniform[which][u] = glGetUniformLocationARB(program, UNIFORM_NAMES[u]);
    glUseProgramObjectARB(program);
    for (int u = 0; u < SHADER_UNIFORM_ENVMAT; u++)
        if (g_shaders.uniform[which][u] >= 0) glUniform1iARB(g_shaders.uniform[which][u], u);
    glUseProgramObjectARB(0);
    return (unsigned)(uintptr_t)program;
}

unsigned one_pixel(unsigned char r, unsigned char g, unsigned char b) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const unsigned char px[3] = {r, g, b};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, px);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

// Tells the model drawing (tangents, environment texture coordinates) and the bike loader
// (which map variants to look up) what the renderer does.
void announce(int on) {
    GLint units = 1;
    if (g_gl.multitexture) glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    model_set_gl_caps(on, units);
    // Normal maps are read by the programs only; specular maps too.
    bikes_set_shading_level(on ? 3 : 1);
}

} // namespace

int shaders_build() {
    shaders_free();
    if (!g_gl.shaders || !g_gl.multitexture) {
        announce(0);
        return 0;
    }
    const char* lit[2] = {LIGHT_COMMON, FRAGMENT_LIT};
    const char* normal[2] = {LIGHT_COMMON, FRAGMENT_NORMAL};
    g_shaders.program[SHADER_LIT] = link(SHADER_LIT, lit, 2);
    g_shaders.program[SHADER_NORMAL] = link(SHADER_NORMAL, normal, 2);
    g_shaders.program[SHADER_ENV] = link(SHADER_ENV, &FRAGMENT_ENV, 1);
    g_shaders.built = g_shaders.program[SHADER_LIT] && g_shaders.program[SHADER_NORMAL] &&
                      g_shaders.program[SHADER_ENV];
    if (!g_shaders.built) {
        shaders_free();
        announce(0);
        return 0;
    }
    g_shaders.flat_normal = one_pixel(128, 128, 255);
    g_shaders.white = one_pixel(255, 255, 255);
    announce(1);
    return 1;
}

void shaders_free() {
    for (int p = 1; p < SHADER_COUNT; p++)
        if (g_shaders.program[p]) glDeleteObjectARB((GLhandleARB)(uintptr_t)g_shaders.program[p]);
    GLuint textures[2] = {g_shaders.flat_normal, g_shaders.white};
    for (GLuint t : textures)
        if (t) glDeleteTextures(1, &t);
    g_shaders = ShaderState();
}

bool shaders_on() {
    return g_shaders.built != 0;
}

void shader_use(int program) {
    if (!g_shaders.built || program == g_shaders.current) return;
    g_shaders.current = program;
    glUseProgramObjectARB((GLhandleARB)(uintptr_t)g_shaders.program[program]);
    render_stats_add(STAT_SHADER_CHANGES, 1);
}

void shaders_set_envmat(const float camera_rot[9]) {
    if (!g_shaders.built) return;
    int before = g_shaders.current;
    for (int p = 1; p < SHADER_COUNT; p++) {
        int at = g_shaders.uniform[p][SHADER_UNIFORM_ENVMAT];
        if (at < 0) continue;
        glUseProgramObjectARB((GLhandleARB)(uintptr_t)g_shaders.program[p]);
        // GL reads the rows as columns: the matrix becomes the transpose, which turns eye
        // directions into world directions.
        glUniformMatrix3fvARB(at, 1, GL_FALSE, camera_rot);
    }
    glUseProgramObjectARB((GLhandleARB)(uintptr_t)g_shaders.program[before]);
}

void shader_bind_maps(unsigned texture, unsigned normal_map, unsigned specular_map) {
    glActiveTextureARB(GL_TEXTURE2_ARB);
    glBindTexture(GL_TEXTURE_2D, specular_map ? specular_map : g_shaders.white);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, normal_map ? normal_map : g_shaders.flat_normal);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    frame_bind_texture(texture ? texture : g_shaders.white);
}
