#include "BufferedFileWriter.h"

#include <string.h>

#ifdef _WIN32
#include <windows.h>

#include "SystemApi.h"
#include "WideText.h"

namespace {
const HANDLE kClosed = INVALID_HANDLE_VALUE;

HANDLE CreateForWriting(const char* path) {
  return CreateFileW(WideText(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}

bool WriteAll(HANDLE file, const uint8_t* data, uint32_t n) {
  DWORD written = 0;
  return WriteFile(file, data, n, &written, nullptr) && written == n;
}

void CloseFile(HANDLE file) { CloseHandle(file); }
void DeleteFileAt(const char* path) { DeleteFileW(WideText(path)); }

// Times and attributes in one call on the open handle where the system has it; otherwise (or if
// that call fails) the times here and the attributes by path once the file is closed.
bool StampFile(HANDLE file, const FileStamp& stamp, bool* attributesSet) {
  if (SystemApi::SetFileInformationByHandleFn set = SystemApi::SetFileInformationByHandle()) {
    SystemApi::FileBasicInfo info = {};
    info.creationTime = int64_t(stamp.creation);
    info.lastAccessTime = int64_t(stamp.lastAccess);
    info.lastWriteTime = int64_t(stamp.lastWrite);
    // 0 would mean "unchanged" here, where it means "no attributes" to SetFileAttributesA.
    info.attributes = stamp.attributes ? stamp.attributes : FILE_ATTRIBUTE_NORMAL;
    if (set(file, SystemApi::kFileBasicInfo, &info, sizeof(info))) {
      *attributesSet = true;
      return true;
    }
  }
  *attributesSet = false;
  return SetFileTimes(file, stamp);
}

void SetAttributesAt(const char* path, uint32_t attributes) { SetFileAttributesW(WideText(path), attributes); }
}  // namespace

#else
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
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

// 100 ns units since 1601 to a POSIX time; 0 leaves the time alone.
timespec ToTimespec(uint64_t value) {
  const uint64_t kUnixEpoch = 116444736000000000ull;
  timespec time = {};
  if (value == 0) {
    time.tv_nsec = UTIME_OMIT;
  } else if (value > kUnixEpoch) {
    time.tv_sec = time_t((value - kUnixEpoch) / 10000000);
    time.tv_nsec = long((value - kUnixEpoch) % 10000000 * 100);
  }
  return time;
}

// POSIX files keep no creation time and no attributes: the two times only.
bool StampFile(int file, const FileStamp& stamp, bool* attributesSet) {
  timespec times[2] = {ToTimespec(stamp.lastAccess), ToTimespec(stamp.lastWrite)};
  *attributesSet = true;
  return futimens(file, times) == 0;
}

void SetAttributesAt(const char*, uint32_t) {}
}  // namespace
#endif

BufferedFileWriter::BufferedFileWriter()
    : file_(kClosed), ok_(false), attributesPending_(false), attributes_(0), fill_(0) {}

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

bool BufferedFileWriter::Stamp(const FileStamp& stamp) {
  if (!Flush()) return false;
  bool attributesSet = false;
  bool ok = StampFile(file_, stamp, &attributesSet);
  attributesPending_ = !attributesSet;
  attributes_ = stamp.attributes;
  return ok;
}

bool BufferedFileWriter::Close() {
  if (file_ == kClosed) return false;
  bool ok = Flush();
  bool setAttributes = attributesPending_;
  Text path = path_;
  CloseHandleOnly();
  // Like the times, attributes that cannot be set do not make the written file a failure.
  if (setAttributes) SetAttributesAt(path.CStr(), attributes_);
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
  attributesPending_ = false;
  path_.Clear();
}
