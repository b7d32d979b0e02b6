// SPDX-License-Identifier: MIT
/* Memory for long runs of samples: a sound's finished samples, or a sound file read whole. */
#ifndef ZONBELI_SAMPLE_MEMORY_H
#define ZONBELI_SAMPLE_MEMORY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of `bytes` bytes, left unset; NULL when memory runs out. A block of two megabytes or
 * more comes in huge pages, since every fresh page faults when it is first written and that is
 * most of the cost of filling a long sound. */
void* sample_memory_allocate(size_t bytes);

/* Gives back a block from sample_memory_allocate, which must be told the same size. NULL does
 * nothing. */
void sample_memory_free(void* block, size_t bytes);

#ifdef __cplusplus
}
#endif

#endif
