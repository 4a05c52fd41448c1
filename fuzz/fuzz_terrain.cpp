// Fuzzes the terrain loader. The input holds up to five files separated by "#~#": "terrain.hf",
// "terrain.png", "decals", "shadows.pgm" and "tilemap"; a missing part means a missing file.
// A fixed 5 x 5 "shading.ppm" and a three-type "tileinfo" let shift-1 fields load completely.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "core/settings.h"
#include "render/ground.h"
#include "track/terrain.h"

static std::string g_dir;

static void put(const std::string& name, const std::string& bytes) {
    FILE* f = fopen((g_dir + "/" + name).c_str(), "wb");
    if (!f) abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_settings.headless = 1; // textures are decoded and named, GL is never touched
    g_dir = fuzz_temp_folder();
    std::string shading = "P6\n5 5\n255\n" + std::string(75, '\x80');
    put("shading.ppm", shading);
    put("tileinfo", "texture a.png\nfriction 0.5 2\naddtile\naddtile\nroost count=2\naddtile\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* names[] = {"terrain.hf", "terrain.png", "decals", "shadows.pgm", "tilemap"};
    std::string input((const char*)data, size);
    // Valid fields above 128 tiles per side only cost time (the loader reads every sample);
    // larger shifts are still tried, as the loader must refuse them.
    long shift = strtol(input.c_str(), nullptr, 10);
    if (shift > 6 && shift <= TERRAIN_MAX_SHIFT) return 0;
    size_t start = 0;
    for (int k = 0; k < 5; k++) {
        std::string path = g_dir + "/" + names[k];
        if (start == std::string::npos) {
            unlink(path.c_str());
            continue;
        }
        size_t end = input.find("#~#", start);
        put(names[k],
            input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? end : end + 3;
    }
    Terrain* t = &g_terrain;
    if (terrain_load(t, g_dir.c_str())) {
        // Touch what the loader filled: queries, a deformation at the edge, shading marks.
        float e = t->extent;
        volatile float h = terrain_height(t, e * 0.37f, e * 0.61f) + terrain_height(t, -e, 2 * e);
        (void)h;
        volatile int tile = terrain_tile_at(t, e * 0.9f, e * 0.1f);
        (void)tile;
        TerrainTriangle tri[8];
        terrain_triangles(t, e * 0.5f, e * 0.5f, t->spacing * 1.5f, tri, 8);
        terrain_deform(t, 0.0f, e, -0.25f);
        while (ground_lowdetail_next(t) >= 0) {
        }
        std::vector<int> found;
        terrain_decals_in(t, 0, 0, e, e, &found);
        for (int d : found)
            if (d < 0 || d >= (int)t->decals.size()) abort();
    }
    terrain_free(t);
    return 0;
}
