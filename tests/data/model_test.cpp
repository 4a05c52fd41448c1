#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "platform/log.h"
#include "render/model_draw.h"
#include "support/test_env.h"

namespace {

class Models : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        model_reset();
        log_setup("DRUV_LOGFILE=test.log");
    }
    void TearDown() override {
        model_reset();
        g_settings = Settings{};
    }
    static int log_count(const std::string& text) {
        std::string log = read_file("test.log");
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) n++;
        return n;
    }
};

int mesh_count(const Model* m) {
    int n = 0;
    for (const Mesh* x = m->meshes; x; x = x->next) n++;
    return n;
}

// One triangle in the z = 0 plane with file texture coordinates (0,0), (1,0), (0,1).
const char* TRIANGLE = "0 0 0  0 0 1  0 0\n"
                       "1 0 0  0 0 1  1 0\n"
                       "0 1 0  0 0 1  0 1\n"
                       "0 1 2\n";

Model* read_text(const std::string& text) {
    write_file("m.jm", text);
    DataFile* f = data_open("m.jm", "rb");
    EXPECT_TRUE(f);
    Model* m = model_read(f, "m.jm");
    data_close(f);
    return m;
}

void gz_write(const std::string& path, const std::string& text) {
    gzFile g = gzopen(path.c_str(), "wb");
    ASSERT_TRUE(g);
    gzwrite(g, text.data(), (unsigned)text.size());
    gzclose(g);
}

} // namespace

TEST_F(Models, VersionOneMeshesAndMaterials) {
    std::string text = std::string("JM1\n") + "8 0.5 0.1 0.2 0.3 3 1\n" + TRIANGLE +
                       "-1 0.25 0.4 0.6 0.8 3 1\n" + TRIANGLE;
    Model* m = read_text(text);
    ASSERT_TRUE(m);
    ASSERT_EQ(mesh_count(m), 2);
    EXPECT_EQ(m->env_mapped, 1);
    EXPECT_EQ(m->lod_distance, 0.0f);
    EXPECT_EQ(m->next_lod, nullptr);
    const Mesh* a = m->meshes;
    EXPECT_FLOAT_EQ(a->shininess, 8);
    EXPECT_FLOAT_EQ(a->specular[0], 0.1f);
    EXPECT_FLOAT_EQ(a->specular[2], 0.3f);
    EXPECT_FLOAT_EQ(a->specular[3], 1.0f); // shininess 0 or more: opaque specular
    EXPECT_EQ(a->vertex_count, 3);
    EXPECT_EQ(a->triangle_count, 1);
    EXPECT_EQ(a->weight_count, 0);
    EXPECT_EQ(a->rest_positions, nullptr);
    EXPECT_FLOAT_EQ(a->positions[3], 1.0f);
    EXPECT_FLOAT_EQ(a->normals[2], 1.0f);
    // v is stored as 1 - v.
    EXPECT_FLOAT_EQ(a->uvs[0], 0.0f);
    EXPECT_FLOAT_EQ(a->uvs[1], 1.0f);
    EXPECT_FLOAT_EQ(a->uvs[5], 0.0f);
    EXPECT_EQ(a->triangles[2], 2u);
    EXPECT_EQ(a->display_list, 0u); // headless
    const Mesh* b = a->next;
    EXPECT_FLOAT_EQ(b->shininess, -1);
    EXPECT_FLOAT_EQ(b->specular[3], 0.25f); // negative shininess keeps the file's alpha
    model_free(m);
}

TEST_F(Models, VersionTwoWeightsAreNormalised) {
    std::string text = "JM2\n2 rider_skeleton\n"
                       "16 1 1 1 1 3 1\n"
                       "0 0 0  0 1 0  0 0  0 0\n"
                       "1 0 0  0 1 0  1 0  1 3\n"
                       "0 1 0  0 1 0  0 1  2 -1\n"
                       "0 1 2\n";
    Model* m = read_text(text);
    ASSERT_TRUE(m);
    const Mesh* s = m->meshes;
    EXPECT_EQ(s->weight_count, 2);
    EXPECT_FLOAT_EQ(s->weights[0], 0.5f); // both zero: 1 / K each
    EXPECT_FLOAT_EQ(s->weights[1], 0.5f);
    EXPECT_FLOAT_EQ(s->weights[2], 0.25f);
    EXPECT_FLOAT_EQ(s->weights[3], 0.75f);
    EXPECT_FLOAT_EQ(s->weights[4], 2.0f); // sum 1
    EXPECT_FLOAT_EQ(s->weights[5], -1.0f);
    ASSERT_NE(s->rest_positions, nullptr);
    EXPECT_FLOAT_EQ(s->rest_positions[3], 1.0f);
    EXPECT_FLOAT_EQ(s->rest_normals[1], 1.0f);
    for (int i = 0; i < 9; i++) EXPECT_FLOAT_EQ(s->rest_tangents[i], s->tangents[i]);
    model_free(m);
}

