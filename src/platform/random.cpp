#include "platform/random.h"

RandomState g_random;

void random_seed(uint32_t seed) { g_random.mt.seed(seed); }

uint32_t random_u32() { return (uint32_t)g_random.mt(); }

// 2^-32 keeps the result strictly below 1.
double random_unit() { return random_u32() * (1.0 / 4294967296.0); }

double random_range(double a, double b) { return a + (b - a) * random_unit(); }

void rand15_seed(uint32_t seed) { g_random.rand15 = seed; }

int rand15() {
    g_random.rand15 = g_random.rand15 * 214013u + 2531011u;
    return (int)((g_random.rand15 >> 16) & 0x7fff);
}
