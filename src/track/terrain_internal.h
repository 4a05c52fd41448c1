// Internal to the terrain and surface-type code: the calls into the texture manager, kept in
// one place (terrain_texture.cpp).
#pragma once

#include <string>

// GL texture name of a texture loaded through the texture cache, 0 when it cannot be loaded.
unsigned terrain_texture_load(const char* name);
// The file name a texture was loaded from ("" when unknown).
std::string terrain_texture_file_name(unsigned texture);
// Bytes of texture memory in use, for the loader's verbose lines.
unsigned long terrain_texture_memory();
