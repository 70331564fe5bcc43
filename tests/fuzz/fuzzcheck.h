#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise found by a fuzz target: print it and abort, so that libFuzzer
// keeps the input and the replay suite fails on it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #cond);                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
