#pragma once
#include <stdint.h>

#include "ByteSink.h"
#include "ByteSource.h"
#include "Catalog.h"
#include "FileStamp.h"
#include "LongStream.h"
#include "MappedFile.h"
#include "Text.h"

// Maps the installer executable, finds the appended package through its trailer, indexes the
// catalog and hands out entries by name.
class PackageReader {
 public:
  // Opens the package appended to the file at path.
  explicit PackageReader(const char* path);
  // Opens a package image already in memory (the caller keeps it alive).
  PackageReader(const uint8_t* image, uint32_t size);
  virtual ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Progress of ExtractToFile: the destination path and 0..100.
  virtual void OnProgress(const Text& item, int percent);

  // False when the package could not be opened (its catalog is then empty).
  bool IsOpen() const { return !failed_; }
  uint32_t EntryCount() const { return catalog_.Count(); }
  // Record by position in stored order, or null past the end.
  const CatalogEntry* EntryAt(uint32_t index) const { return catalog_.At(index); }
  const CatalogEntry* FindEntry(const char* name) const { return catalog_.Find(name); }
  // New buffer from MemAlloc with the content and one zero byte after it, or null.
  uint8_t* ExtractToMemory(const char* name, uint32_t* size);
  // Writes the content to a new file at path (an entry in the solid block too). A file whose
  // content turns out bad is deleted again; an entry that fails its checks creates nothing.
  // A stamp, when given, sets the new file's times and attributes before it is closed, sparing
  // a second open of the file; a failure to stamp is not a failure of the extraction.
  bool ExtractToFile(const char* name, const char* path, uint32_t* size, const FileStamp* stamp = nullptr);
  // Exactly the content's bytes, zero bytes included; empty when missing or unreadable.
  Text ReadEntryString(const char* name);
  // In a package whose entries carry checksums: the first entry found damaged (its bad stream,
  // bounds or checksum), named by the file it was extracted to or else by its entry name;
  // empty while none was. Running out of memory or disk space is no damage.
  const Text& DamagedEntry() const { return damagedEntry_; }
  // Long-range streams are decoded ahead of the reads on threads of their own unless this turns
  // it off; then each read decodes as far as it needs, reporting progress as it goes.
  void DecodeAhead(bool on) { longStream_.DecodeAhead(on); }
  // Whether the package asks the installer to read its command line.
  bool ReadsCommandLine() const;
  // Every text of the package is UTF-8 (else in the ANSI code page).
  bool IsUnicode() const;

 private:
  class ProgressRelay;

  bool OpenPackage(const char* path);
  bool OpenImage(const uint8_t* image, uint32_t size);
  bool HasFlag(uint8_t flag) const { return (packageFlags_ & flag) != 0; }
  bool LoadCatalog(ByteSource& source);
  enum class Outcome { kDone, kDamaged, kRefused };
  // The bytes an entry's content is read from: its stream in the data area, or its slice of
  // the solid block or of a long-range stream (then never compressed). kDamaged when they lie
  // outside these or a long-range stream is corrupt; kRefused when a decoded content could not
  // be held in memory. Decoding a long-range stream reports progress under item.
  Outcome ContentBytes(const CatalogEntry& entry, const Text& item, const uint8_t** data, uint32_t* length,
                       bool* compressed);
  // An entry's bytes in its decoded long-range stream (see ContentBytes).
  Outcome LongStreamSlice(const CatalogEntry& entry, const Text& item, const uint8_t** data);
  // The record of the long-range stream that holds entry (entry itself when it is one), or null
  // when that record is not a sound stream within the data area.
  const CatalogEntry* StreamOf(const CatalogEntry& entry) const;
  // Starts decoding every stream that holds files of component, once per component.
  void PrefetchStreams(uint32_t component);
  Outcome LoadSolidBlock();
  // Feeds exactly size bytes of content to sink, reporting progress under item (none when it
  // is empty); kDamaged when the stream is bad, yields another size or, with a checksum given,
  // other bytes; kRefused when the sink refuses.
  Outcome Transfer(const Text& item, const uint8_t* data, uint32_t length, bool compressed, uint32_t size,
                   const uint32_t* checksum, ByteSink& sink);
  // The record's checksum when the package's entries carry them, else null.
  const uint32_t* ChecksumOf(const CatalogEntry& entry) const;
  // Remembers the first damaged entry of a package that can tell (see DamagedEntry).
  void NoteDamage(Outcome outcome, const Text& name);
  // OnProgress with the current item and the share of its source consumed (0 at the start of
  // a stream); nothing while no item is set.
  void NotifyProgress(bool streamStart);

  Catalog catalog_;
  bool failed_ = true;
  MappedFile file_;
  const uint8_t* dataBase_ = nullptr;
  uint32_t dataSize_ = 0;
  uint8_t packageFlags_ = 0;  // the trailer's
  // Set while a long-range stream is being decoded for a request.
  bool longStreamBusy_ = false;
  LongStream longStream_;
  uint32_t prefetchedComponent_ = 0xFFFFFFFFu;
  Text damagedEntry_;
  Text currentItem_;
  ByteSource* currentSource_ = nullptr;
  Text solidCache_;
};
