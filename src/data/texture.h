// The texture manager: a cache of GL textures by file name with generations and purge,
// "ANIM1" frame-sequence animations, power-of-two resampling and detail reduction, and the
// texture variant lists of the rider, bike and wheel settings.
//
// In headless runs nothing touches GL: images are still decoded and checked, and every cached
// texture gets a stable non-zero name from a counter, so callers behave as with a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Image;

// One cached texture.
struct Texture {
    unsigned gl_name; // GL texture name (or the headless counter's value)
    int stamp;        // generation it was last used in; 0 = loaded before any track, kept
    long long bytes;  // texture memory counted when it was created
    std::string name; // file name as requested, without a leading "!"
};

// One frame of an animation: an image with its mipmap chain.
struct TextureFrame {
    int width, height, channels;
    std::vector<uint8_t> pixels;
};

// One "ANIM1" texture.
struct TextureAnim {
    unsigned gl_name;
    int steps;     // sequence length
    int frames;    // number of distinct frames
    int current;   // frame index currently uploaded
    int step_time; // step duration in animation clock units (the renderer's ticks)
    int loop;      // 1: the sequence repeats; 0: it stops at the last step
    int start;     // animation clock value at which step 0 shows
    int paused;
    std::vector<TextureFrame> frame;
    std::vector<int> sequence; // frame index per step, each 0..frames-1
};

// Process-wide texture state.
struct TextureState {
    bool created = false; // cache and animation list made on first use
    std::vector<Texture> cache;
    std::vector<TextureAnim*> anims;
    long long memory = 0;        // bytes of texture memory since the last track change
    int generation = 0;          // 0 until the first track change
    unsigned headless_names = 0; // last name handed out in headless runs
};
extern TextureState g_textures;

// Loads a texture by file name, or returns the cached one. A leading "!" loads the full-size
// image (no detail reduction); "@" names come from the data search path. 0 on failure.
unsigned texture_load(const char* name);
// The file name a texture was loaded from, or null when the name is unknown.
const char* texture_file_name(unsigned gl_name);

// Creates a texture from an image that carries its whole mipmap chain, uploading every level.
// Adds the uploaded bytes to the texture memory. Returns the texture name.
unsigned texture_create(const Image* image, int hrepeat, int vrepeat);
// Creates a texture from an image of any size (level 0 only, or with its chain): resamples to
// powers of two when needed, then drops up to detail levels while either side exceeds 128.
unsigned texture_create_any(Image* image, int hrepeat, int vrepeat, int detail);
// Nearest-neighbour resampling of level 0 to the smallest powers of two not below its sides;
// the result has no chain. Returns 0 when the sides already are powers of two.
int texture_resample_pow2(const Image* in, Image* out);
// The border colour of a texture (R, G, B, A in 0..1): a fixed colour for 4 channels, the
// most common quantised edge colour for 1 or 3 channels.
void texture_border_colour(const Image* image, float rgba[4]);

// Animation control by texture name; times are in the renderer's animation clock units.
void texture_anim_start(unsigned gl_name, int time);
TextureAnim* texture_anim_pause(unsigned gl_name); // null when the name has no animation
void texture_anim_update(int time);                // once per drawn frame
// The step an animation shows at a time (step index, not frame index).
int texture_anim_step(const TextureAnim* anim, int time);

// Starts a new generation for a track change: the generation rises and the texture memory
// total restarts at 0.
void texture_new_generation();
// After a track change has loaded: deletes textures and animations of older generations.
void texture_purge();
// Frees every texture and animation and forgets all state (tests, fuzzing).
void texture_reset();

// The choices of a texture setting: values[i] is "@" + data name (null for the first entry,
// "default"), labels[i] its display name. Both lists' strings are interned.
void texture_variants(const char* prefix, std::vector<const char*>* values,
                      std::vector<const char*>* labels);