TEST_F(Models, HeadersThatAreRejected) {
    std::string mesh = std::string("1 1 1 1 1 3 1\n") + TRIANGLE;
    EXPECT_EQ(read_text("JM3\n" + mesh), nullptr);
    EXPECT_EQ(read_text("JM0\n" + mesh), nullptr);
    EXPECT_EQ(read_text("JMx\n" + mesh), nullptr);
    EXPECT_EQ(read_text("JM2\nskeleton\n" + mesh), nullptr); // no K
    EXPECT_EQ(read_text("JM2 2"), nullptr);                  // no skeleton name
    EXPECT_EQ(read_text("JM2 -1 s\n" + mesh), nullptr);      // negative K
    EXPECT_EQ(read_text("JM2 100000 s\n" + mesh), nullptr);
    EXPECT_EQ(read_text("JM1\n"), nullptr); // no mesh at all
    EXPECT_EQ(read_text(""), nullptr);
    EXPECT_EQ(read_text("JM1\n1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n"), nullptr); // first mesh cut short
}

TEST_F(Models, MeshListEndsQuietlyAtTheFirstBadHeader) {
    std::string mesh = std::string("1 1 1 1 1 3 1\n") + TRIANGLE;
    Model* m = read_text("JM1\n" + mesh + mesh + "end of meshes\n" + mesh);
    ASSERT_TRUE(m);
    EXPECT_EQ(mesh_count(m), 2);
    model_free(m);
    // A mesh cut short is dropped and ends the list.
    m = read_text("JM1\n" + mesh + "1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(mesh_count(m), 1);
    model_free(m);
    // So is a mesh whose triangle names a vertex it does not have.
    m = read_text("JM1\n" + mesh +
                  "1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 1 0 0 0 1 0 0\n0 1 3\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(mesh_count(m), 1);
    model_free(m);
    EXPECT_EQ(
        read_text(
            "JM1\n1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 1 0 0 0 1 0 0\n0 -1 2\n"),
        nullptr);
    // Negative counts end the list too.
    m = read_text("JM1\n" + mesh + "1 1 1 1 1 -3 1\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(mesh_count(m), 1);
    model_free(m);
}

TEST_F(Models, OlderLayoutIsOneWhiteMesh) {
    Model* m = read_text(std::string("3 1\n") + TRIANGLE);
    ASSERT_TRUE(m);
    ASSERT_EQ(mesh_count(m), 1);
    const Mesh* s = m->meshes;
    EXPECT_FLOAT_EQ(s->shininess, 32);
    for (int c = 0; c < 4; c++) EXPECT_FLOAT_EQ(s->specular[c], 1.0f);
    EXPECT_FLOAT_EQ(s->uvs[5], 0.0f); // 1 - 1
    EXPECT_EQ(m->env_mapped, 0);
    model_free(m);
    EXPECT_EQ(read_text("3 1\n0 0 0 0 0 1 0 0\n"), nullptr);
    EXPECT_EQ(read_text("3\n"), nullptr);
}

TEST_F(Models, TangentsWorkedByHand) {
    // Stored uv: (0,1), (1,1), (0,0). du1 = 1, dv1 = 0, du2 = 0, dv2 = -1, det = -1.
    // T = (E1 dv2 - E2 dv1) / det = E1 = (1,0,0); B = (E2 du1 - E1 du2) / det = (0,-1,0).
    // T x B = (0,0,-1); E2 x E1 = (0,0,-1); the dot product is 1, not negative: T = (-1,0,0).
    Model* m = read_text(std::string("JM1 1 1 1 1 1 3 1\n") + TRIANGLE);
    ASSERT_TRUE(m);
    const Mesh* s = m->meshes;
    for (int v = 0; v < 3; v++) {
        EXPECT_NEAR(s->tangents[v * 3 + 0], -1.0f, 1e-6);
        EXPECT_NEAR(s->tangents[v * 3 + 1], 0.0f, 1e-6);
        EXPECT_NEAR(s->tangents[v * 3 + 2], 0.0f, 1e-6);
    }
    model_free(m);
    // Mirrored texture coordinates (det = +1): T = (E1 dv2 - E2 dv1) / det with stored uv
    // (0,0), (1,0), (0,1): du1 = 1, dv1 = 0, du2 = 0, dv2 = 1: T = E1 = (1,0,0),
    // B = E2 = (0,1,0); T x B = (0,0,1); (0,0,1) . (0,0,-1) < 0: T stays (1,0,0).
    m = read_text("JM1 1 1 1 1 1 3 1\n"
                  "0 0 0  0 0 1  0 1\n1 0 0  0 0 1  1 1\n0 1 0  0 0 1  0 0\n0 1 2\n");
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->meshes->tangents[0], 1.0f, 1e-6);
    model_free(m);
}

TEST_F(Models, DegenerateTextureCoordinatesAddOnlyATinyTangent) {
    // Vertex 0 is shared by a good triangle (0 1 2) and one whose texture coordinates are all
    // equal (0 3 4). Vertices 3 and 4 only see the degenerate one: a unit vector along its
    // longer edge, E2 = P4 - P0 = (0,0,-3) against E1 = (0,2,0).
    Model* m = read_text("JM1 1 1 1 1 1 5 2\n"
                         "0 0 0  0 0 1  0 0\n1 0 0  0 0 1  1 0\n0 1 0  0 0 1  0 1\n"
                         "0 2 0  0 0 1  0 0\n0 0 -3  0 0 1  0 0\n"
                         "0 1 2\n0 3 4\n");
    ASSERT_TRUE(m);
    const Mesh* s = m->meshes;
    EXPECT_NEAR(s->tangents[0], -1.0f, 1e-5); // the good triangle decides
    EXPECT_NEAR(s->tangents[2], 0.0f, 1e-5);
    for (int v : {3, 4}) {
        EXPECT_NEAR(s->tangents[v * 3 + 0], 0.0f, 1e-6);
        EXPECT_NEAR(s->tangents[v * 3 + 1], 0.0f, 1e-6);
        EXPECT_NEAR(s->tangents[v * 3 + 2], -1.0f, 1e-6);
    }
    model_free(m);
    // Equal edge lengths: along E2; everything at one point: along x.
    m = read_text("JM1 1 1 1 1 1 6 2\n"
                  "0 0 0  0 0 1  0 0\n1 0 0  0 0 1  0 0\n0 1 0  0 0 1  0 0\n"
                  "5 5 5  0 0 1  0 0\n5 5 5  0 0 1  0 0\n5 5 5  0 0 1  0 0\n"
                  "0 1 2\n3 4 5\n");
    ASSERT_TRUE(m);
    s = m->meshes;
    EXPECT_NEAR(s->tangents[1 * 3 + 1], 1.0f, 1e-6);
    EXPECT_NEAR(s->tangents[3 * 3 + 0], 1.0f, 1e-6);
    model_free(m);
}

TEST_F(Models, SkinningByBoneWeights) {
    Model* m = read_text("JM2 2 s\n16 1 1 1 1 2 1\n"
                         "1 0 0  0 1 0  0 0  1 1\n"
                         "1 0 0  0 1 0  0 0  2 -1\n"
                         "0 1 1\n");
    ASSERT_TRUE(m);
    Mesh* s = m->meshes;
    ModelBone bones[2] = {};
    // Bone 0: identity rotation, moved by (1,0,0). Bone 1: 90 degrees about z in place
    // (row 0 = (0,-1,0), row 1 = (1,0,0), row 2 = (0,0,1); element (i, j) at i + 3j).
    bones[0].position[0] = 1;
    bones[0].rotation[0] = bones[0].rotation[4] = bones[0].rotation[8] = 1;
    bones[1].rotation[3] = -1;
    bones[1].rotation[1] = 1;
    bones[1].rotation[8] = 1;
    for (int pass = 0; pass < 2; pass++) { // always from the rest pose
        mesh_skin(s, bones, 2);
        // Vertex 0, weights 0.5 / 0.5: 0.5 (2,0,0) + 0.5 (0,1,0).
        EXPECT_NEAR(s->positions[0], 1.0f, 1e-6);
        EXPECT_NEAR(s->positions[1], 0.5f, 1e-6);
        // Normal: 0.5 (0,1,0) + 0.5 (-1,0,0), normalised.
        EXPECT_NEAR(s->normals[0], -std::sqrt(0.5f), 1e-6);
        EXPECT_NEAR(s->normals[1], std::sqrt(0.5f), 1e-6);
        // Vertex 1, weights 2 / -1: the negative weight is skipped: 2 (2,0,0).
        EXPECT_NEAR(s->positions[3], 4.0f, 1e-6);
        EXPECT_NEAR(s->positions[4], 0.0f, 1e-6);
        EXPECT_NEAR(s->normals[4], 1.0f, 1e-6);
    }
    // A bone count other than K leaves the mesh alone.
    s->positions[0] = 42;
    mesh_skin(s, bones, 1);
    EXPECT_EQ(s->positions[0], 42);
    model_free(m);
}

TEST_F(Models, CacheCaseMismatchGenerationsAndPurge) {
    std::string mesh = std::string("JM1 1 1 1 1 1 3 1\n") + TRIANGLE;
    write_file("Box.jm", mesh);
    write_file("track.jm", mesh);
    Model* box = model_get("Box.jm");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->stamp, 0);
    EXPECT_EQ(model_get("Box.jm"), box);
    EXPECT_EQ(model_get("BOX.JM"), box);
    EXPECT_EQ(log_count("Warning: case mismatch on 'BOX.JM'"), 1);
    EXPECT_EQ(model_get("missing.jm"), nullptr);
    model_new_generation();
    Model* t = model_get("track.jm");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->stamp, 1);
    model_new_generation();
    model_get("Box.jm");
    EXPECT_EQ(box->stamp, 0); // loaded before any track: kept for good
    g_settings.debug_level = 1;
    model_purge();
    ASSERT_EQ(g_models.cache.size(), 1u);
    EXPECT_EQ(g_models.cache[0], box);
    EXPECT_EQ(log_count("deleting model track.jm"), 1);
    // Re-requested in the new generation: kept.
    t = model_get("track.jm");
    model_new_generation();
    model_get("track.jm");
    model_purge();
    EXPECT_EQ(g_models.cache.size(), 2u);
}

