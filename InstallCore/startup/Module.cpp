#include "Module.h"

#include "Memory.h"

namespace {
HINSTANCE g_instance = nullptr;
}

void Module::Init(HINSTANCE instance) {
  g_instance = instance;
  // Creates the private heap now rather than on the first allocation.
  MemFree(MemAlloc(1));
}

HINSTANCE Module::Instance() { return g_instance; }
