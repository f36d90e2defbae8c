#include "PrivateFolder.h"

#include <windows.h>

#include "FolderListing.h"
#include "FolderSecurity.h"
#include "SystemApi.h"
#include "WideText.h"

namespace PrivateFolder {
namespace {
const int kAttempts = 16;

uint64_t RandomNumber() {
  uint64_t number = 0;
  SystemApi::RtlGenRandomFn random = SystemApi::RtlGenRandom();
  if (random && random(&number, sizeof(number))) return number;
  // Without the system's generator the name is harder to guess, not safe: creating the folder
  // exclusively is what keeps a planted one out.
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return uint64_t(counter.QuadPart) * 0x9E3779B97F4A7C15ull ^ (uint64_t(GetCurrentProcessId()) << 32) ^ GetTickCount();
}

bool AppendHex(Text* text, uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  char digits[16];
  for (int i = 15; i >= 0; --i, value >>= 4) digits[i] = kDigits[value & 15];
  return text->Append(digits, sizeof(digits));
}
}  // namespace

Text Create(const Text& parent, const char* prefix) {
  if (parent.Empty()) return Text();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Text folder(parent);
    if (!folder.Append('\\') || !folder.Append(prefix) || !AppendHex(&folder, RandomNumber())) return Text();
    if (FolderSecurity::Create(folder, FolderSecurity::kPrivate)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return Text();
  }
  return Text();
}

void Remove(const Text& folder) {
  FolderListing listing;
  if (listing.Open(folder)) {
    while (listing.Next()) {
      Text path = folder + "\\" + listing.Name();
      DWORD attributes = GetFileAttributesW(WideText(path));
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(WideText(path), attributes & ~FILE_ATTRIBUTE_READONLY);
      if (!listing.IsFolder())
        DeleteFileW(WideText(path));
      else if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        RemoveDirectoryW(WideText(path));
      else
        Remove(path);
    }
  }
  RemoveDirectoryW(WideText(folder));
}

}  // namespace PrivateFolder
