#include "PackageWriter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

#include "BlockEncoder.h"
#include "Crc32.h"
#include "FileBytes.h"
#include "LzmaEncoder.h"
#include "PackageFormat.h"
#include "Catalog.h"
#include "CertificateTable.h"
#include "TempFile.h"

using namespace PackageFormat;

namespace {
const uint32_t kFlagsStored = 0;
const uint32_t kFlagsCompressed = kEntryCompressed | kEntryBlockCoded;
const uint32_t kFlagsSolid = kEntryInSolidBlock;
const uint32_t kFlagsLongStream = kEntryCompressed | kEntryLzmaCoded;
const uint32_t kFlagsLongSlice = kEntryInLongStream;
const std::string kSolidBlockName("~\0solid0", 8);
const size_t kMaxNameLength = 32767;
// The reader refuses a size whose copy plus terminator would not fit 32 bits.
const uint64_t kMaxContentSize = 0xFFFFFFFEu;
const uint64_t kMaxFileSize = 0xFFFFFFFFu;
const size_t kProgressMinimum = size_t(8) << 20;
// A component with this much file data or more is cut into (at least) two streams of about
// equal size, so that an installer decodes it on two cores and velpack compresses it on two.
// The cut depends on the files alone, never on the machine, so builds stay reproducible.
const uint64_t kTwoStreamMinimum = uint64_t(16) << 20;

using Progress = std::function<void(const std::string&)>;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

std::string DisplayName(const std::string& name) {
  if (name == kSolidBlockName) return "the solid block";
  if (name.size() > 1 && name[0] == '~') return "long-range stream " + name.substr(1);
  return name;
}

// What to compress: one content, or a long-range stream's files where they lie.
struct Job {
  const std::string* name;
  std::vector<ContentPiece> input;
  size_t size;
  bool longRange;
};

Job ContentJob(const std::string& name, const std::vector<uint8_t>& content) {
  return Job{&name, {{content.data(), content.size()}}, content.size(), false};
}

// The component a file entry ("3\\12.f") belongs to.
std::string ComponentOf(const std::string& name) { return name.substr(0, name.find('\\')); }



// Compresses every job on two threads, larger ones first; each result lands at its job's
// index, so the output does not depend on which thread finished first.
std::vector<std::vector<uint8_t>> CompressAll(const std::vector<Job>& jobs, const Progress& progress) {
  std::vector<size_t> order(jobs.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return jobs[a].size > jobs[b].size; });
  std::vector<std::vector<uint8_t>> results(jobs.size());
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::exception_ptr failure;
  auto work = [&] {
    for (size_t k; (k = next++) < order.size();) {
      const Job& job = jobs[order[k]];
      size_t total = job.size;
      // About ten reports per input, the last at its end.
      size_t step = std::max(total / 10, size_t(1) << 20);
      size_t next = step;
      std::function<void(size_t)> tick;
      if (progress && total >= kProgressMinimum) {
        tick = [&](size_t done) {
          if (done < next && done < total) return;
          next = done + step;
          std::lock_guard<std::mutex> lock(mutex);
          progress("compressing " + DisplayName(*job.name) + " (" + std::to_string(done >> 20) + "/" +
                   std::to_string(total >> 20) + " MB)");
        };
      }
      try {
        results[order[k]] = job.longRange ? EncodeLongStream(job.input, tick)
                                          : EncodeStream(job.input[0].data, total, tick);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::thread helper;
  if (jobs.size() > 1) helper = std::thread(work);
  work();
  if (helper.joinable()) helper.join();
  if (failure) std::rethrow_exception(failure);
  return results;
}

}  // namespace

// One long-range stream being laid out: its entries' contents in stream order, where they lie (a
// copy would double velpack's memory on a large payload).
struct PackageWriter::LongStreamLayout {
  std::string name;
  std::vector<ContentPiece> pieces;
  uint64_t size = 0;
  uint32_t checksum = 0;
};

bool PackageWriter::Add(const std::string& name, std::vector<uint8_t> content, Storage storage, std::string* error,
                        const std::string& group) {
  if (name.empty()) {
    *error = "an entry name must not be empty";
  } else if (name.find('\0') != std::string::npos) {
    *error = "entry name contains a zero byte: " + name.substr(0, name.find('\0'));
  } else if (name.size() > kMaxNameLength) {
    *error = "entry name longer than " + std::to_string(kMaxNameLength) + " bytes: " + name.substr(0, 60) + "...";
  } else if (name == "~") {
    *error = "entry name ~ is reserved for the solid block";
  } else if (name.size() > 1 && name[0] == '~' && name.find_first_not_of("0123456789", 1) == std::string::npos) {
    *error = "entry name " + name + " is reserved for a long-range stream";
  } else if (Has(name)) {
    *error = "duplicate entry " + name;
  } else if (content.size() > kMaxContentSize) {
    *error = "entry " + name + " is 4 GB or larger";
  } else {
    // A file larger than a whole stream keeps a block-coded stream of its own.
    bool inLongStream = storage == Storage::File && longStreams_ && content.size() <= kMaxLongStream;
    if (storage == Storage::File && !inLongStream) {
      bool small = content.size() <= kSolidFileMax && solidFileBytes_ + content.size() <= kSolidFileBudget;
      if (small) solidFileBytes_ += content.size();
      storage = small ? Storage::Solid : Storage::Best;
    }
    names_.insert(name);
    entries_.push_back(Entry{name, std::move(content), storage, group, inLongStream});
    return true;
  }
  return false;
}

bool PackageWriter::Has(const std::string& name) const { return names_.count(name) != 0; }

bool PackageWriter::Write(const std::string& stubPath, const std::string& outputPath, std::string* error,
                          const Progress& progress) {
  std::vector<uint8_t> stub;
  return ReadFileBytes(stubPath, &stub, error) && Write(stub, outputPath, error, progress);
}

bool PackageWriter::Write(const std::vector<uint8_t>& stub, const std::string& outputPath, std::string* error,
                          const Progress& progress) {
  try {
    return Assemble(stub, outputPath, error, progress);
  } catch (const std::exception& e) {
    *error = "cannot build " + outputPath + ": " + e.what();
    return false;
  }
}

bool PackageWriter::Assemble(const std::vector<uint8_t>& stub, const std::string& outputPath, std::string* error,
                             const Progress& progress) const {
  // The solid block's layout: ungrouped entries in the order added, then each group in
  // byte order of its key, entries within it in the order added.
  std::vector<size_t> solidOrder;
  std::vector<Job> jobs;
  std::vector<size_t> jobOf(entries_.size());
  std::vector<size_t> longOrder;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (entry.inLongStream) {
      longOrder.push_back(i);
    } else if (entry.storage == Storage::Solid) {
      solidOrder.push_back(i);
    } else if (entry.storage != Storage::Stored) {
      jobOf[i] = jobs.size();
      jobs.push_back(ContentJob(entry.name, entry.content));
    }
  }
  std::stable_sort(solidOrder.begin(), solidOrder.end(), [&](size_t a, size_t b) {
    const std::string& ga = entries_[a].group;
    const std::string& gb = entries_[b].group;
    return ga.empty() != gb.empty() ? ga.empty() : ga < gb;
  });
  std::vector<uint8_t> solid;
  std::vector<uint32_t> solidOffsetOf(entries_.size());
  for (size_t i : solidOrder) {
    const Entry& entry = entries_[i];
    if (entry.content.size() > kMaxContentSize - solid.size()) {
      *error = "the solid block would be 4 GB or larger";
      return false;
    }
    solidOffsetOf[i] = uint32_t(solid.size());
    solid.insert(solid.end(), entry.content.begin(), entry.content.end());
  }
  std::vector<LongStreamLayout> streams;
  std::vector<Slice> sliceOf(entries_.size());
  LayOutLongStreams(longOrder, &streams, &sliceOf);
  for (const LongStreamLayout& stream : streams) jobs.push_back(Job{&stream.name, stream.pieces, stream.size, true});
  const bool hasSolid = !solidOrder.empty();
  if (hasSolid) jobs.push_back(ContentJob(kSolidBlockName, solid));
  std::vector<std::vector<uint8_t>> packed = CompressAll(jobs, progress);

  std::vector<Placed> placed;
  uint64_t dataSize = 0;
  // bytes null: a slice of the solid block at solidOffset.
  auto placeSized = [&](const std::string& name, uint64_t size, uint32_t checksum, const std::vector<uint8_t>* bytes,
                        uint32_t flags, uint32_t solidOffset = 0, uint32_t reserved = 0) {
    Placed record{name, bytes, solidOffset, uint32_t(size), checksum, flags, reserved};
    if (bytes) {
      record.offset = uint32_t(dataSize);
      dataSize += bytes->size();
    }
    placed.push_back(record);
  };
  auto place = [&](const std::string& name, const std::vector<uint8_t>& content, const std::vector<uint8_t>* bytes,
                   uint32_t flags, uint32_t solidOffset = 0, uint32_t reserved = 0) {
    placeSized(name, content.size(), Crc32(content.data(), content.size()), bytes, flags, solidOffset, reserved);
  };
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    const std::vector<uint8_t>* compressed = entry.storage == Storage::Compressed || entry.storage == Storage::Best
                                                 ? &packed[jobOf[i]]
                                                 : nullptr;
    if (entry.inLongStream) {
      // The streams' records follow one for each entry.
      const Slice& slice = sliceOf[i];
      place(entry.name, entry.content, nullptr, kFlagsLongSlice, slice.offset, uint32_t(entries_.size() + slice.stream));
    } else if (entry.storage == Storage::Solid) {
      place(entry.name, entry.content, nullptr, kFlagsSolid, solidOffsetOf[i]);
    } else if (compressed && (entry.storage == Storage::Compressed || compressed->size() < entry.content.size())) {
      place(entry.name, entry.content, compressed, kFlagsCompressed);
    } else {
      place(entry.name, entry.content, &entry.content, kFlagsStored);
    }
  }
  size_t firstStreamJob = jobs.size() - streams.size() - (hasSolid ? 1 : 0);
  for (size_t k = 0; k < streams.size(); ++k)
    placeSized(streams[k].name, streams[k].size, streams[k].checksum, &packed[firstStreamJob + k], kFlagsLongStream);
  if (hasSolid) place(kSolidBlockName, solid, &packed.back(), kFlagsCompressed);

