// The terrain's calls into the texture cache: surface, roost and decal textures, the names
// decals are written back with, and the texture memory figure of the loader's log lines.
#include "track/terrain_internal.h"

#include "data/texture.h"

unsigned terrain_texture_load(const char* name) {
    return texture_load(name);
}

std::string terrain_texture_file_name(unsigned texture) {
    const char* name = texture_file_name(texture);
    return name ? name : "";
}

unsigned long terrain_texture_memory() {
    return (unsigned long)g_textures.memory;
}

