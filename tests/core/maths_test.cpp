// The library-free fmax and fmin stand in for the library's in the contacts and ground queries,
// whose results must not move: the same answer for every pair, NaNs and infinities included.
// (Which zero fmax gives for +0 and -0 is the library's choice, and compilers that inline it
// choose differently; a zero height or distance means the same either way.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/maths.h"

namespace {

template <class T> std::vector<T> awkward_values() {
    const T inf = std::numeric_limits<T>::infinity(), nan = std::numeric_limits<T>::quiet_NaN();
    return {0,
            -(T)0,
            1,
            -1,
            (T)2.5,
            (T)-1e8,
            (T)1e8,
            std::numeric_limits<T>::min(),
            -inf,
            inf,
            nan,
            -nan,
            std::numeric_limits<T>::max(),
            std::numeric_limits<T>::lowest()};
}

// The same value, or both NaN.
template <class T> bool same(T a, T b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b;
}

template <class T> void expect_like_the_library() {
    for (T a : awkward_values<T>())
        for (T b : awkward_values<T>()) {
            EXPECT_TRUE(same(max_num(a, b), (T)std::fmax(a, b))) << a << " " << b;
            EXPECT_TRUE(same(min_num(a, b), (T)std::fmin(a, b))) << a << " " << b;
        }
}

} // namespace

TEST(Maths, MaxAndMinNumAnswerAsTheLibraryDoesForFloatsAndDoubles) {
    expect_like_the_library<float>();
    expect_like_the_library<double>();
}
