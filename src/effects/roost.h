// Roost: the dirt, sand and spray the wheels throw, as a fixed pool of particles, and the wear
// they leave in the ground.
#pragma once

struct Bike;

// Throws roost from one rider's wheels for this tick, before the world step. recorded: the
// rider is not simulated here (a demo or remote rider) and throws from its recorded contacts.
void roost_emit(const Bike* bike, int recorded);
// Moves every particle one tick, after the bike steps.
void roost_update();
// Empties the pool (every race start).
void roost_reset();
