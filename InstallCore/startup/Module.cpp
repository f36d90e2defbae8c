#include "Module.h"

#include "Memory.h"

namespace {
HINSTANCE g_instance = nullptr;
// One registration at a time is enough: the installer has one thread and one dialog.
void* g_windowObject = nullptr;
DWORD g_windowThread = 0;
}  // namespace

void Module::Init(HINSTANCE instance) {
  g_instance = instance;
  // Creates the private heap now rather than on the first allocation.
  MemFree(MemAlloc(1));
}

HINSTANCE Module::Instance() { return g_instance; }

void Module::AddWindowObject(void* object) {
  g_windowObject = object;
  g_windowThread = GetCurrentThreadId();
}

void* Module::TakeWindowObject() {
  if (!g_windowObject || g_windowThread != GetCurrentThreadId()) return nullptr;
  void* object = g_windowObject;
  g_windowObject = nullptr;
  return object;
}
