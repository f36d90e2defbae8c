#include "PackageReader.h"

#include "BlockDecoder.h"
#include "BufferedFileWriter.h"
#include "Memory.h"
#include "PackageFormat.h"

using namespace PackageFormat;

namespace {
const char kSolidBlockKey[] = "~";

// Passes at most limit bytes on and tells whether exactly that many arrived.
class LimitedSink final : public ByteSink {
 public:
  LimitedSink(ByteSink& inner, uint32_t limit) : inner_(inner), remaining_(limit) {}
  bool Write(const uint8_t* data, uint32_t n) override {
    if (n > remaining_) return false;
    remaining_ -= n;
    return inner_.Write(data, n);
  }
  bool Full() const { return remaining_ == 0; }

 private:
  ByteSink& inner_;
  uint32_t remaining_;
};

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

PackageReader::PackageReader(const char* path)
    : failed_(true), dataBase_(nullptr), dataSize_(0), currentSource_(nullptr) {
  failed_ = !OpenPackage(path);
}

PackageReader::PackageReader(const uint8_t* image, uint32_t size)
    : failed_(true), dataBase_(nullptr), dataSize_(0), currentSource_(nullptr) {
  failed_ = !OpenImage(image, size);
}

PackageReader::~PackageReader() = default;

void PackageReader::OnProgress(const Text&, int) {}

bool PackageReader::OpenPackage(const char* path) {
  if (!file_.Open(path)) return false;
  if (OpenImage(file_.View(), file_.Size())) return true;
  file_.Close();
  return false;
}

bool PackageReader::OpenImage(const uint8_t* image, uint32_t size) {
  if (!image || size < kTrailerSize) return false;
  ByteSource trailer(image + size - kTrailerSize, kTrailerSize);
  uint32_t magic, dataSize, catalogOffset;
  trailer.ReadU32(&magic);
  trailer.ReadU32(&dataSize);
  trailer.ReadU32(&catalogOffset);
  uint8_t version = trailer.ReadByte();
  uint8_t flags = trailer.ReadByte();
  if (magic != kTrailerMagic || version != kVersion || !(flags & kFlagRequired)) return false;
  int64_t catalogStart = int64_t(size) + int32_t(catalogOffset);
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
  if (!Transfer(Text(), source.Current(), source.Remaining(), true, unpacked, sink)) return false;
  return catalog_.Load(reinterpret_cast<const uint8_t*>(records.Data()), unpacked, count);
}

bool PackageReader::ContentBytes(const CatalogEntry& entry, const uint8_t** data, uint32_t* length,
                                 bool* compressed) {
  if (entry.flags & kEntryInSolidBlock) {
    if (!LoadSolidBlock()) return false;
    uint32_t cached = solidCache_.Length();
    if (entry.offset > cached || entry.size > cached - entry.offset) return false;
    *data = reinterpret_cast<const uint8_t*>(solidCache_.Data()) + entry.offset;
    *length = entry.size;
    *compressed = false;
    return true;
  }
  *compressed = (entry.flags & kEntryCompressed) != 0;
  if (*compressed && !(entry.flags & kEntryBlockCoded)) return false;
  if (entry.offset > dataSize_ || entry.packedSize > dataSize_ - entry.offset) return false;
  if (!*compressed && entry.packedSize < entry.size) return false;
  *data = dataBase_ + entry.offset;
  *length = entry.packedSize;
  return true;
}

bool PackageReader::LoadSolidBlock() {
  if (!solidCache_.Empty()) return true;
  const CatalogEntry* block = FindEntry(kSolidBlockKey);
  // A solid block claiming to lie inside itself would recurse for ever.
  if (!block || (block->flags & kEntryInSolidBlock)) return false;
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  if (!ContentBytes(*block, &data, &length, &compressed)) return false;
  Text content;
  TextSink sink(content);
  if (!Transfer(Text(), data, length, compressed, block->size, sink)) return false;
  solidCache_ = content;
  return true;
}

bool PackageReader::Transfer(const Text& item, const uint8_t* data, uint32_t length, bool compressed, uint32_t size,
                             ByteSink& sink) {
  // Saved and restored: an OnProgress override may extract another entry meanwhile.
  Text outerItem = currentItem_;
  ByteSource* outerSource = currentSource_;
  ByteSource source(data, length);
  currentItem_ = item;
  currentSource_ = &source;
  LimitedSink limited(sink, size);
  bool ok;
  if (compressed) {
    ProgressRelay relay(*this);
    BlockDecoder decoder(&relay);
    ok = decoder.DecodeStream(source, limited);
  } else {
    ok = source.Skip(size) && limited.Write(data, size);
  }
  ok = ok && limited.Full();
  NotifyProgress(false);
  currentItem_ = outerItem;
  currentSource_ = outerSource;
  return ok;
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
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  if (!entry || entry->size == 0xFFFFFFFFu || !ContentBytes(*entry, &data, &length, &compressed)) return nullptr;
  uint8_t* buffer = static_cast<uint8_t*>(MemAlloc(size_t(entry->size) + 1));
  if (!buffer) return nullptr;
  MemorySink sink(buffer, entry->size);
  if (!Transfer(Text(), data, length, compressed, entry->size, sink)) {
    MemFree(buffer);
    return nullptr;
  }
  // Callers parse records as zero-terminated texts.
  buffer[entry->size] = 0;
  if (size) *size = entry->size;
  return buffer;
}

bool PackageReader::ExtractToFile(const char* name, const char* path, uint32_t* size, const FileStamp* stamp) {
  const CatalogEntry* entry = FindEntry(name);
  const uint8_t* data;
  uint32_t length;
  bool compressed;
  // Checked before the file is created, so an unreadable entry leaves an existing file alone.
  if (!entry || !ContentBytes(*entry, &data, &length, &compressed)) return false;
  if (size) *size = entry->size;
  BufferedFileWriter writer;
  if (!writer.Open(path)) return false;
  // An empty entry reports no progress, but its stream is checked as any other.
  Text item = entry->size ? Text(path) : Text();
  if (!Transfer(item, data, length, compressed, entry->size, writer) || !writer.Flush()) {
    writer.Discard();
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
