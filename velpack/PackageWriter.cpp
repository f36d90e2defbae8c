#include "PackageWriter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <numeric>
#include <thread>

#include "BlockEncoder.h"
#include "Crc32.h"
#include "FileBytes.h"
#include "PackageFormat.h"
#include "Catalog.h"
#include "CertificateTable.h"
#include "TempFile.h"

using namespace PackageFormat;

namespace {
const uint32_t kFlagsStored = 0;
const uint32_t kFlagsCompressed = kEntryCompressed | kEntryBlockCoded;
const uint32_t kFlagsSolid = kEntryInSolidBlock;
const std::string kSolidBlockName("~\0solid0", 8);
const size_t kMaxNameLength = 32767;
// The reader refuses a size whose copy plus terminator would not fit 32 bits.
const uint64_t kMaxContentSize = 0xFFFFFFFEu;
const uint64_t kMaxFileSize = 0xFFFFFFFFu;
const size_t kProgressMinimum = size_t(8) << 20;

using Progress = std::function<void(const std::string&)>;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

std::string DisplayName(const std::string& name) { return name == kSolidBlockName ? "the solid block" : name; }

struct Job {
  const std::string* name;
  const std::vector<uint8_t>* input;
};

// Compresses every job on two threads, larger ones first; each result lands at its job's
// index, so the output does not depend on which thread finished first.
std::vector<std::vector<uint8_t>> CompressAll(const std::vector<Job>& jobs, const Progress& progress) {
  std::vector<size_t> order(jobs.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return jobs[a].input->size() > jobs[b].input->size(); });
  std::vector<std::vector<uint8_t>> results(jobs.size());
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::exception_ptr failure;
  auto work = [&] {
    for (size_t k; (k = next++) < order.size();) {
      const Job& job = jobs[order[k]];
      size_t total = job.input->size();
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
        results[order[k]] = EncodeStream(job.input->data(), total, tick);
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
  } else if (Has(name)) {
    *error = "duplicate entry " + name;
  } else if (content.size() > kMaxContentSize) {
    *error = "entry " + name + " is 4 GB or larger";
  } else {
    if (storage == Storage::File) {
      bool small = content.size() <= kSolidFileMax && solidFileBytes_ + content.size() <= kSolidFileBudget;
      if (small) solidFileBytes_ += content.size();
      storage = small ? Storage::Solid : Storage::Best;
    }
    names_.insert(name);
    entries_.push_back(Entry{name, std::move(content), storage, group});
    return true;
  }
  return false;
}

bool PackageWriter::Has(const std::string& name) const { return names_.count(name) != 0; }

bool PackageWriter::Write(const std::string& stubPath, const std::string& outputPath, std::string* error,
                          const Progress& progress) {
  std::vector<uint8_t> stub;
  if (!ReadFileBytes(stubPath, &stub, error)) return false;
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
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (entry.storage == Storage::Solid) {
      solidOrder.push_back(i);
    } else if (entry.storage != Storage::Stored) {
      jobOf[i] = jobs.size();
      jobs.push_back(Job{&entry.name, &entry.content});
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
  const bool hasSolid = !solidOrder.empty();
  if (hasSolid) jobs.push_back(Job{&kSolidBlockName, &solid});
  std::vector<std::vector<uint8_t>> packed = CompressAll(jobs, progress);

  std::vector<Placed> placed;
  uint64_t dataSize = 0;
  // bytes null: a slice of the solid block at solidOffset.
  auto place = [&](const std::string& name, const std::vector<uint8_t>& content, const std::vector<uint8_t>* bytes,
                   uint32_t flags, uint32_t solidOffset = 0) {
    Placed record{name, bytes, solidOffset, uint32_t(content.size()), Crc32(content.data(), content.size()), flags};
    if (bytes) {
      record.offset = uint32_t(dataSize);
      dataSize += bytes->size();
    }
    placed.push_back(record);
  };
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    const std::vector<uint8_t>* compressed = entry.storage == Storage::Compressed || entry.storage == Storage::Best
                                                 ? &packed[jobOf[i]]
                                                 : nullptr;
    if (entry.storage == Storage::Solid) {
      place(entry.name, entry.content, nullptr, kFlagsSolid, solidOffsetOf[i]);
    } else if (compressed && (entry.storage == Storage::Compressed || compressed->size() < entry.content.size())) {
      place(entry.name, entry.content, compressed, kFlagsCompressed);
    } else {
      place(entry.name, entry.content, &entry.content, kFlagsStored);
    }
  }
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
    PutU32(records, 0);
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
  PutU32(trailer, kTrailerMagic);
  PutU32(trailer, uint32_t(dataSize));
  PutU32(trailer, uint32_t(-int64_t(catalog.size() + kTrailerSize)));
  trailer.push_back(kVersion);
  trailer.push_back(kFlagsWritten);
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
