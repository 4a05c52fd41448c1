#include "platform/clock.h"

#include <ctime>
#include <sched.h>

// The clock counts milliseconds from the first reading, which the log makes at start-up.
static long long monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static long long clock_ms() {
    static const long long start = monotonic_ms();
    return monotonic_ms() - start;
}

void clock_now(long* seconds, long* microseconds) {
    long long ms = clock_ms();
    *seconds = (long)(ms / 1000);
    *microseconds = (long)(ms % 1000) * 1000;
}

double clock_seconds() { return (double)clock_ms() * 0.001; }

void sleep_for(long seconds, long microseconds) {
    long long start = clock_ms();
    long long ms = (long long)seconds * 1000 + microseconds / 1000;
    if (ms > 1) {
        timespec ts{(time_t)((ms - 1) / 1000), (long)((ms - 1) % 1000) * 1000000};
        nanosleep(&ts, nullptr);
    }
    // The deadline in microseconds, compared against the millisecond clock.
    long long deadline_us = start * 1000 + (long long)seconds * 1000000 + microseconds;
    while (clock_ms() * 1000 < deadline_us) sched_yield();
}
