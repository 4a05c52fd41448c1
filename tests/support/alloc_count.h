// Counts allocations made between begin and end, on any thread; nothing else changes about
// allocation. Two levels:
//   alloc_count_*   every form of C++ operator new;
//   malloc_count_*  the C library's allocator: malloc, calloc, realloc, the aligned forms and
//                   free (operator new, ODE and the C library's own callers come through it).
#pragma once

void alloc_count_begin();
long alloc_count_end(); // allocations since alloc_count_begin; counting stops

// Whether this build can count at the C library's level: the plain build replaces malloc and
// its relatives; under AddressSanitizer, which owns malloc, its allocator hooks count instead.
bool malloc_count_available();
void malloc_count_begin();
long malloc_count_end(); // allocator calls since malloc_count_begin (frees included)
