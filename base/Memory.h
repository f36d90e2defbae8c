#pragma once
#include <stddef.h>

// All of the installer's allocations go through these, so that on Windows they come from
// the module's private heap. Each returns null on failure; nothing throws.
void* MemAlloc(size_t size);
void* MemRealloc(void* block, size_t size);
void MemFree(void* block);
