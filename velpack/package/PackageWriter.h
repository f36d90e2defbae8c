#pragma once
#include <stdint.h>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

enum class Storage {
  Stored,      // bytes as they are (flags 0)
  Compressed,  // block-compressed stream (flags 5)
  Best,        // compressed unless that does not make it smaller, then stored
  Solid,       // a slice of the solid block (flags 8)
  File,        // an installed file's content: Solid while small files fit the solid block's budget, else Best;
               // with long streams, a slice of its component's long-range stream
};

// Collects named entries and writes an installer: the stub's bytes, the data area, the
// catalog and the trailer. Output is deterministic for the same stub and entries, and is
// written to a temporary file that replaces the target only when complete.
class PackageWriter {
 public:
  // Small files share the solid block: one stream instead of one per file packs them tighter and
  // spares the installer a decoder set-up per file. The budget bounds what the installer decodes
  // into memory at start, before anything is shown.
  static constexpr size_t kSolidFileMax = size_t(64) << 10;
  static constexpr uint64_t kSolidFileBudget = uint64_t(32) << 20;

  // Adds an entry; false (with a message) for an empty or duplicate name or one longer than
  // a catalog record can hold.
  // Solid entries with a group (for files, their extension) follow the ungrouped ones in the
  // solid block, alike ones together: similar content side by side compresses better.
  bool Add(const std::string& name, std::vector<uint8_t> content, Storage storage, std::string* error,
           const std::string& group = std::string());
  // Puts every later File entry into a long-range stream of its component (the number before
  // the first backslash of its name), alike ones together by group, instead of the solid block
  // or a block-coded stream of its own. addressLimit, when not 0, is what the installer's
  // process can hold of the mapped installer and one decoded stream together.
  void UseLongStreams(uint64_t addressLimit) {
    longStreams_ = true;
    addressLimit_ = addressLimit;
  }
  // Marks the package's texts as UTF-8, which installers that would read them in the ANSI code
  // page refuse.
  void UseUnicode() { unicode_ = true; }
  bool Write(const std::string& stubPath, const std::string& outputPath, std::string* error,
             const std::function<void(const std::string&)>& progress = {});
  // The same with the stub's bytes given.
  bool Write(const std::vector<uint8_t>& stub, const std::string& outputPath, std::string* error,
             const std::function<void(const std::string&)>& progress = {});
  // Whether an entry of that name was added.
  bool Has(const std::string& name) const;

 private:
  struct Entry {
    std::string name;
    std::vector<uint8_t> content;
    Storage storage;
    std::string group;
    bool inLongStream;
  };
  // One catalog record and the bytes it puts into the data area.
  struct Placed {
    std::string name;
    const std::vector<uint8_t>* packed;  // null for entries in the solid block
    uint32_t offset;
    uint32_t size;
    uint32_t checksum;
    uint32_t flags;
    uint32_t reserved;
  };

  struct LongStreamLayout;
  // Where a long-stream entry's content lies.
  struct Slice {
    uint32_t stream = 0;
    uint32_t offset = 0;
  };
  // Cuts the long-stream entries (positions in order) into streams, one or more per component.
  void LayOutLongStreams(const std::vector<size_t>& order, std::vector<LongStreamLayout>* streams,
                         std::vector<Slice>* sliceOf) const;
  bool Assemble(const std::vector<uint8_t>& stub, const std::string& outputPath, std::string* error,
                const std::function<void(const std::string&)>& progress) const;

  std::vector<Entry> entries_;
  std::unordered_set<std::string> names_;
  uint64_t solidFileBytes_ = 0;  // file contents placed in the solid block so far
  bool longStreams_ = false;
  bool unicode_ = false;
  uint64_t addressLimit_ = 0;
};
