#include "MappedFile.h"

#ifdef _WIN32
#include <windows.h>
#include "WideText.h"

MappedFile::MappedFile() : file_(INVALID_HANDLE_VALUE), mapping_(nullptr), view_(nullptr), size_(0) {}

bool MappedFile::Map(const char* path, bool writable, uint32_t size) {
  Close();
  DWORD access = writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  file_ = CreateFileW(WideText(path), access, FILE_SHARE_READ, nullptr, writable ? CREATE_ALWAYS : OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  if (!writable) {
    DWORD high = 0;
    size = GetFileSize(file_, &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
      Close();
      return false;
    }
  }
  mapping_ = CreateFileMappingW(file_, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, size, nullptr);
  if (mapping_) view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, size));
  if (!view_) {
    Close();
    return false;
  }
  size_ = size;
  return true;
}

bool MappedFile::Flush() {
  return view_ && FlushViewOfFile(view_, 0) && FlushFileBuffers(file_);
}

void MappedFile::Close() {
  if (mapping_) CloseHandle(mapping_);
  if (view_) UnmapViewOfFile(view_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  mapping_ = nullptr;
  view_ = nullptr;
  size_ = 0;
}

#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::MappedFile() : file_(-1), view_(nullptr), size_(0) {}

bool MappedFile::Map(const char* path, bool writable, uint32_t size) {
  Close();
  file_ = writable ? open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : open(path, O_RDONLY | O_CLOEXEC);
  if (file_ < 0) return false;
  struct stat info;
  if (writable) {
    if (ftruncate(file_, off_t(size)) != 0) size = 0;
  } else if (fstat(file_, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) <= 0xFFFFFFFFu) {
    size = uint32_t(info.st_size);
  }
  // A zero length cannot be mapped, as on Windows.
  void* view = size ? mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, file_, 0) : MAP_FAILED;
  if (view == MAP_FAILED) {
    Close();
    return false;
  }
  view_ = static_cast<uint8_t*>(view);
  size_ = size;
  return true;
}

bool MappedFile::Flush() { return view_ && msync(view_, size_, MS_SYNC) == 0 && fsync(file_) == 0; }

void MappedFile::Close() {
  if (view_) munmap(view_, size_);
  if (file_ >= 0) close(file_);
  file_ = -1;
  view_ = nullptr;
  size_ = 0;
}
#endif

bool MappedFile::Open(const char* path) { return Map(path, false, 0); }

bool MappedFile::Create(const char* path, uint32_t size) { return Map(path, true, size); }
