// The shared random sources: one MT19937 (seeded at every race start) and the runtime library's
// 15-bit generator (engine-sound jitter, simulated packet loss).
#pragma once

#include <cstdint>
#include <random>

struct RandomState {
    std::mt19937 mt;            // the published Mersenne Twister
    uint32_t rand15 = 1;        // state of the 15-bit generator
};
extern RandomState g_random;

void random_seed(uint32_t seed);
uint32_t random_u32();          // the next 32-bit MT19937 output
double random_unit();           // uniform in [0, 1), from one 32-bit output
double random_range(double a, double b); // uniform in [a, b)

// The classic runtime generator: state = state * 214013 + 2531011, value = bits 16..30.
void rand15_seed(uint32_t seed);
int rand15(); // 0..32767
