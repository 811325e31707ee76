// An invariant of a fuzz target: when it does not hold, say which, and let libFuzzer keep
// the input (abort).
#pragma once

#include <cstdio>
#include <cstdlib>

#define HALDEN_REQUIRE(holds)                                                                   \
    do {                                                                                        \
        if (!(holds)) {                                                                         \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #holds, __FILE__, __LINE__); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)
