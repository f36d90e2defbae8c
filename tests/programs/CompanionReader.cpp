// Test program: reads a file that lies beside it, as a program reads a library or data file it
// was unpacked with, and copies its bytes into a marker file.
//   CompanionReader.exe NAME MARKER   the marker holds NAME's bytes, or "<no companion>" without it
#include <windows.h>

#include <string.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  char companion[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, companion, MAX_PATH);
  char* slash = n ? strrchr(companion, '\\') : nullptr;
  if (!slash || strlen(argv[1]) >= MAX_PATH) return 3;
  strcpy(slash + 1, argv[1]);
  static char bytes[65536];
  DWORD size = 0;
  HANDLE file = CreateFileA(companion, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    strcpy(bytes, "<no companion>");
    size = DWORD(strlen(bytes));
  } else {
    ReadFile(file, bytes, sizeof(bytes), &size, nullptr);
    CloseHandle(file);
  }
  HANDLE marker = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 4;
  DWORD written = 0;
  BOOL ok = WriteFile(marker, bytes, size, &written, nullptr);
  CloseHandle(marker);
  return ok ? 0 : 5;
}
