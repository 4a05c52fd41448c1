// The clock and the sleep: a sleep ends once the millisecond clock reaches its deadline, and
// waits for it without keeping the processor busy.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "platform/clock.h"

namespace {

// Processor time this process has used (user and system), in seconds.
double cpu_seconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec * 1e-6;
}

long now_us() {
    long s, us;
    clock_now(&s, &us);
    return s * 1000000 + us;
}

} // namespace

TEST(Clock, SleepEndsWhenTheClockReachesTheDeadline) {
    for (long want : {0L, 1000L, 2500L, 7812L, 20000L}) {
        long start = now_us();
        sleep_for(0, want);
        long slept = now_us() - start;
        EXPECT_GE(slept, want) << want;
        // The clock counts whole milliseconds: the deadline is reached at most 1 ms late, and a
        // busy machine may add a little more.
        EXPECT_LT(slept, want + 50000) << want;
    }
    long start = now_us();
    sleep_for(0, 62500);
    EXPECT_GE(now_us() - start, 62500);
}

TEST(Clock, SleepingDoesNotKeepTheProcessorBusy) {
    // Eighty sleeps of a tick's length (the frame pacing's usual wait): spinning through the
    // last millisecond of each would cost tens of milliseconds of processor time.
    double before = cpu_seconds();
    for (int i = 0; i < 80; i++) sleep_for(0, 7812);
    double used = cpu_seconds() - before;
    EXPECT_LT(used, 0.02) << "processor seconds over 0.62 s of sleeping";
}
