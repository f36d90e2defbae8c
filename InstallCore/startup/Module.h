#pragma once
#include <windows.h>

// The running module: its instance handle, for the dialog template and other resources, and the
// object that the next window created on a thread binds to.
class Module {
 public:
  static void Init(HINSTANCE instance);
  static HINSTANCE Instance();

  // Registers object for the current thread; the first message of the window created next on
  // this thread takes it (TakeWindowObject), which binds that window to the object.
  static void AddWindowObject(void* object);
  // The object registered for the current thread, removing the registration; null when none.
  static void* TakeWindowObject();
};
