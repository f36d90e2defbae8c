// Test program: writes its own command line into a marker file and exits with a chosen code.
//   MarkerWriter.exe [MARKER [EXITCODE]]
// Without arguments the marker is this program's path with ".txt" in place of ".exe".
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  char marker[MAX_PATH * 2];
  if (argc > 1) {
    snprintf(marker, sizeof(marker), "%s", argv[1]);
  } else {
    DWORD n = GetModuleFileNameA(nullptr, marker, MAX_PATH);
    if (n < 4) return 100;
    strcpy(marker + n - 4, ".txt");
  }
  // Written beside and renamed, so that a watcher never sees a half-written marker.
  char partial[MAX_PATH * 2 + 8];
  snprintf(partial, sizeof(partial), "%s.part", marker);
  const char* line = GetCommandLineA();
  HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 101;
  DWORD written = 0;
  BOOL ok = WriteFile(file, line, DWORD(strlen(line)), &written, nullptr);
  CloseHandle(file);
  if (!ok || !MoveFileExA(partial, marker, MOVEFILE_REPLACE_EXISTING)) return 102;
  return argc > 2 ? atoi(argv[2]) : 0;
}
