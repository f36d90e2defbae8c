#include "Memory.h"

#ifdef _WIN32
#include <windows.h>

namespace {
HANDLE g_heap = nullptr;

HANDLE Heap() {
  if (!g_heap) g_heap = HeapCreate(0, 0, 0);
  return g_heap;
}
}  // namespace

void* MemAlloc(size_t size) {
  HANDLE heap = Heap();
  return heap ? HeapAlloc(heap, 0, size ? size : 1) : nullptr;
}

void* MemRealloc(void* block, size_t size) {
  if (!block) return MemAlloc(size);
  return HeapReAlloc(Heap(), 0, block, size ? size : 1);
}

void MemFree(void* block) {
  if (block) HeapFree(Heap(), 0, block);
}

#else
#include <stdlib.h>

void* MemAlloc(size_t size) { return malloc(size ? size : 1); }
void* MemRealloc(void* block, size_t size) { return realloc(block, size ? size : 1); }
void MemFree(void* block) { free(block); }
#endif
