// Ground triangles and vector checks shared by the contact tests.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "track/terrain.h"

namespace contacttest {

inline TerrainTriangle tri(std::initializer_list<float> v) {
    TerrainTriangle t;
    auto it = v.begin();
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++) t.v[i][k] = *it++;
    return t;
}

// The large flat triangle of most geometry cases: (0,0,0), (10,0,0), (0,0,10).
inline const TerrainTriangle FLAT = tri({0, 0, 0, 10, 0, 0, 0, 0, 10});

inline void expect_vec(const float* v, double x, double y, double z, double tol = 1e-5) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

} // namespace contacttest
