#pragma once
#ifdef _WIN32
#include <stdint.h>
#include <windows.h>

// Platform functions that not every Windows version has, looked up by name in one place,
// and the one safe way to load a system library.
namespace SystemApi {

// Restricts later implicit library loads to the system folder where the platform supports it.
void RestrictDllSearchToSystem();

// Loads a library from the system folder only, never from the executable's folder or the
// current folder (where a planted copy could be waiting). Null on failure.
HMODULE LoadSystemLibrary(const char* name);

// Loads a library by its full path so that the libraries it needs are found in its own folder
// and the system folder, whatever RestrictDllSearchToSystem has set. Null on failure.
HMODULE LoadLibraryWithItsFolder(const char* path);

// GetDiskFreeSpaceExW from kernel32, or null where the system lacks it.
typedef BOOL(WINAPI* GetDiskFreeSpaceExWFn)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
GetDiskFreeSpaceExWFn GetDiskFreeSpaceExW();

// ChangeServiceConfig2W from advapi32, or null.
typedef BOOL(WINAPI* ChangeServiceConfig2WFn)(SC_HANDLE, DWORD, LPVOID);
ChangeServiceConfig2WFn ChangeServiceConfig2W();

// RtlGenRandom (exported as SystemFunction036) from advapi32, or null.
typedef BOOLEAN(WINAPI* RtlGenRandomFn)(PVOID, ULONG);
RtlGenRandomFn RtlGenRandom();

// SetFileInformationByHandle from kernel32 (Windows Vista and later), or null; only its
// FileBasicInfo class is used.
struct FileBasicInfo {
  int64_t creationTime;
  int64_t lastAccessTime;
  int64_t lastWriteTime;
  int64_t changeTime;
  DWORD attributes;
};
static_assert(sizeof(FileBasicInfo) == 40, "FILE_BASIC_INFO's layout");
const int kFileBasicInfo = 0;
typedef BOOL(WINAPI* SetFileInformationByHandleFn)(HANDLE, int, LPVOID, DWORD);
SetFileInformationByHandleFn SetFileInformationByHandle();

}  // namespace SystemApi
#endif
