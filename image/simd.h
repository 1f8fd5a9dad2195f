// Marks a function to be compiled for AVX2 and for the baseline processor,
// the loader choosing one when the program starts (GNU indirect functions).
// Not under the sanitizers: their runtimes are not ready when the loader
// runs the choice.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define KORVANTI_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KORVANTI_CLONES
#endif
