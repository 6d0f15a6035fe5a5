#pragma once

#include <cstdio>
#include <cstdlib>

/// A property of a fuzz target that must hold for every input. A violation aborts, so
/// that libFuzzer keeps the input as a crash and a corpus replay fails.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, what);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
