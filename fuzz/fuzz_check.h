#pragma once
// A check that holds in every build of a fuzz target: a failed one aborts,
// which the fuzzer reports with the input that caused it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
