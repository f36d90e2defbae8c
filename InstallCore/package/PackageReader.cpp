#include "PackageReader.h"

#include "BlockDecoder.h"
#include "BufferedFileWriter.h"
#include "CertificateTable.h"
#include "Crc32.h"
#include "LzmaDecoder.h"
#include "Memory.h"
#include "PackageFormat.h"
#ifdef _WIN32
#include "WideText.h"
#endif

using namespace PackageFormat;

namespace {
const char kSolidBlockKey[] = "~";
// How much of a long-range stream is decoded between two progress reports.
const uint32_t kLongStreamStep = 1u << 20;

// Passes at most limit bytes on, tells whether exactly that many arrived and whether the inner
// sink refused any, and keeps their CRC-32 when asked to.
class LimitedSink final : public ByteSink {
 public:
  LimitedSink(ByteSink& inner, uint32_t limit, bool checksum)
      : inner_(inner), remaining_(limit), checksum_(checksum), crc_(0), refused_(false) {}
  bool Write(const uint8_t* data, uint32_t n) override {
    if (n > remaining_) return false;
    remaining_ -= n;
    if (checksum_) crc_ = Crc32(data, n, crc_);
    if (inner_.Write(data, n)) return true;
    refused_ = true;
    return false;
  }
  bool Full() const { return remaining_ == 0; }
  uint32_t Crc() const { return crc_; }
  bool Refused() const { return refused_; }

 private:
  ByteSink& inner_;
  uint32_t remaining_;
  bool checksum_;
  uint32_t crc_;
  bool refused_;
};

// The component whose files a slice serves: the number before the first backslash of its
// name ("3\\12.f"); every other name is one owner of its own.
uint32_t ComponentOf(const CatalogEntry& entry) {
  uint32_t component = 0;
  for (uint32_t i = 0; i < entry.nameLength; ++i) {
    char c = entry.name[i];
    if (c == '\\' && i > 0) return component;
    if (c < '0' || c > '9' || component > 0xFFFFFFFu) break;
    component = component * 10 + uint32_t(c - '0');
  }
  return 0xFFFFFFFFu;
}

struct Trailer {
  uint32_t dataSize;
  uint32_t catalogOffset;
  uint8_t flags;
};

// The trailer in the last bytes of image[0, size); false when there is none of this format.
bool ReadTrailer(const uint8_t* image, uint32_t size, Trailer* trailer) {
  if (size < kTrailerSize) return false;
  ByteSource source(image + size - kTrailerSize, kTrailerSize);
  uint32_t magic;
  source.ReadU32(&magic);
  source.ReadU32(&trailer->dataSize);
  source.ReadU32(&trailer->catalogOffset);
  uint8_t version = source.ReadByte();
  trailer->flags = source.ReadByte();
  return magic == kTrailerMagic && version == kVersion && (trailer->flags & (kFlagRequired | kFlagLongStreams | kFlagUnicode));
}

// Grows a text as bytes arrive, so a claimed size is only paid for once the bytes exist.
class TextSink final : public ByteSink {
 public:
  explicit TextSink(Text& text) : text_(text) {}
  bool Write(const uint8_t* data, uint32_t n) override { return text_.Append(reinterpret_cast<const char*>(data), n); }

 private:
  Text& text_;
};
}  // namespace

// The stream's header is consumed before its first block starts; that block still reports 0,
// so a small entry's bar does not open part-way.
class PackageReader::ProgressRelay final : public BlockProgress {
 public:
  explicit ProgressRelay(PackageReader& reader) : reader_(reader), started_(false) {}
  void OnBlockStart() override {
    reader_.NotifyProgress(!started_);
    started_ = true;
  }

 private:
  PackageReader& reader_;
  bool started_;
};

PackageReader::PackageReader(const char* path) { failed_ = !OpenPackage(path); }

PackageReader::PackageReader(const uint8_t* image, uint32_t size) { failed_ = !OpenImage(image, size); }

