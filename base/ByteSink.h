#pragma once
#include <stdint.h>
#include <string.h>

// Destination of decoded bytes. Write returns false when the sink cannot take the bytes
// (a memory sink that is full); the decoder then fails the stream.
class ByteSink {
 public:
  virtual bool Write(const uint8_t* data, uint32_t n) = 0;

 protected:
  ~ByteSink() = default;
};

// Writes into a caller's buffer of fixed capacity and counts what it took, so that a stream
// that decodes to more or fewer bytes than expected can be told apart.
class MemorySink final : public ByteSink {
 public:
  MemorySink(uint8_t* buffer, uint32_t capacity) : buffer_(buffer), capacity_(capacity), count_(0) {}

  bool Write(const uint8_t* data, uint32_t n) override {
    if (n > capacity_ - count_) return false;
    if (n == 0) return true;
    memcpy(buffer_ + count_, data, n);
    count_ += n;
    return true;
  }

  uint32_t Count() const { return count_; }

 private:
  uint8_t* buffer_;
  uint32_t capacity_;
  uint32_t count_;
};
