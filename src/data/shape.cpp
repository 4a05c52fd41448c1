#include "data/shape.h"

#include <cmath>

#include "data/datafile.h"
#include "data/scanner.h"
#include "platform/log.h"

ShapeState g_shapes;

/*
 * Shape files (text): the sphere count, then per sphere its centre "x y z" followed by
 * "radius friction spring damper". A sphere that does not parse rejects the whole file.
 *
 * The values become contact joints and forces: a sphere that is not a number anywhere, or more
 * spheres than SHAPE_SPHERES_MAX, reject the file; values out of their ranges are clamped
 * with a warning naming the file and the value (see shape.h).
 */
static void sphere_check(const char* name, ShapeSphere* s) {
    for (float& c : s->centre)
        c = data_check_range_in(name, "shape sphere centre", c, -SHAPE_CENTRE_MAX, SHAPE_CENTRE_MAX,
                                0);
    s->radius = data_check_range_in(name, "shape sphere radius", s->radius, 0, SHAPE_RADIUS_MAX, 0);
    s->friction =
        data_check_range_in(name, "shape friction", s->friction, 0, SHAPE_FRICTION_MAX, 1);
    s->spring = data_check_range_in(name, "shape spring", s->spring, 0, SHAPE_SPRING_MAX, 0);
    s->damper = data_check_range_in(name, "shape damper", s->damper, 0, SHAPE_DAMPER_MAX, 0);
    // A contact's softness is 1 / (spring / 128 + damper): it must not be infinite.
    if (s->spring / 128 + s->damper < SHAPE_STIFFNESS_MIN) {
        log_printf("Warning: %.300s: shape spring %g and damper %g make no contact, damper %g "
                   "used\n",
                   name[0] == '@' ? name + 1 : name, (double)s->spring, (double)s->damper,
                   (double)SHAPE_STIFFNESS_MIN);
        s->damper = SHAPE_STIFFNESS_MIN;
    }
}

static bool sphere_finite(const ShapeSphere& s) {
    const float v[7] = {s.centre[0], s.centre[1], s.centre[2], s.radius,
                        s.friction,  s.spring,    s.damper};
    for (float x : v)
        if (std::isnan(x)) return false;
    return true;
}

Shape* shape_read(DataFile* f, const char* name) {
    int count;
    if (data_scanf(f, "%d", &count) != 1 || count < 0) return nullptr;
    const char* label = name && *name ? name : data_file_label(f);
    if (count > SHAPE_SPHERES_MAX) {
        log_printf("Warning: %.300s: %d shape spheres, at most %d\n", label, count,
                   SHAPE_SPHERES_MAX);
        return nullptr;
    }
    Shape* shape = new Shape{name, count, {}, 0.0f, nullptr};
    // The list grows as spheres arrive, so a bogus count costs nothing before the data end.
    for (int i = 0; i < count; i++) {
        ShapeSphere s;
        if (data_scanf(f, "%f %f %f", &s.centre[0], &s.centre[1], &s.centre[2]) != 3 ||
            data_scanf(f, "%f %f %f %f", &s.radius, &s.friction, &s.spring, &s.damper) != 4) {
            delete shape;
            return nullptr;
        }
        if (!sphere_finite(s)) {
            log_printf("Warning: %.300s: shape sphere %d is not a number\n", label, i);
            delete shape;
            return nullptr;
        }
        sphere_check(label, &s);
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