bool PackageReader::ReadsCommandLine() const { return HasFlag(kFlagReadsCommandLine); }

bool PackageReader::IsUnicode() const { return HasFlag(kFlagUnicode); }

PackageReader::~PackageReader() = default;

void PackageReader::OnProgress(const Text&, int) {}

bool PackageReader::OpenPackage(const char* path) {
  if (!file_.Open(path)) return false;
  if (OpenImage(file_.View(), file_.Size())) return true;
  file_.Close();
  return false;
}

bool PackageReader::OpenImage(const uint8_t* image, uint32_t size) {
  if (!image) return false;
  // A signed installer ends with its signature: the package then ends where that begins, and
  // everything from there on is measured as if the file ended there.
  Trailer trailer;
  uint32_t signature;
  if (!ReadTrailer(image, size, &trailer)) {
    if (!FindCertificateTable(image, size, &signature) || !ReadTrailer(image, signature, &trailer)) return false;
    size = signature;
  }
  packageFlags_ = trailer.flags;
#ifdef _WIN32
  WideText::UseUtf8(IsUnicode());
#endif
  uint32_t dataSize = trailer.dataSize;
  int64_t catalogStart = int64_t(size) + int32_t(trailer.catalogOffset);
  if (catalogStart < 0 || catalogStart > int64_t(size - kTrailerSize) || dataSize > catalogStart) return false;
  dataBase_ = image + catalogStart - dataSize;
  dataSize_ = dataSize;
  ByteSource catalog(image + catalogStart, uint32_t(size - kTrailerSize - catalogStart));
  return LoadCatalog(catalog);
}

bool PackageReader::LoadCatalog(ByteSource& source) {
  uint32_t magic, unpacked, count;
  if (!source.ReadU32(&magic) || magic != kCatalogMagic || !source.ReadU32(&unpacked) || !source.ReadU32(&count))
    return false;
  if (unpacked > kMaxRecordStream || count > unpacked / Catalog::kMinRecordSize) return false;
  Text records;
  TextSink sink(records);
  if (Transfer(Text(), source.Current(), source.Remaining(), true, unpacked, nullptr, sink) != Outcome::kDone)
    return false;
  return catalog_.Load(reinterpret_cast<const uint8_t*>(records.Data()), unpacked, count);
}

PackageReader::Outcome PackageReader::ContentBytes(const CatalogEntry& entry, const Text& item,
                                                   const uint8_t** data, uint32_t* length, bool* compressed) {
  if (HasFlag(kFlagLongStreams | kFlagUnicode) && (entry.flags & (kEntryLzmaCoded | kEntryInLongStream))) {
    *compressed = false;
    *length = entry.size;
    return LongStreamSlice(entry, item, data);
  }
  if (entry.flags & kEntryInSolidBlock) {
    Outcome solid = LoadSolidBlock();
    if (solid != Outcome::kDone) return solid;
    uint32_t cached = solidCache_.Length();
    if (entry.offset > cached || entry.size > cached - entry.offset) return Outcome::kDamaged;
    *data = reinterpret_cast<const uint8_t*>(solidCache_.Data()) + entry.offset;
    *length = entry.size;
    *compressed = false;
    return Outcome::kDone;
  }
  *compressed = (entry.flags & kEntryCompressed) != 0;
  if (*compressed && !(entry.flags & kEntryBlockCoded)) return Outcome::kDamaged;
  if (entry.offset > dataSize_ || entry.packedSize > dataSize_ - entry.offset) return Outcome::kDamaged;
  if (!*compressed && entry.packedSize < entry.size) return Outcome::kDamaged;
  *data = dataBase_ + entry.offset;
  *length = entry.packedSize;
  return Outcome::kDone;
}

