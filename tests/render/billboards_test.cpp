// Billboard ordering without GL: the depth key, the radix sort and the look-ahead reordering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/config.h"
#include "platform/messages.h"
#include "render/billboards.h"

namespace {

std::vector<unsigned> run(const char* letters) {
    std::vector<unsigned> t;
    for (const char* p = letters; *p; p++) t.push_back((unsigned)*p);
    return t;
}

std::string letters(const std::vector<unsigned>& t) {
    std::string s;
    for (unsigned c : t) s += (char)c;
    return s;
}

// Runs the look-ahead over a texture string with items 0..n-1; returns the new texture string
// and fills items and the change count.
std::string lookahead(const char* textures, int window, std::vector<int>* items, int* changes) {
    std::vector<unsigned> t = run(textures);
    items->resize(t.size());
    for (size_t i = 0; i < t.size(); i++) (*items)[i] = (int)i;
    *changes = billboard_lookahead(items->data(), t.data(), (int)t.size(), window);
    return letters(t);
}

} // namespace

TEST(BillboardSort, DepthKey) {
    EXPECT_EQ(billboard_sort_key(0), 16777216u);
    EXPECT_EQ(billboard_sort_key(1), 16777216u + 1024u);
    EXPECT_EQ(billboard_sort_key(0.5f), 16777216u + 512u);
    EXPECT_EQ(billboard_sort_key(2.0009765625f), 16777216u + 2049u); // 2 + 1/1024
    EXPECT_EQ(billboard_sort_key(-0.0001f), 16777215u);              // floor goes down
    EXPECT_EQ(billboard_sort_key(-16384), 0u);
    EXPECT_EQ(billboard_sort_key(-20000), 0u); // clamped, not wrapped
    EXPECT_EQ(billboard_sort_key(5000), 16777216u + 5000u * 1024u);
    EXPECT_EQ(billboard_sort_key(1e9f), 4294967295u);
    // Deeper keeps sorting deeper within the range.
    EXPECT_LT(billboard_sort_key(10.0f), billboard_sort_key(10.001f));
}

TEST(BillboardSort, RadixSortIsAscendingAndStable) {
    std::mt19937 rng(7);
    const int n = 3000;
    std::vector<uint32_t> keys(n), ks(n);
    std::vector<int> items(n), is(n);
    for (int i = 0; i < n; i++) {
        // Few distinct low bytes and some large keys so that every pass matters and ties occur.
        uint32_t k = (uint32_t)(rng() % 40) * 0x01010101u ^ (uint32_t)(rng() % 3) << 24;
        if (i % 97 == 0) k = 0xFFFFFFFFu;
        keys[i] = k;
        items[i] = i;
    }
    std::vector<std::pair<uint32_t, int>> expect;
    for (int i = 0; i < n; i++) expect.push_back({keys[i], i});
    std::stable_sort(expect.begin(), expect.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    billboard_radix_sort(keys.data(), items.data(), n, ks.data(), is.data());
    for (int i = 0; i < n; i++) {
        ASSERT_EQ(keys[i], expect[i].first) << i;
        ASSERT_EQ(items[i], expect[i].second) << i;
    }
}

TEST(BillboardSort, SmallCases) {
    uint32_t keys[3] = {5, 1, 5}, ks[3];
    int items[3] = {10, 11, 12}, is[3];
    billboard_radix_sort(keys, items, 3, ks, is);
    EXPECT_EQ(keys[0], 1u);
    EXPECT_EQ(items[0], 11);
    EXPECT_EQ(items[1], 10); // equal keys keep their order
    EXPECT_EQ(items[2], 12);
    billboard_radix_sort(keys, items, 0, ks, is); // nothing to do, nothing touched
    EXPECT_EQ(items[0], 11);
}

TEST(BillboardLookahead, PullsTheSameTextureForward) {
    std::vector<int> items;
    int changes;
    EXPECT_EQ(lookahead("ABABAB", 8, &items, &changes), "AAABBB");
    EXPECT_EQ(changes, 2);
    // Items travel with their textures; the ones passed over keep their order.
    EXPECT_EQ(items, (std::vector<int>{0, 2, 4, 1, 3, 5}));

    // Window 1 (and 0) leaves the order alone.
    EXPECT_EQ(lookahead("ABABAB", 1, &items, &changes), "ABABAB");
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(lookahead("ABABAB", 0, &items, &changes), "ABABAB");

    // Window 2 looks one entry ahead only.
    EXPECT_EQ(lookahead("ABABAB", 2, &items, &changes), "AABBBA");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(items, (std::vector<int>{0, 2, 1, 3, 5, 4}));
}

TEST(BillboardLookahead, WindowBoundsHowFarAnEntryMoves) {
    std::vector<int> items;
    int changes;
    // The second A sits nine places after the first: a window of 8 (the entry at the current
    // place and seven after it) cannot reach it, a window of 9 can.
    EXPECT_EQ(lookahead("ABBBBBBBBA", 8, &items, &changes), "ABBBBBBBBA");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(lookahead("ABBBBBBBBA", 9, &items, &changes), "AABBBBBBBB");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(items[1], 9);
    // Runs already together stay as they are; an empty list has no changes.
    EXPECT_EQ(lookahead("AAABBC", 8, &items, &changes), "AAABBC");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(lookahead("", 8, &items, &changes), "");
    EXPECT_EQ(changes, 0);
}

TEST(BillboardLookahead, ConsoleSettingIsReported) {
    config_defaults();
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 8);
    messages_clear();
    billboard_lookahead_set(3);
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 3);
    const char* line = messages_visible(0);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "Billboard optimization window is now 3");
    config_defaults();
}
