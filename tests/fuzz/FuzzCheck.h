// A property that must hold for every fuzz input. A failure prints what broke and aborts, which
// libFuzzer reports as a crash (and saves the input) and which fails a replay run.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                  \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s (%s)\n", __FILE__, __LINE__, (what), \
                         #condition);                                                                \
            std::abort();                                                                            \
        }                                                                                            \
    } while (0)
