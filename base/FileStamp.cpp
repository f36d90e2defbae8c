#include "FileStamp.h"

#ifdef _WIN32
#include <windows.h>

namespace {
FILETIME ToFileTime(uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = DWORD(value);
  time.dwHighDateTime = DWORD(value >> 32);
  return time;
}
}  // namespace

bool SetFileTimes(void* file, const FileStamp& stamp) {
  FILETIME creation = ToFileTime(stamp.creation);
  FILETIME lastAccess = ToFileTime(stamp.lastAccess);
  FILETIME lastWrite = ToFileTime(stamp.lastWrite);
  return SetFileTime(file, &creation, &lastAccess, &lastWrite) != 0;
}
#endif
