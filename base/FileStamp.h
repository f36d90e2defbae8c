#pragma once
#include <stdint.h>

// The times (FILETIME values: 100 ns units since 1601; 0 leaves a time as it is) and the
// attributes an installed file is given.
struct FileStamp {
  uint64_t creation;
  uint64_t lastAccess;
  uint64_t lastWrite;
  uint32_t attributes;
};

#ifdef _WIN32
// Sets the three times on an open file handle (a HANDLE); true when the system took them.
bool SetFileTimes(void* file, const FileStamp& stamp);
#endif
