#pragma once
// ZV_HOT_LOOP marks the few inner loops that dominate the audio path: they are built
// for AVX2 as well as for the baseline, and the better one is chosen when the program
// starts. Sanitizer builds use the baseline only (their run-time starts after the
// choice would be made).

#if defined(ZV_NO_TARGET_CLONES) || !defined(__x86_64__)
#define ZV_HOT_LOOP
#else
#define ZV_HOT_LOOP __attribute__((target_clones("avx2", "default")))
#endif
