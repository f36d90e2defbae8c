// Test library that a COM server imports from its own folder.
#include <windows.h>

extern "C" __declspec(dllexport) int SiblingValue() { return 42; }
