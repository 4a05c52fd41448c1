// The worker pool: threads that sleep until a job is posted, claim its tasks one at a time and
// go back to sleep when none are left.
#include "platform/workers.h"

#include <sched.h>
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>

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

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// While jobs come in a stream: sleeps until `lead` before the next one is due, then waits
// awake for it for a short while, and moves the lead by how that went. Returns with the lock
// held, the job perhaps not yet posted (the caller then sleeps until it is).
void wait_for_due_job(WorkerPool& p, std::unique_lock<std::mutex>& held, uint32_t seen,
                      int64_t* lead) {
    auto ready = [&] { return p.stopping || p.job != seen; };
    if (ready() || p.interval_ns <= 0) return;
    int64_t wake_at = p.last_post_ns + p.interval_ns - *lead;
    if (wake_at > now_ns()) {
        auto at = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(wake_at));
        if (p.wake.wait_until(held, at, ready)) {
            // Woken by the job itself: the timer came too late.
            *lead = std::min(WORKERS_LEAD_MAX_NS, *lead + *lead / 2);
            return;
        }
    }
    held.unlock();
    int64_t start = now_ns(), waited = 0, longest = std::min(WORKERS_SPIN_MAX_NS, 3 * *lead);
    while (p.posted.load(std::memory_order_acquire) == seen && !p.stopping &&
           (waited = now_ns() - start) < longest)
        cpu_relax();
    held.lock();
    // Awake longer than needed: wake a little later next time.
    if (waited > *lead / 2) *lead = std::max(WORKERS_LEAD_MIN_NS, *lead - *lead / 8);
}

void worker_main(WorkerPool* pool) {
    // The timer wake-ups above are only worth their lead when the kernel keeps them punctual.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    WorkerPool& p = *pool;
    std::unique_lock<std::mutex> held(p.lock);
    uint32_t seen = p.job;
    int64_t lead = WORKERS_LEAD_START_NS;
    for (;;) {
        wait_for_due_job(p, held, seen, &lead);
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
    p.last_post_ns = p.interval_ns = p.last_interval_ns = 0; // a new pool: no stream yet
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
    if (p.worker_count == 0 || count < WORKERS_MIN_TASKS) {
        for (int task = 0; task < count; task++) fn(ctx, task);
        return;
    }
    uint32_t job;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        job = ++p.job;
        int64_t now = now_ns();
        int64_t interval = p.last_post_ns > 0 ? now - p.last_post_ns : 0;
        p.interval_ns = workers_expected_interval(p.last_interval_ns, interval);
        p.last_interval_ns = interval;
        p.last_post_ns = now;
        p.fn = fn;
        p.ctx = ctx;
        p.count = count;
        p.finished.store(0, std::memory_order_relaxed);
        p.ticket.store((uint64_t)job << 32, std::memory_order_release);
        p.posted.store(job, std::memory_order_release);
    }
    p.wake.notify_all();
    tasks_run(p, job, count, fn, ctx);
    // Tasks other threads still hold: wait for the last of them, awake while they are likely
    // to end soon (waking from a sleep costs more than a task).
    int64_t start = now_ns();
    while (p.finished.load(std::memory_order_acquire) != count &&
           now_ns() - start < WORKERS_JOIN_SPIN_NS)
        cpu_relax();
    if (p.finished.load(std::memory_order_acquire) == count) return;
    std::unique_lock<std::mutex> held(p.lock);
    p.done.wait(held, [&] { return p.finished.load(std::memory_order_acquire) == count; });
}

int64_t workers_expected_interval(int64_t previous, int64_t latest) {
    // The shorter of the two: a worker woken early waits a little longer, one woken late loses
    // what the timer was for.
    int64_t shorter = std::min(previous, latest), longer = std::max(previous, latest);
    if (shorter <= 0 || longer >= WORKERS_STREAM_MAX_NS || 2 * longer > 3 * shorter) return 0;
    return shorter;
}

void workers_yield() {
    sched_yield();
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