const CatalogEntry* PackageReader::StreamOf(const CatalogEntry& entry) const {
  // A stream read as an entry of its own is its whole content.
  const CatalogEntry* stream = (entry.flags & kEntryInLongStream) ? EntryAt(entry.reserved) : &entry;
  const uint32_t kStreamFlags = kEntryCompressed | kEntryLzmaCoded;
  if (!stream || stream->flags != kStreamFlags) return nullptr;
  if (stream->offset > dataSize_ || stream->packedSize > dataSize_ - stream->offset) return nullptr;
  // The packer never writes a larger stream: a larger size is a damaged record, not a stream
  // too large for this machine's memory.
  return stream->size > kMaxLongStream ? nullptr : stream;
}

void PackageReader::PrefetchStreams(uint32_t component) {
  if (component == prefetchedComponent_) return;
  prefetchedComponent_ = component;
  for (uint32_t i = 0; i < catalog_.Count(); ++i) {
    const CatalogEntry& entry = *EntryAt(i);
    if (!(entry.flags & kEntryInLongStream) || ComponentOf(entry) != component) continue;
    const CatalogEntry* stream = StreamOf(entry);
    if (stream) longStream_.Prefetch(*stream, dataBase_ + stream->offset, stream->packedSize, component);
  }
}

PackageReader::Outcome PackageReader::LongStreamSlice(const CatalogEntry& entry, const Text& item,
                                                      const uint8_t** data) {
  const CatalogEntry* stream = StreamOf(entry);
  uint32_t offset = (entry.flags & kEntryInLongStream) ? entry.offset : 0;
  if (!stream || offset > stream->size || entry.size > stream->size - offset) return Outcome::kDamaged;
  // A progress report may serve another entry meanwhile; it must not switch streams under it.
  if (longStreamBusy_ && !longStream_.IsCurrent(*stream)) return Outcome::kRefused;
  uint32_t component = ComponentOf(entry);
  LongStream::Result result = longStream_.Open(*stream, dataBase_ + stream->offset, stream->packedSize, component);
  // The component's other streams are decoded beside this one, each on a core of its own.
  if (result == LongStream::Result::kDone) PrefetchStreams(component);
  uint32_t end = offset + entry.size;
  bool outer = !longStreamBusy_;
  longStreamBusy_ = true;
  while (result == LongStream::Result::kDone && longStream_.Ready() < end) {
    uint32_t ready = longStream_.Ready();
    if (!item.Empty()) OnProgress(item, ready <= offset ? 0 : int(uint64_t(ready - offset) * 100 / entry.size));
    result = longStream_.DecodeUntil(end - ready > kLongStreamStep ? ready + kLongStreamStep : end);
  }
  if (outer) longStreamBusy_ = false;
  if (result == LongStream::Result::kNoMemory) return Outcome::kRefused;
  if (result != LongStream::Result::kDone) return Outcome::kDamaged;
  *data = longStream_.Content() + offset;
  return Outcome::kDone;
}

PackageReader::Outcome PackageReader::LoadSolidBlock() {
  if (!solidCache_.Empty()) return Outcome::kDone;
  const CatalogEntry* block = FindEntry(kSolidBlockKey);
  // A solid block claiming to lie inside itself would recurse for ever.
  if (!block || (block->flags & kEntryInSolidBlock)) return Outcome::kDamaged;
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  Outcome outcome = ContentBytes(*block, Text(), &data, &length, &compressed);
  if (outcome != Outcome::kDone) return outcome;
  Text content;
  TextSink sink(content);
  outcome = Transfer(Text(), data, length, compressed, block->size, ChecksumOf(*block), sink);
  if (outcome == Outcome::kDone) solidCache_ = content;
  return outcome;
}

