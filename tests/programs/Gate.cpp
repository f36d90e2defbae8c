// Test program: holds an install at one point until the test lets it go.
//   Gate.exe RELEASE   waits until the file RELEASE exists (at most 60 s), then exits with 0
//                      (1 when it gave up waiting).
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int waited = 0; waited < 60000; waited += 20) {
    if (GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES) return 0;
    Sleep(20);
  }
  return 1;
}
