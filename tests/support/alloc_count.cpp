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
