#pragma once
#include <stdint.h>

#include "Catalog.h"
#include "WorkerThread.h"

class LzmaDecoder;

// The long-range streams of the package, each decoded into memory as far as requests have
// needed: the files of a component are slices of its streams, and serving one decodes its
// stream up to that file's end, so files at the front are written before the rest is decoded
// and a stream whose component is not installed is never decoded. A component larger than one
// stream has several, and its actions may read them in turns: each stream held resumes where it
// stopped, so none is decoded from its start again. Streams are held (content and dictionary
// alike) until one of another owner (component) is opened, room is needed, or Close.
//
// Each stream is decoded on a thread of its own, ahead of the reads, while the caller writes the
// files already decoded; the other streams of the same component can be started at once
// (Prefetch), so that a component cut into several streams is decoded on several cores. The bytes
// decoded never depend on the threads: a stream is decoded front to back by one decoder, and a
// reader sees only bytes the decoder has published as final.
class LongStream {
 public:
  LongStream() = default;
  ~LongStream() { Close(); }
  LongStream(const LongStream&) = delete;
  LongStream& operator=(const LongStream&) = delete;

  enum class Result { kDone, kCorrupt, kNoMemory };
  // Makes entry (whose packed bytes are data[0, length)) the current stream, resuming it when
  // it is held. A new one first lets go of the streams of another owner, of the longest unused
  // one when all places are taken, and of every other one when memory runs short.
  Result Open(const CatalogEntry& entry, const uint8_t* data, uint32_t length, uint32_t owner);
  // Whether streams started from now on are decoded on threads of their own (the default) or
  // only as far as each read needs, on the caller's thread.
  void DecodeAhead(bool on) { decodeAhead_ = on; }
  // Starts decoding entry beside the current stream when a place and memory are free; never lets
  // go of another stream for it.
  void Prefetch(const CatalogEntry& entry, const uint8_t* data, uint32_t length, uint32_t owner);
  bool IsCurrent(const CatalogEntry& entry) const { return current_ && current_->entry == &entry; }
  // Waits (or, without a thread, decodes) until at least end bytes of the current stream are
  // final; kCorrupt once it fails.
  Result DecodeUntil(uint32_t end);
  uint32_t Ready() const;
  const uint8_t* Content() const { return current_ ? current_->content : nullptr; }
  void Close();

  // Enough for the streams of one component that its actions read in turns; more are held
  // only while memory allows.
  static const int kPlaces = 4;

 private:
  struct Held {
    const CatalogEntry* entry = nullptr;
    uint8_t* content = nullptr;
    LzmaDecoder* decoder = nullptr;
    uint32_t owner = 0;
    uint32_t lastUse = 0;
    WorkerThread worker;
  };

  Held* Find(const CatalogEntry& entry) const;
  bool Start(Held& place, const CatalogEntry& entry, const uint8_t* data, uint32_t length);
  void Release(Held& place);
  static void DecodeOnThread(WorkerThread& worker, void* place);

  Held held_[kPlaces];
  Held* current_ = nullptr;
  uint32_t uses_ = 0;
  bool decodeAhead_ = true;
};
