// Counting allocations for the tests that check a path allocates nothing: this file replaces
// the program's operator new and delete (linked in by the first test that calls
// alloc_count_begin).
#include "support/alloc_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

// Every C++ allocation of the test program (plain, array, aligned and nothrow forms) is
// counted while counting is on; every form of delete gives the memory back to the C library.
static std::atomic<bool> g_count_allocations{false};
static std::atomic<long> g_allocations{0};

// Kept out of line so the compiler never sees the C library's free() next to a pointer that
// came from operator new (it would warn about a mismatched pair that is matched here).
__attribute__((noinline)) static void* counted_alloc(std::size_t n, std::size_t align) {
    if (g_count_allocations) g_allocations++;
    if (n == 0) n = 1;
    if (align <= alignof(std::max_align_t)) return std::malloc(n);
    return std::aligned_alloc(align, (n + align - 1) / align * align);
}
__attribute__((noinline)) static void counted_free(void* p) noexcept {
    std::free(p);
}
static void* counted_new(std::size_t n, std::size_t align) {
    void* p = counted_alloc(n, align);
    if (!p) throw std::bad_alloc();
    return p;
}

void* operator new(std::size_t n) {
    return counted_new(n, 0);
}
void* operator new[](std::size_t n) {
    return counted_new(n, 0);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return counted_new(n, (std::size_t)a);
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return counted_new(n, (std::size_t)a);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n, 0);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return counted_alloc(n, 0);
}
void operator delete(void* p) noexcept {
    counted_free(p);
}
void operator delete[](void* p) noexcept {
    counted_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    counted_free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    counted_free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    counted_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}

void alloc_count_begin() {
    g_allocations = 0;
    g_count_allocations = true;
}

long alloc_count_end() {
    g_count_allocations = false;
    return g_allocations.load();
}

// ---- The C library's allocator ----

static std::atomic<bool> g_count_mallocs{false};
static std::atomic<long> g_mallocs{0};

static inline void malloc_counted() {
    if (g_count_mallocs.load(std::memory_order_relaxed))
        g_mallocs.fetch_add(1, std::memory_order_relaxed);
}

#if defined(__SANITIZE_ADDRESS__)
#define VORNIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORNIX_ASAN 1
#endif
#endif

#ifdef VORNIX_ASAN
// AddressSanitizer replaces malloc itself; a second replacement would take its place. Its
// allocator calls these hooks for every allocation and release instead.
#include <sanitizer/allocator_interface.h>

static void malloc_hook(const volatile void*, std::size_t) {
    malloc_counted();
}
static void free_hook(const volatile void* p) {
    if (p) malloc_counted();
}

bool malloc_count_available() {
    static int installed = __sanitizer_install_malloc_and_free_hooks(malloc_hook, free_hook);
    return installed != 0;
}
#else
// The C library's allocator under its own entry points; every call is counted while counting
// is on and passed straight on. (The C library supports replacing malloc this way; its own
// calls, and every shared library's, come here too.)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void* __libc_valloc(std::size_t);
void* __libc_pvalloc(std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) noexcept {
    malloc_counted();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) noexcept {
    malloc_counted();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) noexcept {
    malloc_counted();
    return __libc_realloc(p, n);
}
void free(void* p) noexcept {
    if (p) malloc_counted();
    __libc_free(p);
}
void* memalign(std::size_t align, std::size_t n) noexcept {
    malloc_counted();
    return __libc_memalign(align, n);
}
void* aligned_alloc(std::size_t align, std::size_t n) noexcept {
    malloc_counted();
    return __libc_memalign(align, n);
}
int posix_memalign(void** out, std::size_t align, std::size_t n) noexcept {
    malloc_counted();
    if (align < sizeof(void*) || (align & (align - 1)) != 0) return 22; // EINVAL
    void* p = __libc_memalign(align, n);
    if (!p) return 12; // ENOMEM
    *out = p;
    return 0;
}
void* valloc(std::size_t n) noexcept {
    malloc_counted();
    return __libc_valloc(n);
}
void* pvalloc(std::size_t n) noexcept {
    malloc_counted();
    return __libc_pvalloc(n);
}
}

bool malloc_count_available() {
    return true;
}
#endif

void malloc_count_begin() {
    malloc_count_available();
    g_mallocs = 0;
    g_count_mallocs = true;
}

long malloc_count_end() {
    g_count_mallocs = false;
    return g_mallocs.load();
}
