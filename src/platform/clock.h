// The platform clock (milliseconds since start-up) and the precise sleep.
#pragma once

// Milliseconds of the monotonic clock since the process started, split into whole seconds and
// microseconds (1 ms resolution).
void clock_now(long* seconds, long* microseconds);
// The same clock as seconds.
double clock_seconds();
// Sleeps ms - 1 milliseconds, then yields until the clock reaches start + the given time.
void sleep_for(long seconds, long microseconds);
