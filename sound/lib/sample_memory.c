// SPDX-License-Identifier: MIT
/* Memory for long runs of samples, in huge pages when it is large. */
#include "sample_memory.h"

#include <SDL_stdinc.h>
#include <stdlib.h>
#include <sys/mman.h>

#define HUGE_PAGE ((size_t)2 << 20)

void* sample_memory_allocate(size_t bytes) {
  if (bytes < HUGE_PAGE) return SDL_malloc(bytes);
  void* block = NULL;
  if (posix_memalign(&block, HUGE_PAGE, bytes) != 0) return NULL;
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

/* A huge-page block came from the C library, whatever SDL's own memory functions are. */
void sample_memory_free(void* block, size_t bytes) {
  if (bytes < HUGE_PAGE) {
    SDL_free(block);
  } else {
    free(block);
  }
}
