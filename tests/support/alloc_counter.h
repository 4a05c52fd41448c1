// Test support: counting the C++ allocations a piece of code makes. Every form of operator new
// and delete of the test programs is replaced here; counting is off unless a test turns it on.
#pragma once

// Starts counting from zero.
void alloc_count_start();
// Stops counting; the allocations made since the start.
long alloc_count_stop();
