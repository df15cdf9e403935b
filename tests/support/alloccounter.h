#pragma once

// Counts calls to the global operator new. Linking velocimo_alloc_counter replaces the global
// allocation functions for the whole binary, so only the tests that count link it.

namespace velocimo::test {

// Starts counting from zero.
void startCountingAllocations();
// Stops counting and returns how many allocations there were since the start.
long stopCountingAllocations();

} // namespace velocimo::test