TEST_F(Models, LevelOfDetailVariantsFromTheDataNames) {
    std::string mesh = std::string("JM1 1 1 1 1 1 3 1\n") + TRIANGLE;
    std::string game = test_game_dir() + "/";
    write_file(game + "tree.jm", mesh);
    write_file(game + "tree_lod2.jm", mesh);
    gz_write(game + "tree_lod1.jm.gz", mesh);
    write_file(game + "tree_lodx.jm", mesh); // no number: not a variant
    write_file(game + "treetop_lod1.jm", mesh);
    data_reset();
    Model* m = model_get("@tree.jm");
    ASSERT_TRUE(m);
    ASSERT_TRUE(m->next_lod);
    EXPECT_EQ(m->next_lod->name, "@tree_lod1.jm");
    EXPECT_FLOAT_EQ(m->next_lod->lod_distance, 2.0f);
    ASSERT_TRUE(m->next_lod->next_lod);
    EXPECT_EQ(m->next_lod->next_lod->name, "@tree_lod2.jm");
    EXPECT_FLOAT_EQ(m->next_lod->next_lod->lod_distance, 4.0f);
    EXPECT_EQ(m->next_lod->next_lod->next_lod, nullptr);
    EXPECT_EQ(g_models.cache.size(), 1u); // variants live in the chain, not the cache

    float origin[3] = {0, 0, 0};
    auto at = [&](float d) {
        float cam[3] = {0, 0, d};
        return model_choose_lod(m, origin, cam);
    };
    EXPECT_EQ(at(3.0f), m->next_lod);
    EXPECT_EQ(at(1.5f), m);
    EXPECT_EQ(at(5.0f), m->next_lod->next_lod);
    g_settings.lod_scale = 0.5f; // d2 = 9 x 0.25 = 2.25 < 4
    EXPECT_EQ(at(3.0f), m);
    g_settings.lod_scale = 1.0f;
    g_settings.lod_bias = 1.0f; // e = 1 then 3: 2.25 is not below 1, is below 9
    EXPECT_EQ(at(1.5f), m->next_lod);
    g_settings.lod_bias = 2.0f; // e = 0 for the first variant: never stops there
    EXPECT_EQ(at(0.1f), m->next_lod);

    // A path name gets no variants.
    write_file("plain.jm", mesh);
    write_file("plain_lod1.jm", mesh);
    Model* p = model_get("plain.jm");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->next_lod, nullptr);
}

