#include <windows.h>

#include "Startup.h"
#include "WideText.h"

namespace {
// The command line without the program name and the blanks after it.
const wchar_t* CommandTail(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line > L' ') ++line;
  }
  while (*line && *line <= L' ') ++line;
  return line;
}
}  // namespace

// The process entry: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI ProcessEntry() {
  const wchar_t* line = GetCommandLineW();
  if (!line) ExitProcess(static_cast<UINT>(-1));
  // In UTF-8 until the package tells its code page, so that any path survives.
  Text tail = WideText::ToText(CommandTail(line));
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  int showState = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(Start(GetModuleHandleA(nullptr), nullptr, tail.CStr(), showState)));
}
