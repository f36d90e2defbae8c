// Test program: keeps the Wine desktop open for a whole test session. The desktop process is
// started by the first program that needs it and inherits that program's standard handles;
// started from here, with the session's, it holds no test's output pipe open.
#include <windows.h>

int main() {
  // A window, never shown, attaches this process to the desktop and so makes it start.
  CreateWindowA("STATIC", "Velmora desktop holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
