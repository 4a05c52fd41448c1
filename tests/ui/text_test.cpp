// Fonts and layers without GL: sizes follow the screen height, the atlas is rebuilt only when
// they change, texts measure and fill draw lists, and nothing is drawn without a renderer.
#include <gtest/gtest.h>

#include "render/imgui_gl.h"
#include "ui/text.h"

namespace {

struct TextFixture : ::testing::Test {
    void SetUp() override { text_reset(); }
    void TearDown() override { text_reset(); }
};

TEST_F(TextFixture, SizesFollowTheScreenHeight) {
    float px[FONT_COUNT];
    text_sizes_for_height(600, px);
    EXPECT_FLOAT_EQ(px[FONT_BODY], 19);
    EXPECT_FLOAT_EQ(px[FONT_BIG], 40); // 2/30 of the height, as "Paused" is drawn
    text_sizes_for_height(1080, px);
    EXPECT_FLOAT_EQ(px[FONT_BODY], 34);
    EXPECT_FLOAT_EQ(px[FONT_BIG], 72);
    text_sizes_for_height(200, px); // tiny windows keep readable text
    EXPECT_FLOAT_EQ(px[FONT_BODY], 14);
}

TEST_F(TextFixture, AtlasIsBuiltOncePerSize) {
    text_prepare(600);
    ASSERT_TRUE(g_text.context_made);
    EXPECT_EQ(g_text.atlas_generation, 1);
    EXPECT_TRUE(text_font(FONT_BODY) && text_font(FONT_BOLD) && text_font(FONT_BIG));
    text_prepare(600);
    EXPECT_EQ(g_text.atlas_generation, 1);
    text_prepare(601); // the same sizes
    EXPECT_EQ(g_text.atlas_generation, 1);
    text_prepare(900);
    EXPECT_EQ(g_text.atlas_generation, 2);
    EXPECT_FLOAT_EQ(text_px(FONT_BIG), 60);
}

TEST_F(TextFixture, TextsMeasureAndFillALayer) {
    text_prepare(600);
    ImVec2 a = text_size(FONT_BODY, 19, "Paused");
    ImVec2 b = text_size(FONT_BODY, 38, "Paused");
    EXPECT_GT(a.x, 19);
    EXPECT_NEAR(b.x, 2 * a.x, 1.0);
    EXPECT_GT(text_size(FONT_BODY, 19, "WWW").x, text_size(FONT_BODY, 19, "iii").x);

    ImDrawList* list = layer_begin(800, 600);
    EXPECT_EQ(list->VtxBuffer.Size, 0);
    text_draw(list, FONT_BOLD, 19, 400, 10, IM_COL32_WHITE, "Race", ALIGN_CENTRE, 1);
    // Four letters with a shadow: two quads each.
    EXPECT_EQ(list->VtxBuffer.Size, 4 * 2 * 4);
    float left = 1e9f, right = -1e9f;
    for (const ImDrawVert& v : list->VtxBuffer) {
        left = std::min(left, v.pos.x);
        right = std::max(right, v.pos.x);
    }
    EXPECT_NEAR((left + right) / 2, 400, 3.0); // centred on x
    layer_end();                               // no renderer: nothing drawn, nothing fails
    EXPECT_FALSE(g_imgui_gl.enabled);
    EXPECT_EQ(g_text.layer_open, 0);
}

TEST_F(TextFixture, DejaVuSansFromTheSystemFonts) {
    text_prepare(600);
    // The game's dependencies install DejaVu Sans; without it ImGui's own font stands in.
    EXPECT_EQ(g_text.from_ttf, 1);
}

} // namespace
