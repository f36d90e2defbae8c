// Opens a package image from the fuzzer's bytes and reads every entry in every way.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include "Memory.h"
#include "PackageReader.h"

namespace {
// Bigger entries cost time without reaching other code; their allocation is the same path.
const uint32_t kMaxExtractSize = 1u << 20;
const int kFileExtractions = 3;

char g_outputPath[] = "/tmp/package-fuzzer-XXXXXX";

void RemoveOutput() { unlink(g_outputPath); }

// A file of this process's own: a failed extraction deletes its destination.
const char* OutputPath() {
  static bool created = [] {
    int fd = mkstemp(g_outputPath);
    if (fd < 0) abort();
    close(fd);
    atexit(RemoveOutput);
    return true;
  }();
  return created ? g_outputPath : nullptr;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  PackageReader reader(data, uint32_t(size));
  if (!reader.IsOpen() && reader.EntryCount() != 0) abort();
  int toFile = 0;
  for (uint32_t i = 0; i < reader.EntryCount(); ++i) {
    const char* name = reader.EntryAt(i)->name;
    // Names may repeat; the one found is the one served.
    const CatalogEntry* entry = reader.FindEntry(name);
    if (!entry) abort();
    if (entry->size > kMaxExtractSize) continue;
    uint32_t extracted = 0;
    uint8_t* content = reader.ExtractToMemory(name, &extracted);
    bool readable = content != nullptr;
    if (readable && (extracted != entry->size || content[extracted] != 0)) abort();
    MemFree(content);
    if (readable && reader.ReadEntryString(name).Length() != entry->size) abort();
    if (toFile < kFileExtractions) {
      ++toFile;
      if (reader.ExtractToFile(name, OutputPath(), nullptr) != readable) abort();
    }
  }
  return 0;
}
