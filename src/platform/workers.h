// A small pool of worker threads that run numbered tasks of one job alongside the calling
// thread. It knows nothing of what the tasks do: the caller hands a function and a context,
// the tasks 0..count-1 are shared out as threads come free, and the call returns when every
// task has finished. Between jobs the workers sleep on a condition variable, and running a job
// allocates nothing.
//
// Waking a sleeping thread takes this machine's kernel about 0.1 ms, a tenth of a physics tick
// of 40 bikes, which the caller would spend doing the job alone. When jobs come in a steady
// stream (the last two intervals within half of each other, both under WORKERS_STREAM_MAX_NS:
// ticks run back to back), a worker therefore sleeps on a timer until shortly before the next
// job is due and waits the last stretch awake (at most three times its lead, and at most
// WORKERS_SPIN_MAX_NS); how early it wakes adapts to how late or early it was. A job that does
// not come in that stretch finds it asleep again. Paced ticks, a few each frame, are no stream.
//
// Tasks are handed out in the order of their numbers. A task may wait for tasks numbered below
// it (they were all handed out before it, and none of them waits for it), never for one
// numbered above; waiting, it calls workers_yield now and then, as a thread running the task
// waited for may have been preempted. Results must not depend on which thread runs a task:
// results that must come out in a fixed order are written by each task into its own record and
// combined by the caller afterwards. Jobs of fewer than WORKERS_MIN_TASKS tasks run on the
// calling thread alone: waking a worker would cost more than it could take over. For the same
// reason the caller, done with its share, waits awake a short while for the tasks still
// running elsewhere rather than sleeping until the last of them wakes it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

constexpr int WORKERS_MAX_THREADS = 8; // the calling thread included
constexpr int WORKERS_MIN_TASKS = 4;   // smaller jobs run on the calling thread
// Jobs further apart than this are not a stream: the workers sleep until woken.
constexpr int64_t WORKERS_STREAM_MAX_NS = 20'000'000;
// How early a worker wakes before a job is due: its start, bounds and longest awake wait.
constexpr int64_t WORKERS_LEAD_START_NS = 100'000;
constexpr int64_t WORKERS_LEAD_MIN_NS = 20'000;
constexpr int64_t WORKERS_LEAD_MAX_NS = 400'000;
constexpr int64_t WORKERS_SPIN_MAX_NS = 600'000;
// How long the caller, its own share done, waits awake for tasks other threads still run
// (normally one short task each) before it sleeps until the last of them wakes it.
constexpr int64_t WORKERS_JOIN_SPIN_NS = 100'000;

// Process-wide pool state; written only by workers.cpp.
struct WorkerPool {
    std::mutex lock;
    std::condition_variable wake; // a new job, or the pool stopping
    std::condition_variable done; // the last task of the job finished
    std::thread threads[WORKERS_MAX_THREADS - 1];
    int worker_count = 0; // threads started besides the caller, 0..WORKERS_MAX_THREADS - 1
    std::atomic<bool> stopping{false};
    // The job being run: tasks are claimed from `ticket`, whose high 32 bits are the job's
    // number and low 32 bits the next task, so a worker that wakes late cannot claim a task of
    // a newer job with an older job's function.
    void (*fn)(void* ctx, int task) = nullptr;
    void* ctx = nullptr;
    int count = 0;
    uint32_t job = 0;
    std::atomic<uint32_t> posted{0}; // `job`, for a worker waiting awake without the lock
    // When the last job was posted (steady clock, ns), how long after the one before, and the
    // interval the workers expect before the next.
    int64_t last_post_ns = 0;
    int64_t last_interval_ns = 0;
    int64_t interval_ns = 0;
    std::atomic<uint64_t> ticket{0};
    std::atomic<int> finished{0};

    ~WorkerPool(); // stops the workers still running at exit
};
extern WorkerPool g_workers;

// Starts threads - 1 workers (threads clamped to 1..WORKERS_MAX_THREADS), after stopping any
// running ones. 1 runs every job on the calling thread alone.
void workers_start(int threads);
// Wakes the workers, lets them end and joins them; jobs then run on the calling thread.
void workers_stop();
// Threads a job runs on: the workers plus the calling thread (1 when none were started).
int workers_threads();
// Runs fn(ctx, task) for every task 0..count-1 on the workers and the calling thread and
// returns when all have finished. Call from one thread at a time (the main thread).
void workers_run(int count, void (*fn)(void* ctx, int task), void* ctx);
// The interval after which the next job is expected, from the last two intervals between jobs
// (ns): the shorter of them when they are within half of each other and under
// WORKERS_STREAM_MAX_NS (a stream), else 0.
int64_t workers_expected_interval(int64_t previous, int64_t latest);
// Lets another thread run: for a task waiting on a lower-numbered task of its job that another
// thread took and has not finished (it may have been preempted).
void workers_yield();
// The number of processor cores this process may use (at least 1).
int workers_cores();
