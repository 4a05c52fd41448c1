// "JM" model files (both versions and the older layout) over arbitrary bytes, then every
// operation that walks the read arrays: tangents, skinning, the environment map and drawing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz_util.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "render/model_draw.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = fuzz_temp_folder() + "/input.jm";
    g_settings.headless = 1; // decode and check only; no GL
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = g_path;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    DataFile* in = data_open(path.c_str(), "rb");
    if (!in) return 0;
    Model* m = model_read(in, "fuzz.jm");
    data_close(in);
    if (!m) return 0;
    float pos[3] = {0, 0, 0}, cam[3] = {1, 2, 3};
    float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (Mesh* mesh = m->meshes; mesh; mesh = mesh->next) {
        std::vector<ModelBone> bones(mesh->weight_count);
        for (ModelBone& b : bones) {
            b = ModelBone{};
            b.rotation[0] = b.rotation[4] = b.rotation[8] = 1;
        }
        mesh_skin(mesh, bones.data(), (int)bones.size());
        mesh_env_map(mesh, pos, rot, cam);
    }
    model_draw(m, pos, cam, nullptr, 0);
    model_draw_env(m, pos, rot, cam);
    model_free(m);
    return 0;
}
