#pragma once
#include <stdint.h>

// When a file copy reports its progress: after the byte at every multiple of kStep below the
// file's size, as if the file were copied one byte at a time, in percent of the size. Counted in
// 64 bits, so that neither a file of 4 GiB or more nor the last step before it wraps.
class CopyProgress {
 public:
  static const uint64_t kStep = 2000;

  explicit CopyProgress(uint64_t size) : size_(size), mark_(kStep) {}

  // Whether a report is due once the first copied bytes are written; *percent is its value.
  // Called until it returns false after every write.
  bool Next(uint64_t copied, int* percent) {
    if (mark_ >= size_ || mark_ >= copied) return false;
    *percent = int(size_ <= 100000 ? mark_ * 100 / size_ : mark_ / (size_ / 100));
    mark_ += kStep;
    return true;
  }

 private:
  uint64_t size_;
  uint64_t mark_;
};
