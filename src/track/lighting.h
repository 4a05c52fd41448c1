// The lighting of the loaded track: sun, ambient light, sky box, fog and lens flares.
//
// One process-wide record, g_lighting. The track loader resets it and fills it from the
// track's "lighting" file; the ground shading reads the sun and the ambient colour from it.
#pragma once

#include <vector>

constexpr int FLARE_ELEMENTS_MAX = 8;
// What a "lighting" file may set; values outside are clamped when read (logged), so that the
// ground shading, GL's lights and the fog get numbers they can use. Colours may be over-bright.
constexpr float LIGHT_COLOUR_MAX = 4;      // sun, ambient and flare colour components
constexpr float LIGHT_FOG_MAX = 1;         // fog density per foot (GL_EXP)
constexpr float LIGHT_POSITION_MAX = 1e6f; // sun vector and flare positions, each axis

enum { FLARE_POINT = 0, FLARE_DIRECTION = 1 };

// One lens flare: its elements are drawn along the line from the flare to the screen centre.
struct Flare {
    float position[3] = {0, 0, 0}; // world point, or direction for FLARE_DIRECTION
    float reserved[2] = {0, 0};
    float placement[FLARE_ELEMENTS_MAX][2] = {};
    float color[FLARE_ELEMENTS_MAX][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1},
                                          {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
    float size[FLARE_ELEMENTS_MAX] = {1, 1, 1, 1, 1, 1, 1, 1};
    unsigned texture[FLARE_ELEMENTS_MAX] = {}; // GL texture names, 0 when none
    int element_count = 0;                     // 0..8
    int kind = FLARE_POINT;
    int reserved_int = 0;
};

enum { SKY_NORTH = 0, SKY_EAST, SKY_SOUTH, SKY_WEST, SKY_UP, SKY_ENV, SKY_TEXTURES };

// The defaults below are those of a track without a "lighting" file. The reader normalises
// sun_vector after reading the file; without a file it stays (1, 1, 1), which the ground
// shading clamps like any other light factor.
struct Lighting {
    float sun_vector[3] = {1, 1, 1};       // direction toward the sun
    float sun_color[3] = {1, 1, 1};        // 0..1 per channel
    float ambient[3] = {0.5f, 0.5f, 0.5f}; // added to the sun's light on the ground
    float global_ambient[3] = {0.2f, 0.2f, 0.2f};
    unsigned sky[SKY_TEXTURES] = {}; // GL texture names of the sky box sides, 0 = none
    float fog_color[3] = {0, 0, 0};
    float fog_density = 0;     // GL_EXP fog; 0 = no fog
    std::vector<Flare> flares; // completed flares in file order
};

// The lighting of the loaded track (defaults when no track is loaded).
inline Lighting g_lighting;

// Puts a record back to the defaults above (sky textures none, no fog, no flares).
inline void lighting_reset(Lighting* lighting) {
    *lighting = Lighting();
}
