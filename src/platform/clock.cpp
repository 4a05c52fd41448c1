#include "platform/clock.h"

#include <cerrno>
#include <ctime>
#include <sched.h>

// The clock counts milliseconds from the first reading, which the log makes at start-up.
static long long monotonic_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// The monotonic millisecond of the clock's zero, fixed by the first reading for the whole run.
static long long clock_base_ms() {
    static const long long base = monotonic_ms();
    return base;
}

static long long clock_ms() {
    long long base = clock_base_ms();
    return monotonic_ms() - base;
}

void clock_now(long* seconds, long* microseconds) {
    long long ms = clock_ms();
    *seconds = (long)(ms / 1000);
    *microseconds = (long)(ms % 1000) * 1000;
}

double clock_seconds() {
    return (double)clock_ms() * 0.001;
}

// Returns once the millisecond clock reaches start + the given time, as sleeping a millisecond
// short and then yielding would, but without spinning: the first clock reading that reaches
// the deadline is known in advance, so one absolute sleep of the monotonic clock waits for
// exactly that moment (a signal only shortens a round of the loop).
void sleep_for(long seconds, long microseconds) {
    long long start = clock_ms();
    long long deadline_us = start * 1000 + (long long)seconds * 1000000 + microseconds;
    long long target_ms = deadline_us <= 0 ? 0 : (deadline_us + 999) / 1000;
    long long wake_ms = clock_base_ms() + target_ms;
    timespec at{(time_t)(wake_ms / 1000), (long)(wake_ms % 1000) * 1000000};
    while (clock_ms() < target_ms) {
        int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        if (r != 0 && r != EINTR) {
            // The absolute sleep is refused: yield until the clock gets there.
            while (clock_ms() < target_ms) sched_yield();
        }
    }
}
