#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>

// A new file beside the target that becomes the target on Commit and is removed otherwise, so
// the target is either left alone or replaced whole.
class TempFile {
 public:
  explicit TempFile(const std::string& target);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool Write(const uint8_t* data, size_t size);
  bool Commit();

  const std::string& Error() const { return error_; }

 private:
  std::string target_;
  std::string path_;
  std::string error_;
  int fd_ = -1;
  bool committed_ = false;
};
