#include "tests/support/alloccounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replaced operators pair malloc with free; GCC cannot see that they replace the global
// pair together.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};
} // namespace

namespace velocimo::test {

void startCountingAllocations() {
    g_allocations = 0;
    g_counting = true;
}

long stopCountingAllocations() {
    g_counting = false;
    return g_allocations.load();
}

} // namespace velocimo::test

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
