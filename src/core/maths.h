// Shared maths: the circle constant, clamps, a double-precision vector with its operators, and
// helpers for the float[3] vectors that the file formats, the renderer and the track keep.
//
// Everything is inline and allocation-free; the physics calls these every tick, so each
// operation is written out in one fixed order (results do not depend on the caller).
#pragma once

#include <cmath>

constexpr double PI = 3.14159265358979323846;
constexpr float PI_F = (float)PI;

// v held to [lo, hi]; a NaN comes back unchanged (as std::clamp does).
template <class T> constexpr T clamp(T v, T lo, T hi) {
    return v < lo ? lo : v > hi ? hi : v;
}
inline double clampd(double v, double lo, double hi) {
    return clamp(v, lo, hi);
}
inline float clampf(float v, float lo, float hi) {
    return clamp(v, lo, hi);
}
// v held to [lo, hi], with a NaN sent to lo: for values read from files, settings or a broken
// body state that must still give something usable.
inline double clamp_or_low(double v, double lo, double hi) {
    if (!(v > lo)) return lo;
    return v < hi ? v : hi;
}
inline float clamp_or_low(float v, float lo, float hi) {
    if (!(v > lo)) return lo;
    return v < hi ? v : hi;
}

// fmax and fmin without the library call (they are not inlined unless NaNs are ruled out): the
// larger (smaller) of two numbers, a NaN giving way to the other (of two equal ones the second,
// as the library's functions give on x86-64).
template <class T> constexpr T max_num(T a, T b) {
    return a > b || b != b ? a : b;
}
template <class T> constexpr T min_num(T a, T b) {
    return a < b || b != b ? a : b;
}

// A vector in double precision (feet, feet per second, or a direction).
struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 vec3(const double* p) {
    return Vec3{p[0], p[1], p[2]};
}
inline Vec3 vec3(const float* p) {
    return Vec3{p[0], p[1], p[2]};
}
inline Vec3 operator+(Vec3 a, Vec3 b) {
    return Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator-(Vec3 a) {
    return Vec3{-a.x, -a.y, -a.z};
}
inline Vec3 operator*(Vec3 a, double s) {
    return Vec3{a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(double s, Vec3 a) {
    return a * s;
}
inline double dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length2(Vec3 a) {
    return dot(a, a);
}
inline double length(Vec3 a) {
    return std::sqrt(dot(a, a));
}
inline void store(Vec3 a, float out[3]) {
    out[0] = (float)a.x;
    out[1] = (float)a.y;
    out[2] = (float)a.z;
}

// ---- float[3] vectors ----

inline void vec3f_sub(const float a[3], const float b[3], float out[3]) {
    for (int i = 0; i < 3; i++) out[i] = a[i] - b[i];
}
inline float vec3f_dot(const float a[3], const float b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
// a x b; out may be a or b.
inline void vec3f_cross(const float a[3], const float b[3], float out[3]) {
    float r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    for (int i = 0; i < 3; i++) out[i] = r[i];
}
inline float vec3f_length(const float a[3]) {
    return std::sqrt(vec3f_dot(a, a));
}
// Scales a to unit length and returns its old length; a zero vector stays zero (never NaN).
inline float vec3f_normalise(float a[3]) {
    float l = vec3f_length(a);
    if (l > 0)
        for (int i = 0; i < 3; i++) a[i] /= l;
    return l;
}
inline void vec3f_lerp(const float a[3], const float b[3], float t, float out[3]) {
    for (int i = 0; i < 3; i++) out[i] = a[i] + (b[i] - a[i]) * t;
}
