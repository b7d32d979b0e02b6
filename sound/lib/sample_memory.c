// SPDX-License-Identifier: MIT
/* Memory for long runs of samples, in huge pages when it is large. */
#include "sample_memory.h"

#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

/* The sound library counts its small blocks through SDL's memory functions. The window's file
 * reader shares this file but not SDL, which it would otherwise load before its first frame. */
#ifdef SAMPLE_MEMORY_WITHOUT_SDL
#define small_malloc malloc
#define small_free free
#else
#include <SDL_stdinc.h>
#define small_malloc SDL_malloc
#define small_free SDL_free
#endif

#define HUGE_PAGE ((size_t)2 << 20)

void* sample_memory_allocate(size_t bytes) {
  if (bytes < HUGE_PAGE) return small_malloc(bytes);
  void* block = NULL;
  if (posix_memalign(&block, HUGE_PAGE, bytes) != 0) return NULL;
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

void* sample_memory_adopt(void* block, size_t bytes) {
  if (bytes < HUGE_PAGE) return block;
  void* copy = sample_memory_allocate(bytes);
  if (copy != NULL) memcpy(copy, block, bytes);
  small_free(block);
  return copy;
}

/* A huge-page block came from the C library, whatever SDL's own memory functions are. */
void sample_memory_free(void* block, size_t bytes) {
  if (bytes < HUGE_PAGE) {
    small_free(block);
  } else {
    free(block);
  }
}
