#include "data/shape.h"

#include <cmath>

#include "data/datafile.h"
#include "data/scanner.h"

ShapeState g_shapes;

/*
 * Shape files (text): the sphere count, then per sphere its centre "x y z" followed by
 * "radius friction spring damper". A sphere that does not parse rejects the whole file.
 */
Shape* shape_read(DataFile* f, const char* name) {
    int count;
    if (data_scanf(f, "%d", &count) != 1 || count < 0) return nullptr;
    Shape* shape = new Shape{name, count, {}, 0.0f, nullptr};
    // The list grows as spheres arrive, so a bogus count costs nothing before the data end.
    for (int i = 0; i < count; i++) {
        ShapeSphere s;
        if (data_scanf(f, "%f %f %f", &s.centre[0], &s.centre[1], &s.centre[2]) != 3 ||
            data_scanf(f, "%f %f %f %f", &s.radius, &s.friction, &s.spring, &s.damper) != 4) {
            delete shape;
            return nullptr;
        }
        shape->spheres.push_back(s);
        float reach = sqrtf(s.centre[0] * s.centre[0] + s.centre[1] * s.centre[1] +
                            s.centre[2] * s.centre[2]) +
                      s.radius;
        if (i == 0 || reach > shape->radius) shape->radius = reach;
    }
    return shape;
}

Shape* shape_get(const char* name) {
    for (Shape* s : g_shapes.cache)
        if (s->name == name) return s;
    DataFile* f = data_open(name, "rb");
    if (!f) return nullptr;
    Shape* shape = shape_read(f, name);
    data_close(f);
    if (shape) g_shapes.cache.push_back(shape);
    return shape;
}

Shape* shape_copy(const Shape* shape) {
    Shape* copy = new Shape(*shape);
    copy->source = shape->source ? shape->source : shape;
    return copy;
}

void shape_free(Shape* shape) {
    delete shape;
}

void shape_reset() {
    for (Shape* s : g_shapes.cache) delete s;
    g_shapes = ShapeState();
}