  std::vector<uint8_t> records;
  for (const Placed& record : placed) {
    records.push_back(uint8_t(record.name.size()));
    records.push_back(uint8_t(record.name.size() >> 8));
    records.insert(records.end(), record.name.begin(), record.name.end());
    PutU32(records, record.offset);
    PutU32(records, record.packed ? uint32_t(record.packed->size()) : 0);
    PutU32(records, record.size);
    PutU32(records, record.checksum);
    PutU32(records, record.reserved);
    PutU32(records, record.flags);
  }
  if (records.size() > kMaxRecordStream) {
    *error = "too many entries: the catalog would exceed " + std::to_string(kMaxRecordStream >> 20) +
             " MB";
    return false;
  }
  std::vector<uint8_t> catalog;
  PutU32(catalog, kCatalogMagic);
  PutU32(catalog, uint32_t(records.size()));
  PutU32(catalog, uint32_t(placed.size()));
  std::vector<uint8_t> stream = EncodeStream(records.data(), records.size());
  catalog.insert(catalog.end(), stream.begin(), stream.end());

  std::vector<uint8_t> trailer;
  // Zeros behind the stub make the installer's size a multiple of the certificate table's
  // boundary, so a signer appends the signature right behind the trailer, where the installer
  // looks for it; the trailer measures from the end and does not see them.
  uint64_t unpadded = stub.size() + dataSize + catalog.size() + kTrailerSize;
  const std::vector<uint8_t> padding((kCertificateTableAlignment - unpadded % kCertificateTableAlignment) %
                                     kCertificateTableAlignment);
  uint64_t fileSize = unpadded + padding.size();
  if (dataSize > kMaxFileSize || fileSize > kMaxFileSize) {
    *error = outputPath + " would be 4 GB or larger";
    return false;
  }
  uint64_t largestStream = 0;
  for (const LongStreamLayout& stream : streams) largestStream = std::max<uint64_t>(largestStream, stream.size);
  if (addressLimit_ && !streams.empty() && fileSize + largestStream > addressLimit_) {
    *error = outputPath + " (" + std::to_string(fileSize >> 20) + " MB) and its largest stream decoded (" +
             std::to_string(largestStream >> 20) + " MB) would not fit the installer's address space of " +
             std::to_string(addressLimit_ >> 20) + " MB";
    return false;
  }
  PutU32(trailer, kTrailerMagic);
  PutU32(trailer, uint32_t(dataSize));
  PutU32(trailer, uint32_t(-int64_t(catalog.size() + kTrailerSize)));
  trailer.push_back(kVersion);
  trailer.push_back(unicode_ ? kFlagsWrittenUnicode : streams.empty() ? kFlagsWritten : kFlagsWrittenLong);
  trailer.push_back(0);
  trailer.push_back(0);

