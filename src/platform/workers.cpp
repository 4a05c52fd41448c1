// The worker pool: threads that sleep until a job is posted, claim its tasks one at a time and
// go back to sleep when none are left.
#include "platform/workers.h"

#include <sched.h>

WorkerPool g_workers;

namespace {

// Claims the next task of job `job`; -1 when the job has none left or is no longer current.
int task_claim(WorkerPool& p, uint32_t job, int count) {
    uint64_t t = p.ticket.load(std::memory_order_acquire);
    for (;;) {
        if ((uint32_t)(t >> 32) != job || (int)(uint32_t)t >= count) return -1;
        if (p.ticket.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel,
                                           std::memory_order_acquire))
            return (int)(uint32_t)t;
    }
}

// Runs tasks of the job until none are left; the thread that finishes the job's last task
// wakes the caller waiting for it.
void tasks_run(WorkerPool& p, uint32_t job, int count, void (*fn)(void*, int), void* ctx) {
    for (int task; (task = task_claim(p, job, count)) >= 0;) {
        fn(ctx, task);
        if (p.finished.fetch_add(1, std::memory_order_acq_rel) + 1 == count) {
            std::lock_guard<std::mutex> hold(p.lock);
            p.done.notify_one();
        }
    }
}

void worker_main(WorkerPool* pool) {
    WorkerPool& p = *pool;
    std::unique_lock<std::mutex> held(p.lock);
    uint32_t seen = p.job;
    for (;;) {
        p.wake.wait(held, [&] { return p.stopping || p.job != seen; });
        if (p.stopping) return;
        seen = p.job;
        void (*fn)(void*, int) = p.fn;
        void* ctx = p.ctx;
        int count = p.count;
        held.unlock();
        tasks_run(p, seen, count, fn, ctx);
        held.lock();
    }
}

} // namespace

WorkerPool::~WorkerPool() {
    workers_stop();
}

void workers_start(int threads) {
    workers_stop();
    threads = threads < 1 ? 1 : (threads > WORKERS_MAX_THREADS ? WORKERS_MAX_THREADS : threads);
    WorkerPool& p = g_workers;
    p.stopping = false;
    for (int i = 0; i < threads - 1; i++) p.threads[i] = std::thread(worker_main, &p);
    p.worker_count = threads - 1;
}

void workers_stop() {
    WorkerPool& p = g_workers;
    if (p.worker_count == 0) return;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        p.stopping = true;
    }
    p.wake.notify_all();
    for (int i = 0; i < p.worker_count; i++) p.threads[i].join();
    p.worker_count = 0;
    p.stopping = false;
}

int workers_threads() {
    return g_workers.worker_count + 1;
}

void workers_run(int count, void (*fn)(void* ctx, int task), void* ctx) {
    WorkerPool& p = g_workers;
    if (count <= 0) return;
    if (p.worker_count == 0 || count == 1) {
        for (int task = 0; task < count; task++) fn(ctx, task);
        return;
    }
    uint32_t job;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        job = ++p.job;
        p.fn = fn;
        p.ctx = ctx;
        p.count = count;
        p.finished.store(0, std::memory_order_relaxed);
        p.ticket.store((uint64_t)job << 32, std::memory_order_release);
    }
    p.wake.notify_all();
    tasks_run(p, job, count, fn, ctx);
    // Tasks other threads still hold: wait for the last of them.
    std::unique_lock<std::mutex> held(p.lock);
    p.done.wait(held, [&] { return p.finished.load(std::memory_order_acquire) == count; });
}

int workers_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? (int)n : 1;
}
