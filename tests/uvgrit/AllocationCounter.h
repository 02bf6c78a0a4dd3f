// Counts the calling thread's operator new calls (this test program replaces the global
// operator new), for tests that check a path allocates nothing.
#pragma once

class AllocationCount {
public:
    AllocationCount();  // starts counting this thread's allocations from 0
    ~AllocationCount();
    AllocationCount(const AllocationCount&) = delete;
    AllocationCount& operator=(const AllocationCount&) = delete;
    long Stop();  // stops counting and returns the count
};
