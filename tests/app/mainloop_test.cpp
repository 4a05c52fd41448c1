#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "core/constants.h"
#include "platform/clock.h"

namespace {

// A clock that only moves when the test or a sleep moves it, at the platform's 1 ms steps.
struct FakeClock {
    double t = 0;
    int sleeps = 0;
    double read() const { return std::floor(t * 1000 + 1e-9) / 1000; }
};
double fake_now(void* ctx) {
    return static_cast<FakeClock*>(ctx)->read();
}
void fake_sleep(void* ctx, double s) {
    auto* c = static_cast<FakeClock*>(ctx);
    c->t += s;
    c->sleeps++;
}

// Runs frames that each take frame_seconds of drawing; returns the ticks run per frame.
std::vector<int> run_frames(int frames, double frame_seconds, float lock_fps, int warp,
                            FakeClock* fc) {
    ClockSource src{fake_now, fake_sleep, fc};
    FrameClock clock;
    clock.last_frame_time = fc->read();
    std::vector<int> ticks;
    for (int f = 0; f < frames; f++) {
        fc->t += frame_seconds;
        double now;
        double step = frame_wait(&clock, lock_fps, warp, &src, &now);
        frame_advance(&clock, step, now);
        double tick_time;
        int n = 0;
        while (frame_next_tick(&clock, now, &tick_time)) n++;
        ticks.push_back(n);
    }
    return ticks;
}

int sum(const std::vector<int>& v) {
    int s = 0;
    for (int x : v) s += x;
    return s;
}

} // namespace

TEST(FramePacing, SixtyFramesPerSecondGive128TicksPerSecond) {
    FakeClock fc;
    std::vector<int> ticks = run_frames(600, 1.0 / 60, 0, 0, &fc); // ten seconds
    // 1280 ticks in ten seconds; the millisecond clock may leave the last tick pending.
    EXPECT_NEAR(sum(ticks), 1280, 1);
    for (int n : ticks) EXPECT_TRUE(n == 2 || n == 3) << n;
}

TEST(FramePacing, LockedFrameRateRunsExactTicksPerFrame) {
    FakeClock fc;
    for (double frame : {0.001, 1.0 / 64, 0.2}) {
        std::vector<int> ticks = run_frames(50, frame, 64, 0, &fc);
        for (int n : ticks) EXPECT_EQ(n, 2) << "frame time " << frame;
    }
}

TEST(FramePacing, LongFrameIsCappedAtSixteenTicks) {
    FakeClock fc;
    std::vector<int> ticks = run_frames(3, 1.0, 0, 0, &fc);
    for (int n : ticks) EXPECT_EQ(n, 16);
}

TEST(FramePacing, ShortFrameSleepsUntilOneTickHasPassed) {
    FakeClock fc;
    std::vector<int> ticks = run_frames(100, 0.001, 0, 0, &fc);
    // Never faster than real time: simulated time stays within one tick of the clock.
    EXPECT_LE(sum(ticks) * sim_tick, fc.t + sim_tick);
    EXPECT_GT(fc.sleeps, 0);
}

TEST(FramePacing, WarpRunsHundredTicksWithoutSleeping) {
    FakeClock fc;
    std::vector<int> ticks = run_frames(5, 0.0, 0, 1, &fc);
    for (int n : ticks) EXPECT_EQ(n, 100);
    EXPECT_EQ(fc.sleeps, 0);
}

TEST(FramePacing, FrameTimesAreTracked) {
    FakeClock fc;
    ClockSource src{fake_now, fake_sleep, &fc};
    FrameClock clock;
    double now;
    fc.t = 0.05;
    double step = frame_wait(&clock, 0, 0, &src, &now);
    frame_advance(&clock, step, now);
    fc.t += 0.02;
    step = frame_wait(&clock, 0, 0, &src, &now);
    frame_advance(&clock, step, now);
    EXPECT_NEAR(clock.max_frame_time, 0.05, 1e-9);
    EXPECT_NEAR(clock.min_frame_time, 0.02, 1e-9);
}

TEST(FramePacing, TickRealTimesAreSpreadOverTheFrame) {
    FrameClock clock;
    clock.sim_target = 3 * sim_tick;
    double t;
    ASSERT_TRUE(frame_next_tick(&clock, 10.0, &t));
    EXPECT_DOUBLE_EQ(t, 10.0 - 2 * sim_tick);
    ASSERT_TRUE(frame_next_tick(&clock, 10.0, &t));
    ASSERT_TRUE(frame_next_tick(&clock, 10.0, &t));
    EXPECT_DOUBLE_EQ(t, 10.0);
    EXPECT_FALSE(frame_next_tick(&clock, 10.0, &t));
}

TEST(NetClock, CorrectionFactors) {
    EXPECT_DOUBLE_EQ(net_clock_factor(-2, 0), 0.5); // far behind the server's past
    EXPECT_DOUBLE_EQ(net_clock_factor(-0.5, 0), 0.75);
    EXPECT_DOUBLE_EQ(net_clock_factor(0.5, 1), 2.5); // catching up before the start
    EXPECT_DOUBLE_EQ(net_clock_factor(2, 1), 4.0);
    EXPECT_DOUBLE_EQ(net_clock_factor(1.0 / 16, 0), 1.0625);
    EXPECT_DOUBLE_EQ(net_clock_factor(1, 0), 1.125);
    EXPECT_DOUBLE_EQ(net_clock_factor(0, 0), 1.0);
}