PackageReader::Outcome PackageReader::Transfer(const Text& item, const uint8_t* data, uint32_t length,
                                               bool compressed, uint32_t size, const uint32_t* checksum,
                                               ByteSink& sink) {
  // Saved and restored: an OnProgress override may extract another entry meanwhile.
  Text outerItem = currentItem_;
  ByteSource* outerSource = currentSource_;
  ByteSource source(data, length);
  currentItem_ = item;
  currentSource_ = &source;
  LimitedSink limited(sink, size, checksum != nullptr);
  bool ok;
  if (compressed) {
    ProgressRelay relay(*this);
    BlockDecoder decoder(&relay);
    ok = decoder.DecodeStream(source, limited);
  } else {
    ok = source.Skip(size) && limited.Write(data, size);
  }
  ok = ok && limited.Full() && (!checksum || limited.Crc() == *checksum);
  NotifyProgress(false);
  currentItem_ = outerItem;
  currentSource_ = outerSource;
  if (limited.Refused()) return Outcome::kRefused;
  return ok ? Outcome::kDone : Outcome::kDamaged;
}

const uint32_t* PackageReader::ChecksumOf(const CatalogEntry& entry) const {
  return HasFlag(kFlagEntryChecksums) ? &entry.checksum : nullptr;
}

void PackageReader::NoteDamage(Outcome outcome, const Text& name) {
  if (HasFlag(kFlagEntryChecksums) && outcome == Outcome::kDamaged && damagedEntry_.Empty()) damagedEntry_ = name;
}

void PackageReader::NotifyProgress(bool streamStart) {
  if (currentItem_.Empty()) return;
  uint32_t percent = 0;
  if (!streamStart && currentSource_ && currentSource_->Length() > 0) {
    uint32_t position = currentSource_->Position();
    uint32_t length = currentSource_->Length();
    percent = length <= 100000 ? position * 100 / length : position / (length / 100);
    if (percent > 100) percent = 100;
  }
  OnProgress(currentItem_, int(percent));
}

uint8_t* PackageReader::ExtractToMemory(const char* name, uint32_t* size) {
  const CatalogEntry* entry = FindEntry(name);
  if (!entry) return nullptr;
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  // The packer never records a size whose copy and terminator would not fit 32 bits.
  Outcome outcome =
      entry->size == 0xFFFFFFFFu ? Outcome::kDamaged : ContentBytes(*entry, Text(), &data, &length, &compressed);
  if (outcome == Outcome::kDone) {
    uint8_t* buffer = static_cast<uint8_t*>(MemAlloc(size_t(entry->size) + 1));
    if (!buffer) return nullptr;
    MemorySink sink(buffer, entry->size);
    outcome = Transfer(Text(), data, length, compressed, entry->size, ChecksumOf(*entry), sink);
    if (outcome == Outcome::kDone) {
      // Callers parse records as zero-terminated texts.
      buffer[entry->size] = 0;
      if (size) *size = entry->size;
      return buffer;
    }
    MemFree(buffer);
  }
  NoteDamage(outcome, Text(name));
  return nullptr;
}

bool PackageReader::ExtractToFile(const char* name, const char* path, uint32_t* size, const FileStamp* stamp) {
  const CatalogEntry* entry = FindEntry(name);
  if (!entry) return false;
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  // Checked before the file is created, so an unreadable entry leaves an existing file alone.
  // An empty entry reports no progress, but its stream is checked as any other.
  Text item = entry->size ? Text(path) : Text();
  Outcome outcome = ContentBytes(*entry, item, &data, &length, &compressed);
  if (outcome != Outcome::kDone) {
    NoteDamage(outcome, Text(path));
    return false;
  }
  if (size) *size = entry->size;
  BufferedFileWriter writer;
  if (!writer.Open(path)) return false;
  outcome = Transfer(item, data, length, compressed, entry->size, ChecksumOf(*entry), writer);
  if (outcome == Outcome::kDone && !writer.Flush()) outcome = Outcome::kRefused;
  if (outcome != Outcome::kDone) {
    writer.Discard();
    NoteDamage(outcome, Text(path));
    return false;
  }
  if (stamp) writer.Stamp(*stamp);
  return writer.Close();
}

Text PackageReader::ReadEntryString(const char* name) {
  uint32_t size = 0;
  uint8_t* content = ExtractToMemory(name, &size);
  if (!content) return Text();
  Text text(reinterpret_cast<const char*>(content), size);
  MemFree(content);
  return text;
}
