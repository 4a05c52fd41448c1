// Collision and contact shapes: lists of spheres read from shape files, cached by file name.
#pragma once

#include <string>
#include <vector>

struct DataFile;

// What a shape file may hold: spheres beyond these ranges are clamped into them when read
// (logged), so that no shape hangs the ground queries or the placement of a bike (whose cost
// grows with the reach of its spheres) or turns a contact joint infinite. Bike parts measure
// inches to feet, track objects a few feet to tens of feet.
constexpr int SHAPE_SPHERES_MAX = 1024;
constexpr float SHAPE_CENTRE_MAX = 500;  // ft from the body's origin, each axis
constexpr float SHAPE_RADIUS_MAX = 100;  // ft
constexpr float SHAPE_FRICTION_MAX = 10; // friction coefficient
constexpr float SHAPE_SPRING_MAX = 1e7f; // lbf per ft
constexpr float SHAPE_DAMPER_MAX = 1e6f; // lbf per ft/s
constexpr float SHAPE_STIFFNESS_MIN = 1; // spring / 128 + damper, at least

// One sphere, in the frame of the body the shape belongs to.
struct ShapeSphere {
    float centre[3];
    float radius;
    float friction; // the three further parameters, used by the contact code
    float spring;
    float damper;
};

struct Shape {
    std::string name;
    int count; // number of spheres
    std::vector<ShapeSphere> spheres;
    float radius;        // largest |centre| + radius over the spheres; 0 when empty
    const Shape* source; // for a private copy: the cached shape; else null
};

// Process-wide shape cache. Shapes stay for the whole run (copies point at them).
struct ShapeState {
    std::vector<Shape*> cache;
};
extern ShapeState g_shapes;

// The cached shape of that exact name, or a newly read one; null when missing or malformed.
Shape* shape_get(const char* name);
// Reads a shape from an open stream (no cache); null when malformed. The caller frees it.
Shape* shape_read(DataFile* f, const char* name);
// A private copy to move around; it refers back to the original. Free with shape_free.
Shape* shape_copy(const Shape* shape);
void shape_free(Shape* shape);
// Frees every cached shape (tests, fuzzing); copies must be gone by then.
void shape_reset();
