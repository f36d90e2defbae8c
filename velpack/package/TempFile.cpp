#include "TempFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

TempFile::TempFile(const std::string& target) : target_(target) {
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    path_ = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) error_ = "cannot create a temporary file beside " + target + ": " + std::strerror(errno);
}

TempFile::~TempFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !path_.empty()) unlink(path_.c_str());
}

bool TempFile::Write(const uint8_t* data, size_t size) {
  while (fd_ >= 0 && error_.empty() && size > 0) {
    ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_ = "cannot write " + path_ + ": " + std::strerror(written < 0 ? errno : ENOSPC);
      break;
    }
    data += written;
    size -= size_t(written);
  }
  return error_.empty();
}

bool TempFile::Commit() {
  if (!error_.empty()) return false;
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    error_ = "cannot write " + path_ + ": " + std::strerror(errno);
  } else if (std::rename(path_.c_str(), target_.c_str()) != 0) {
    error_ = "cannot replace " + target_ + ": " + std::strerror(errno);
  } else {
    committed_ = true;
  }
  return committed_;
}
