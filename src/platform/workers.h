// A small pool of worker threads that run numbered tasks of one job alongside the calling
// thread. It knows nothing of what the tasks do: the caller hands a function and a context,
// the tasks 0..count-1 are shared out as threads come free, and the call returns when every
// task has finished. Between jobs the workers sleep on a condition variable (they never spin),
// and running a job allocates nothing.
//
// The tasks must not depend on each other or on which thread runs them; results that must come
// out in a fixed order are written by each task into its own record and combined by the caller
// afterwards.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

constexpr int WORKERS_MAX_THREADS = 8; // the calling thread included

// Process-wide pool state; written only by workers.cpp.
struct WorkerPool {
    std::mutex lock;
    std::condition_variable wake; // a new job, or the pool stopping
    std::condition_variable done; // the last task of the job finished
    std::thread threads[WORKERS_MAX_THREADS - 1];
    int worker_count = 0; // threads started besides the caller, 0..WORKERS_MAX_THREADS - 1
    bool stopping = false;
    // The job being run: tasks are claimed from `ticket`, whose high 32 bits are the job's
    // number and low 32 bits the next task, so a worker that wakes late cannot claim a task of
    // a newer job with an older job's function.
    void (*fn)(void* ctx, int task) = nullptr;
    void* ctx = nullptr;
    int count = 0;
    uint32_t job = 0;
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
// The number of processor cores this process may use (at least 1).
int workers_cores();