TEST_F(Models, HeadlessDrawsCountStatisticsAndStopAtEnvironmentMeshes) {
    std::string text = std::string("JM1\n") + "8 1 1 1 1 3 1\n" + TRIANGLE + "-1 1 1 1 1 3 1\n" +
                       TRIANGLE + "8 1 1 1 1 3 1\n" + TRIANGLE;
    write_file("bike.jm", text);
    Model* m = model_get("bike.jm");
    ASSERT_TRUE(m);
    float pos[3] = {0, 0, 0}, cam[3] = {0, 0, 10};
    float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    model_draw(m, pos, cam, nullptr, 0);
    EXPECT_EQ(g_model_stats.polygons, 1); // stops at the environment-mapped second mesh
    EXPECT_EQ(g_model_stats.vertices, 3);
    model_draw_env(m, pos, rot, cam);
    EXPECT_EQ(g_model_stats.polygons, 2);
    model_draw_rigid(m);
    EXPECT_EQ(g_model_stats.polygons, 5);
    EXPECT_EQ(g_model_stats.vertices, 15);
}

TEST_F(Models, EnvironmentMapCoordinatesFollowTheWorldReflection) {
    Model* m = read_text("JM1 -1 1 1 1 1 1 0\n0 0 0  0 1 0  0 0\n");
    ASSERT_TRUE(m);
    Mesh* s = m->meshes;
    // Camera at (1,1,0), vertex at the origin with normal +y: the view vector (-1,-1,0)
    // reflects to (-1,1,0)/sqrt(2); theta = pi/4; s = 0.5 + (1/8)(-1), t = 0.5.
    float pos[3] = {0, 0, 0}, cam[3] = {1, 1, 0};
    float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    mesh_env_map(s, pos, identity, cam);
    EXPECT_NEAR(s->uvs[0], 0.375f, 1e-6);
    EXPECT_NEAR(s->uvs[1], 0.5f, 1e-6);
    // The same world set-up with the model turned 90 degrees about y gives the same result:
    // rows (0,0,1), (0,1,0), (-1,0,0), element (i, j) at i + 3j.
    float turned[9] = {0, 0, -1, 0, 1, 0, 1, 0, 0};
    s->uvs[0] = s->uvs[1] = 0;
    mesh_env_map(s, pos, turned, cam);
    EXPECT_NEAR(s->uvs[0], 0.375f, 1e-6);
    EXPECT_NEAR(s->uvs[1], 0.5f, 1e-6);
    // Camera straight above: reflection straight up, the map's centre, no NaN.
    float above[3] = {0, 5, 0};
    mesh_env_map(s, pos, identity, above);
    EXPECT_FLOAT_EQ(s->uvs[0], 0.5f);
    EXPECT_FLOAT_EQ(s->uvs[1], 0.5f);
    model_free(m);
}

