// "JM" model files: meshes with tangents and optional bone weights, level-of-detail chains
// found through the data names, a cache by file name with generations and purge, and the GL
// calls that draw a model. Shaders, lights and textures around those calls are the renderer's.
//
// In headless runs no display lists are made and nothing is drawn; level-of-detail choice,
// skinning and the render statistics still run.
#pragma once

#include <string>
#include <vector>

struct DataFile;

// How far from its origin a model's vertices may lie, in feet: farther ones are clamped when
// read (a corrupt number would otherwise reach the drawing, the scenery placement and the
// editor's export as infinities).
constexpr float MODEL_EXTENT_MAX = 10000;

// One mesh. Every array lives in the mesh's own allocation, right after this header.
struct Mesh {
    float shininess;       // -1 marks an environment-mapped mesh
    float specular[4];     // R, G, B, A
    int vertex_count;      // N
    int triangle_count;    // M
    int weight_count;      // K weights per vertex, 0 for rigid meshes
    float* positions;      // N x 3
    float* normals;        // N x 3
    float* tangents;       // N x 3, unit length (zero for a vertex no triangle uses)
    float* uvs;            // N x 2, v already stored as 1 - v
    float* weights;        // N x K, each vertex's weights summing to 1
    unsigned* triangles;   // M x 3 vertex indices, each below N
    float* rest_positions; // K > 0: the rest pose skinning reads from, else null
    float* rest_normals;
    float* rest_tangents;
    unsigned display_list; // rigid meshes with a GL context, else 0
    Mesh* next;
};

// One level of detail of a model; the base model heads the chain.
struct Model {
    std::string name;
    int stamp; // generation it was last requested in; 0 = kept for the whole run
    Mesh* meshes;
    int env_mapped;     // some mesh has shininess -1
    float lod_distance; // 0 for the base model, else 2^D from its "_lodD" name
    Model* next_lod;    // sorted by increasing distance
};

// One bone of a skinned draw. The rotation is 3 x 3 with element (row i, column j) at i + 3j.
struct ModelBone {
    float origin[3];   // rest-pose origin
    float position[3]; // current position
    float rotation[9];
};

// Process-wide model state.
struct ModelState {
    std::vector<Model*> cache;
    int generation = 0;    // raised with the texture generation at each track change
    int shaders = 0;       // shader programs are in use (model_set_gl_caps)
    int texture_units = 1; // texture units available (model_set_gl_caps)
};
extern ModelState g_models;

// What the GL drawing offers the uploads: shader programs on, and the texture units.
void model_set_gl_caps(int shaders, int texture_units);

// The cached model or a newly read one; null when missing or malformed. "@" names also get
// their level-of-detail variants.
Model* model_get(const char* name);
// Reads a model from an open stream (no cache, no variants); null when malformed.
Model* model_read(DataFile* f, const char* name);
// Frees a model, its level-of-detail chain, meshes and display lists.
void model_free(Model* model);

// The variant to draw for a camera at camera[] and the model at position[].
Model* model_choose_lod(Model* base, const float position[3], const float camera[3]);
// Recomputes the tangents from positions, normals and texture coordinates.
void mesh_compute_tangents(Mesh* mesh);
// Deforms a skinned mesh from its rest pose; nothing happens unless bone_count equals K.
void mesh_skin(Mesh* mesh, const ModelBone* bones, int bone_count);
// Angular environment-map texture coordinates for a camera, written into uvs.
void mesh_env_map(Mesh* mesh, const float position[3], const float rotation[9],
                  const float camera[3]);
// Sends a mesh's triangles to GL: vertex arrays and one glDrawElements, or immediate mode with
// "--novertexarrays" (needs a GL context).
void mesh_send(const Mesh* mesh);
// Compiles a rigid mesh into a display list (nothing in headless runs); deletes it again.
void mesh_compile_list(Mesh* mesh);
void mesh_delete_list(Mesh* mesh);
// Writes a mesh as a scene-description "mesh2" block. 1 on success.
int mesh_write_mesh2(DataFile* f, const Mesh* mesh);

// Starts a new generation for a track change.
void model_new_generation();
// Deletes models whose stamp is neither 0 nor the current generation.
void model_purge();
// Frees every model and forgets all state (tests, fuzzing).
void model_reset();
