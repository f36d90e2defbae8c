#pragma once
#include <stdint.h>

#include "ByteSink.h"
#include "Text.h"

// Writes a new file through a buffer, one system write per full buffer. A failed write is
// remembered, so the file's writer learns of it at Close.
class BufferedFileWriter final : public ByteSink {
 public:
  static const uint32_t kBufferSize = 10240;

  BufferedFileWriter();
  ~BufferedFileWriter() { Close(); }
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

  // Creates the file, replacing an existing one.
  bool Open(const char* path);
  // False once any write has failed.
  bool Write(const uint8_t* data, uint32_t n) override;
  bool Flush();
  // Flushes and closes; false when the file was not open or any write failed.
  bool Close();
  // Closes and deletes the file, whose content is incomplete.
  void Discard();

 private:
  void CloseHandleOnly();

#ifdef _WIN32
  void* file_;  // INVALID_HANDLE_VALUE when closed
#else
  int file_;  // -1 when closed
#endif
  Text path_;
  bool ok_;
  uint32_t fill_;
  uint8_t buffer_[kBufferSize];
};
