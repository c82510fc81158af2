#pragma once

// Marks a hot loop to be compiled for AVX-512, for AVX2 and for the x86-64
// baseline, with the choice made once at load time. Only where the platform
// has indirect functions (Linux); elsewhere the baseline alone is built. The
// thread sanitizer's runtime is not ready when the loader picks a clone, so
// its builds keep the baseline too.
#if defined(__x86_64__) && defined(__linux__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define TAVELUNE_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TAVELUNE_VECTOR_CLONES
#endif
