// Counts the C++ allocations (every form of operator new) made between begin and end, on any
// thread; nothing else changes about allocation.
#pragma once

void alloc_count_begin();
long alloc_count_end(); // allocations since alloc_count_begin; counting stops
