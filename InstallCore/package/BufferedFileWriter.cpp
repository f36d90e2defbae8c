#include "BufferedFileWriter.h"

#include <string.h>

#ifdef _WIN32
#include <windows.h>

namespace {
const HANDLE kClosed = INVALID_HANDLE_VALUE;

HANDLE CreateForWriting(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}

bool WriteAll(HANDLE file, const uint8_t* data, uint32_t n) {
  DWORD written = 0;
  return WriteFile(file, data, n, &written, nullptr) && written == n;
}

void CloseFile(HANDLE file) { CloseHandle(file); }
void DeleteFileAt(const char* path) { DeleteFileA(path); }
}  // namespace

#else
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace {
const int kClosed = -1;

int CreateForWriting(const char* path) { return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); }

bool WriteAll(int file, const uint8_t* data, uint32_t n) {
  while (n > 0) {
    ssize_t written = write(file, data, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    n -= uint32_t(written);
  }
  return true;
}

void CloseFile(int file) { close(file); }
void DeleteFileAt(const char* path) { unlink(path); }
}  // namespace
#endif

BufferedFileWriter::BufferedFileWriter() : file_(kClosed), ok_(false), fill_(0) {}

bool BufferedFileWriter::Open(const char* path) {
  Close();
  file_ = CreateForWriting(path);
  if (file_ == kClosed) return false;
  path_ = Text(path);
  ok_ = true;
  return true;
}

bool BufferedFileWriter::Write(const uint8_t* data, uint32_t n) {
  while (ok_ && n > 0) {
    if (fill_ == kBufferSize && !Flush()) break;
    uint32_t chunk = kBufferSize - fill_;
    if (chunk > n) chunk = n;
    memcpy(buffer_ + fill_, data, chunk);
    fill_ += chunk;
    data += chunk;
    n -= chunk;
  }
  return ok_;
}

bool BufferedFileWriter::Flush() {
  if (file_ == kClosed) return false;
  if (fill_ > 0 && ok_) ok_ = WriteAll(file_, buffer_, fill_);
  fill_ = 0;
  return ok_;
}

bool BufferedFileWriter::Close() {
  if (file_ == kClosed) return false;
  bool ok = Flush();
  CloseHandleOnly();
  return ok;
}

void BufferedFileWriter::Discard() {
  if (file_ == kClosed) return;
  Text path = path_;
  CloseHandleOnly();
  DeleteFileAt(path.CStr());
}

void BufferedFileWriter::CloseHandleOnly() {
  CloseFile(file_);
  file_ = kClosed;
  fill_ = 0;
  ok_ = false;
  path_.Clear();
}