TEST_F(Models, Mesh2Writer) {
    Model* m = read_text("JM1 1 1 1 1 1 2 1\n1 2 3  0 1 0  0.5 0.25\n4 5 6  0 0 1  1 0\n0 1 1\n");
    ASSERT_TRUE(m);
    DataFile* f = data_open("out.pov", "w");
    ASSERT_TRUE(f);
    EXPECT_EQ(mesh_write_mesh2(f, m->meshes), 1);
    data_close(f);
    EXPECT_EQ(read_file("out.pov"), "mesh2 {\n"
                                    "\tvertex_vectors {\n"
                                    "\t\t2\n"
                                    "\t\t<1.000000,2.000000,3.000000>,\n"
                                    "\t\t<4.000000,5.000000,6.000000>\n"
                                    "\t}\n"
                                    "\tnormal_vectors {\n"
                                    "\t\t2\n"
                                    "\t\t<0.000000,1.000000,0.000000>,\n"
                                    "\t\t<0.000000,0.000000,1.000000>\n"
                                    "\t}\n"
                                    "\tuv_vectors {\n"
                                    "\t\t2\n"
                                    "\t\t<0.500000,0.750000>,\n"
                                    "\t\t<1.000000,1.000000>\n"
                                    "\t}\n"
                                    "\tface_indices {\n"
                                    "\t\t1\n"
                                    "\t\t<0,1,1>\n"
                                    "\t}\n"
                                    "}\n");
    model_free(m);
}
