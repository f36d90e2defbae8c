#include <windows.h>

#include "Startup.h"

namespace {
// The command line without the program name and the blanks after it.
char* CommandTail(char* line) {
  if (*line == '"') {
    ++line;
    while (*line && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (static_cast<unsigned char>(*line) > ' ') ++line;
  }
  while (*line && static_cast<unsigned char>(*line) <= ' ') ++line;
  return line;
}
}  // namespace

// The process entry: no C runtime start-up runs before it, and it never returns.
extern "C" void WINAPI ProcessEntry() {
  char* line = GetCommandLineA();
  if (!line) ExitProcess(static_cast<UINT>(-1));
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  int showState = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(Start(GetModuleHandleA(nullptr), nullptr, CommandTail(line), showState)));
}
