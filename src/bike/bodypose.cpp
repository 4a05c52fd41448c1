#include "bike/bodypose.h"

#include "bike/bike.h"

void bike_body_pose(const Bike* bike, int body, float pos[3], float rot[9]) {
    dBodyID b = bike->bodies[body];
    const dReal* p = dBodyGetPosition(b);
    const dReal* r = dBodyGetRotation(b); // 3 x 4, row-major
    for (int i = 0; i < 3; i++) {
        pos[i] = (float)p[i];
        for (int j = 0; j < 3; j++) rot[i * 3 + j] = (float)r[i * 4 + j];
    }
}

void bike_body_velocity(const Bike* bike, int body, float vel[3]) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[body]);
    for (int i = 0; i < 3; i++) vel[i] = (float)v[i];
}
