#include "ShellLinkReader.h"

#include <algorithm>

#include "TextEncoding.h"

namespace {

const uint32_t kHeaderSize = 0x4C;
const uint32_t kHasItemList = 0x1;
const uint32_t kHasLinkInfo = 0x2;
const uint32_t kIsUnicode = 0x80;
// The counted texts that follow, in the order they are stored, each present when its flag is set.
const uint32_t kHasName = 0x4, kHasRelativePath = 0x8, kHasWorkingFolder = 0x10, kHasArguments = 0x20,
               kHasIconLocation = 0x40;
const uint32_t kLocalBasePath = 0x1;  // location flag: the volume and local base path are given
const uint8_t kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool Has(size_t at, size_t size) const { return at <= bytes_.size() && size <= bytes_.size() - at; }
  uint32_t U16(size_t at) const { return Has(at, 2) ? bytes_[at] | uint32_t(bytes_[at + 1]) << 8 : 0; }
  uint32_t U32(size_t at) const { return U16(at) | U16(at + 2) << 16; }
  // A zero-terminated narrow text starting at `at` and ending before `end`.
  std::string Narrow(size_t at, size_t end) const {
    std::string text;
    for (; at < end && at < bytes_.size() && bytes_[at]; ++at)
      TextEncoding::AppendUtf8(TextEncoding::Windows1252CodePoint(bytes_[at]), &text);
    return text;
  }
  std::string Wide(size_t at, size_t end) const {
    size_t stop = at;
    while (stop + 1 < end && Has(stop, 2) && U16(stop)) stop += 2;
    return TextEncoding::Utf16LeToUtf8(bytes_.data() + at, stop - at);
  }

 private:
  const std::vector<uint8_t>& bytes_;
};

// The path an item list names: a drive item ("C:\") followed by file-system items, each of which
// holds its name after a type byte, a pad byte, its size, date, time and attributes.
std::string ItemListPath(const Reader& r, size_t at, size_t end) {
  std::string path;
  while (at + 2 <= end) {
    size_t size = r.U16(at);
    if (size < 3 || at + size > end) break;
    uint8_t type = uint8_t(r.U16(at + 2) & 0xFF);
    if ((type & 0x70) == 0x20) {
      path = r.Narrow(at + 3, at + size);
    } else if ((type & 0x70) == 0x30 && size > 14) {
      if (!path.empty() && path.back() != '\\') path += '\\';
      path += r.Narrow(at + 14, at + size);
    }
    at += size;
  }
  return path;
}

std::string LinkInfoPath(const Reader& r, size_t at, size_t end) {
  uint32_t headerSize = r.U32(at + 4);
  if (!(r.U32(at + 8) & kLocalBasePath)) return std::string();
  if (headerSize >= 0x24 && r.U32(at + 28))
    return r.Wide(at + r.U32(at + 28), end) + r.Wide(at + r.U32(at + 32), end);
  return r.Narrow(at + r.U32(at + 16), end) + r.Narrow(at + r.U32(at + 24), end);
}

}  // namespace

bool ReadShellLink(const std::vector<uint8_t>& bytes, ShellLink* link, std::string* error) {
  Reader r(bytes);
  if (!r.Has(0, kHeaderSize) || r.U32(0) != kHeaderSize ||
      !std::equal(kLinkClassId, kLinkClassId + 16, bytes.begin() + 4)) {
    *error = "not a shell link";
    return false;
  }
  uint32_t flags = r.U32(0x14);
  size_t at = kHeaderSize;
  std::string itemPath, infoPath;
  if (flags & kHasItemList) {
    size_t size = r.U16(at);
    if (!r.Has(at + 2, size)) {
      *error = "the item list runs past the end of the file";
      return false;
    }
    itemPath = ItemListPath(r, at + 2, at + 2 + size);
    at += 2 + size;
  }
  if (flags & kHasLinkInfo) {
    size_t size = r.U32(at);
    if (size < 28 || !r.Has(at, size)) {
      *error = "the location information runs past the end of the file";
      return false;
    }
    infoPath = LinkInfoPath(r, at, at + size);
    at += size;
  }
  std::string* texts[] = {&link->description, nullptr, &link->workingFolder, &link->arguments, nullptr};
  const uint32_t textFlags[] = {kHasName, kHasRelativePath, kHasWorkingFolder, kHasArguments, kHasIconLocation};
  std::string relativePath;
  texts[1] = &relativePath;
  size_t unit = (flags & kIsUnicode) ? 2 : 1;
  for (int i = 0; i < 5; ++i) {
    if (!(flags & textFlags[i])) continue;
    size_t count = r.U16(at);
    if (!r.Has(at + 2, count * unit)) {
      *error = "a text runs past the end of the file";
      return false;
    }
    if (texts[i]) *texts[i] = unit == 2 ? r.Wide(at + 2, at + 2 + count * 2) : r.Narrow(at + 2, at + 2 + count);
    at += 2 + count * unit;
  }
  link->target = !infoPath.empty() ? infoPath : !itemPath.empty() ? itemPath : relativePath;
  return true;
}
