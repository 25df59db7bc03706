/* libquenrix.so, the post-processor the GDSII -> PG engine loads with dlopen after its
   run; this entry stands for the library's ordinal 1. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* argv: the library's full path, the header stream's name, optionally "-debugx" or
   "-debug", then a null entry; argc counts the entries before the null one. Works in the
   current directory. window is not used. cancel_flag (may be null) is polled; once set,
   the run stops, removes the files it was writing and returns -1. Returns the number of
   warnings written to pg.log (0 or more), or -1 after a failure. */
int32_t quenrix_ordinal_1(int32_t argc, char** argv, uint32_t window, volatile int* cancel_flag);

#ifdef __cplusplus
}  // extern "C"
#endif
