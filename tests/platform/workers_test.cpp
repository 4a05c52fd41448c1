// The worker pool: every task of a job runs exactly once whatever the number of threads, jobs
// posted back to back never mix, the caller's thread works too, a task may wait for tasks
// numbered below it, a stream of jobs is told from paced bursts, and idle workers sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/workers.h"

namespace {

struct Tally {
    std::vector<std::atomic<int>> runs;
    std::atomic<int> on_caller{0};
    std::thread::id caller;
    explicit Tally(int n) : runs(n) {}
};

void count_task(void* ctx, int task) {
    Tally* t = (Tally*)ctx;
    t->runs[task]++;
    if (std::this_thread::get_id() == t->caller) t->on_caller++;
}

double process_cpu_seconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Workers : ::testing::Test {
    void TearDown() override { workers_stop(); }
};

} // namespace

TEST_F(Workers, EveryTaskRunsOnceOnAnyNumberOfThreads) {
    for (int threads : {1, 2, 3, 8}) {
        workers_start(threads);
        EXPECT_EQ(workers_threads(), threads);
        for (int count : {0, 1, 2, 7, 40, 1000}) {
            Tally tally(count);
            tally.caller = std::this_thread::get_id();
            workers_run(count, count_task, &tally);
            for (int i = 0; i < count; i++) {
                ASSERT_EQ(tally.runs[i].load(), 1) << threads << " " << i;
            }
            // With no workers, or too few tasks to share, the caller does everything itself.
            if (threads == 1 || count < WORKERS_MIN_TASKS) {
                EXPECT_EQ(tally.on_caller.load(), count);
            }
        }
    }
    // Out of range: at least the caller, at most eight threads.
    workers_start(0);
    EXPECT_EQ(workers_threads(), 1);
    workers_start(50);
    EXPECT_EQ(workers_threads(), WORKERS_MAX_THREADS);
    workers_stop();
    EXPECT_EQ(workers_threads(), 1);
}

TEST_F(Workers, JobsBackToBackNeverShareTasks) {
    workers_start(4);
    // Many small jobs, each with its own tally: a worker that wakes late must not run a task
    // of a newer job with an older job's function or record.
    for (int job = 0; job < 2000; job++) {
        int count = 1 + job % 9;
        Tally tally(count);
        tally.caller = std::this_thread::get_id();
        workers_run(count, count_task, &tally);
        for (int i = 0; i < count; i++) {
            ASSERT_EQ(tally.runs[i].load(), 1) << job << " " << i;
        }
    }
}

TEST_F(Workers, IdleWorkersSleep) {
    workers_start(WORKERS_MAX_THREADS);
    Tally tally(16);
    workers_run(16, count_task, &tally);
    // Seven workers spinning for a quarter of a second would burn well over a second of CPU;
    // sleeping ones burn next to nothing.
    double before = process_cpu_seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    double burnt = process_cpu_seconds() - before;
    EXPECT_LT(burnt, 0.1);
}

namespace {

// Tasks 0..n-1 each count one part made; tasks n..2n-1 each wait until all n are made and
// note what they saw.
struct Staged {
    int n;
    std::atomic<int> made{0};
    std::vector<std::atomic<int>> seen;
    explicit Staged(int n_) : n(n_), seen(n_) {}
};

void staged_task(void* ctx, int task) {
    Staged* s = (Staged*)ctx;
    if (task < s->n) {
        s->made++;
        return;
    }
    for (int spins = 0; s->made.load() < s->n; spins++)
        if (spins > 64) workers_yield();
    s->seen[task - s->n] = s->made.load();
}

} // namespace

TEST_F(Workers, ATaskMayWaitForTasksNumberedBelowIt) {
    for (int threads : {1, 2, 8}) {
        workers_start(threads);
        for (int job = 0; job < 200; job++) {
            Staged staged(40);
            workers_run(80, staged_task, &staged);
            ASSERT_EQ(staged.made.load(), 40) << threads;
            for (int i = 0; i < 40; i++) {
                ASSERT_EQ(staged.seen[i].load(), 40) << threads << " " << i;
            }
        }
    }
}

TEST_F(Workers, ABackToBackStreamIsExpectedAndPacedBurstsAreNot) {
    // Ticks back to back, 1.2 to 1.5 ms apart: the next is expected after the shorter.
    EXPECT_EQ(workers_expected_interval(1'200'000, 1'500'000), 1'200'000);
    EXPECT_EQ(workers_expected_interval(1'500'000, 1'200'000), 1'200'000);
    EXPECT_EQ(workers_expected_interval(1'000'000, 1'500'000), 1'000'000); // half again: still
    EXPECT_EQ(workers_expected_interval(1'000'000, 1'500'001), 0);
    // Two ticks a frame at 60 frames a second: short and long by turns, no stream.
    EXPECT_EQ(workers_expected_interval(200'000, 16'000'000), 0);
    EXPECT_EQ(workers_expected_interval(16'000'000, 200'000), 0);
    // Jobs far apart, or no interval yet: none expected.
    EXPECT_EQ(workers_expected_interval(WORKERS_STREAM_MAX_NS, WORKERS_STREAM_MAX_NS), 0);
    EXPECT_EQ(workers_expected_interval(0, 1'000'000), 0);
    // The pool keeps the last two intervals of the jobs it is given.
    workers_start(2);
    for (int job = 0; job < 3; job++) {
        Tally each(16);
        workers_run(16, count_task, &each);
    }
    EXPECT_GT(g_workers.last_interval_ns, 0);
}

TEST_F(Workers, WorkersGoBackToSleepWhenAStreamStops) {
    workers_start(WORKERS_MAX_THREADS);
    for (int job = 0; job < 200; job++) {
        Tally each(16);
        workers_run(16, count_task, &each);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    // Each worker waits awake at most a little over a millisecond for the job that never
    // comes, then sleeps: seven of them spinning on would burn well over a second.
    double before = process_cpu_seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    double burnt = process_cpu_seconds() - before;
    EXPECT_LT(burnt, 0.1);
}