  TempFile file(outputPath);
  file.Write(stub.data(), stub.size());
  file.Write(padding.data(), padding.size());
  for (const Placed& record : placed) {
    if (record.packed) file.Write(record.packed->data(), record.packed->size());
  }
  file.Write(catalog.data(), catalog.size());
  file.Write(trailer.data(), trailer.size());
  if (file.Commit()) return true;
  *error = file.Error();
  return false;
}


void PackageWriter::LayOutLongStreams(const std::vector<size_t>& order, std::vector<LongStreamLayout>* streams,
                                      std::vector<Slice>* sliceOf) const {
  // Components in the order they first appear, then alike files together.
  std::vector<std::string> components;
  for (size_t i : order) {
    std::string component = ComponentOf(entries_[i].name);
    if (std::find(components.begin(), components.end(), component) == components.end())
      components.push_back(component);
  }
  std::vector<size_t> sorted(order);
  std::stable_sort(sorted.begin(), sorted.end(), [&](size_t a, size_t b) {
    auto ca = std::find(components.begin(), components.end(), ComponentOf(entries_[a].name));
    auto cb = std::find(components.begin(), components.end(), ComponentOf(entries_[b].name));
    return ca != cb ? ca < cb : entries_[a].group < entries_[b].group;
  });
  std::map<std::string, uint64_t> componentSize;
  for (size_t i : sorted) componentSize[ComponentOf(entries_[i].name)] += entries_[i].content.size();
  std::string current;
  uint64_t laidOut = 0;
  uint64_t streamsWanted = 1;
  uint64_t streamsMade = 0;
  for (size_t i : sorted) {
    const Entry& entry = entries_[i];
    std::string component = ComponentOf(entry.name);
    uint64_t size = entry.content.size();
    uint64_t total = componentSize[component];
    bool fresh = streams->empty() || component != current;
    if (fresh) {
      streamsWanted = std::max<uint64_t>(total >= kTwoStreamMinimum ? 2 : 1, (total + kMaxLongStream - 1) / kMaxLongStream);
      streamsMade = 0;
      laidOut = 0;
    }
    // A file whose middle passes the next cut point begins the next stream.
    bool cut = !fresh && streamsMade < streamsWanted && (laidOut + size / 2) * streamsWanted >= total * streamsMade;
    if (fresh || cut || size > kMaxLongStream - streams->back().size) {
      streams->push_back(LongStreamLayout{"~" + std::to_string(streams->size()), {}});
      current = component;
      ++streamsMade;
    }
    laidOut += size;
    LongStreamLayout& stream = streams->back();
    Slice& slice = (*sliceOf)[i];
    slice.stream = uint32_t(streams->size() - 1);
    slice.offset = uint32_t(stream.size);
    stream.pieces.push_back(ContentPiece{entry.content.data(), entry.content.size()});
    stream.checksum = Crc32(entry.content.data(), entry.content.size(), stream.checksum);
    stream.size += size;
  }
}
