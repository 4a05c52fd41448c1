// Roost particles. The pool is empty until particles are thrown.
#include "effects/roost.h"

void roost_emit(const Bike*, int) {}

void roost_update() {}

void roost_reset() {}
