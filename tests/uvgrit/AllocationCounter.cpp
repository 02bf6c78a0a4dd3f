// The replacement of the global operator new behind AllocationCount. Every plain and array new of
// this test program goes through here (the nothrow forms call these; both are replaced because a
// sanitizer runtime may supply its own array form); deletes go back to free. In a file of its
// own, so that no caller sees both sides inlined together.
#include "tests/uvgrit/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;
}  // namespace

AllocationCount::AllocationCount() {
    t_allocations = 0;
    t_counting = true;
}
AllocationCount::~AllocationCount() { t_counting = false; }
long AllocationCount::Stop() {
    t_counting = false;
    return t_allocations;
}

void* operator new(std::size_t size) {
    if (t_counting) ++t_allocations;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
