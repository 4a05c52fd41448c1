// Optional shader programs ("use_shader" Yes and a driver with GL_ARB_vertex_shader and
// GL_ARB_fragment_shader): lit, normal-mapped and environment-mapped variants compiled from
// GLSL, reading the uniforms "tex" (colour, unit 0), "nmap" (normal map, unit 1), "smap"
// (specular map, unit 2) and "envmat" (camera to world rotation for the environment map).
// Without them everything is drawn by the fixed-function path.
#pragma once

enum ShaderProgram {
    SHADER_FIXED = 0, // no program: the fixed-function path
    SHADER_LIT,       // per-pixel sun, ambient and specular light on a texture
    SHADER_NORMAL,    // the same with a tangent-space normal map and a specular map
    SHADER_ENV,       // angular environment map (chrome), coloured by the mesh's specular
    SHADER_COUNT
};

enum {
    SHADER_UNIFORM_TEX = 0,
    SHADER_UNIFORM_NMAP,
    SHADER_UNIFORM_SMAP,
    SHADER_UNIFORM_ENVMAT,
    SHADER_UNIFORMS
};

// Process-wide shader state.
struct ShaderState {
    int built = 0;                                   // every program compiled and linked
    unsigned program[SHADER_COUNT] = {};             // GL program objects (0 for SHADER_FIXED)
    int uniform[SHADER_COUNT][SHADER_UNIFORMS] = {}; // locations, -1 when a program lacks one
    int current = SHADER_FIXED;
    unsigned flat_normal = 0; // 1 x 1 textures for parts without maps
    unsigned white = 0;       // stands in for a missing colour or specular map
};
extern ShaderState g_shaders;

// Compiles and links every program (a GL context with the extensions is needed). Failures are
// logged as "%s for %s:\n%s\n" (what failed, which program, the driver's log) and leave the
// fixed-function path in use. Also tells the model and bike code whether programs are in use.
// Returns 1 when the programs are ready.
int shaders_build();
// Deletes the programs (the fixed-function path takes over).
void shaders_free();
// True when the programs are built and in use.
bool shaders_on();
// Switches to a program (SHADER_FIXED: none), counting shader changes.
void shader_use(int program);
// Hands every program the camera rotation (rows right, up, backward in the world).
void shaders_set_envmat(const float camera_rot[9]);
// Binds a part's maps for SHADER_NORMAL: colour, normal and specular textures (0: a flat
// normal, full specular), leaving texture unit 0 active.
void shader_bind_maps(unsigned texture, unsigned normal_map, unsigned specular_map);
