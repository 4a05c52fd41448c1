// Drawing the models of the model cache (data/model.h): rigid, skinned and the
// environment-mapped second pass.
#pragma once

struct Model;
struct ModelBone;

// Polygons and vertices of the models drawn since the renderer last cleared them (render
// statistics).
struct ModelDrawStats {
    int polygons = 0;
    int vertices = 0;
};
extern ModelDrawStats g_model_stats;

// Draws the base model's meshes (display lists or vertex arrays) and counts them.
void model_draw_rigid(const Model* model);
// Draws the chosen level's meshes up to the first environment-mapped one, with each mesh's
// material; skinned by bones when bone_count equals a mesh's weight count.
void model_draw(Model* model, const float position[3], const float camera[3],
                const ModelBone* bones, int bone_count);
// The second pass: only the environment-mapped meshes of the chosen level. rotation is the
// model's orientation (layout as ModelBone::rotation).
void model_draw_env(Model* model, const float position[3], const float rotation[9],
                    const float camera[3]);
