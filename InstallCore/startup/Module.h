#pragma once
#include <windows.h>

// The running module: its instance handle, for the dialog template and other resources.
class Module {
 public:
  static void Init(HINSTANCE instance);
  static HINSTANCE Instance();
};
