#pragma once
#include <stdint.h>

#include "Catalog.h"

class LzmaDecoder;

// One long-range stream of the package, decoded into memory as far as requests have needed:
// the files of a component are slices of its stream, and serving one decodes the stream up to
// that file's end, so files at the front are written before the rest is decoded and a stream
// whose component is not installed is never decoded. Holds the whole content (the decoder's
// dictionary) until another stream is opened or the object is destroyed.
class LongStream {
 public:
  LongStream() : entry_(nullptr), content_(nullptr), decoder_(nullptr) {}
  ~LongStream() { Close(); }
  LongStream(const LongStream&) = delete;
  LongStream& operator=(const LongStream&) = delete;

  enum class Result { kDone, kCorrupt, kNoMemory };
  // Makes entry (whose packed bytes are data[0, length)) the open stream, unless it is already.
  Result Open(const CatalogEntry& entry, const uint8_t* data, uint32_t length);
  bool IsOpen(const CatalogEntry& entry) const { return entry_ == &entry; }
  // Decodes the open stream until at least end bytes are final; kCorrupt once it fails.
  Result DecodeUntil(uint32_t end);
  uint32_t Ready() const;
  const uint8_t* Content() const { return content_; }
  void Close();

 private:
  const CatalogEntry* entry_;
  uint8_t* content_;
  LzmaDecoder* decoder_;
};
