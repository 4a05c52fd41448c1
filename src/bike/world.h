// The one physics world and contact joint group shared by the bikes and the race session.
#pragma once

#include <ode/ode.h>

struct PhysicsWorld {
    dWorldID world = nullptr;          // gravity (0, -32, 0)
    dJointGroupID contacts = nullptr;  // emptied after every world step
};
extern PhysicsWorld g_physics;

// Initialises ODE (messages go to the log) and creates the world and the contact group.
void physics_open();
// Destroys the contact group and the world and closes ODE.
void physics_close_contacts();
void physics_close_world();
