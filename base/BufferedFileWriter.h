#pragma once
#include <stdint.h>

#include "ByteSink.h"
#include "FileStamp.h"
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
  // Flushes, then gives the open file the stamp's times and attributes (times only where the
  // system keeps no attributes; attributes may wait for Close); false when the times could not
  // be set. Nothing may be written after it.
  bool Stamp(const FileStamp& stamp);
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
  bool attributesPending_;  // Stamp could not set them through the handle: set by path at Close
  uint32_t attributes_;
  uint32_t fill_;
  uint8_t buffer_[kBufferSize];
};
