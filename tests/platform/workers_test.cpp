// The worker pool: every task of a job runs exactly once whatever the number of threads, jobs
// posted back to back never mix, the caller's thread works too, and idle workers sleep.
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
            for (int i = 0; i < count; i++)
                ASSERT_EQ(tally.runs[i].load(), 1) << threads << " " << i;
            // With no workers, or a single task, the caller does everything itself.
            if (threads == 1 || count == 1) EXPECT_EQ(tally.on_caller.load(), count);
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
