// Temporary joints of one world step that the rider model and the bike step make: soft
// contacts (ropes, holding, the rider's springs) and angular motors.
#include <ode/ode.h>

#include "bike/bike_internal.h"
#include "bike/world.h"

namespace bike_internal {

void soft_contact(dBodyID body1, dBodyID body2, Vec3 p, Vec3 n, double depth, double kp,
                  double kd) {
    dContact c{};
    c.surface.mode = dContactSoftERP | dContactSoftCFM;
    double cfm = 1 / (kd + H * kp);
    c.surface.soft_cfm = cfm;
    c.surface.soft_erp = H * kp * cfm;
    c.geom.pos[0] = p.x, c.geom.pos[1] = p.y, c.geom.pos[2] = p.z;
    c.geom.normal[0] = n.x, c.geom.normal[1] = n.y, c.geom.normal[2] = n.z;
    c.geom.depth = depth;
    dJointID j = dJointCreateContact(g_physics.world, g_physics.contacts, &c);
    dJointAttach(j, body1, body2);
}

void body_motor(dBodyID body, Vec3 axis, double vel, double fmax) {
    dJointID m = dJointCreateAMotor(g_physics.world, g_physics.contacts);
    dJointAttach(m, body, 0);
    dJointSetAMotorNumAxes(m, 1);
    dJointSetAMotorAxis(m, 0, 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(m, dParamVel, vel);
    dJointSetAMotorParam(m, dParamFMax, fmax);
}

} // namespace bike_internal
