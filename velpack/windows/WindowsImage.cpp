#include "WindowsImage.h"

#include <algorithm>

namespace {

const uint16_t kMachineI386 = 0x014C;
const uint16_t kMachineAmd64 = 0x8664;
const size_t kNewHeaderOffsetField = 0x3C;
const char kAdministratorLevel[] = "level=\"requireAdministrator\"";
// Blanks between attributes keep the manifest's XML valid and its resource's size unchanged.
const char kInvokerLevel[] = "level=\"asInvoker\"           ";
static_assert(sizeof(kAdministratorLevel) == sizeof(kInvokerLevel), "the level is replaced in place");

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b[at + i];
  return value;
}

}  // namespace

const char* ArchitectureName(Architecture architecture) {
  return architecture == Architecture::kX64 ? "x64" : "x86";
}

uint64_t LongStreamAddressLimit(Architecture architecture) {
  return architecture == Architecture::kX86 ? 1932797806 : 0;
}

bool ParseArchitecture(const std::string& word, Architecture* architecture) {
  if (word != "x86" && word != "x64") return false;
  *architecture = word == "x64" ? Architecture::kX64 : Architecture::kX86;
  return true;
}

bool ImageArchitecture(const std::vector<uint8_t>& image, Architecture* architecture, std::string* problem) {
  if (image.size() < kNewHeaderOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') {
    *problem = "not a Windows program (no MZ header)";
    return false;
  }
  uint64_t pe = Le(image, kNewHeaderOffsetField, 4);
  if (pe + 6 > image.size() || Le(image, pe, 4) != 0x00004550) {
    *problem = "not a Windows program (no PE header)";
    return false;
  }
  switch (Le(image, pe + 4, 2)) {
    case kMachineI386:
      *architecture = Architecture::kX86;
      return true;
    case kMachineAmd64:
      *architecture = Architecture::kX64;
      return true;
    default:
      *problem = "a Windows program for neither x86 nor x64";
      return false;
  }
}

bool RequestInvokerRights(std::vector<uint8_t>* image, std::string* problem) {
  const std::string wanted(kAdministratorLevel);
  auto begin = image->begin(), end = image->end();
  auto found = std::search(begin, end, wanted.begin(), wanted.end());
  if (found == end || std::search(found + 1, end, wanted.begin(), wanted.end()) != end) {
    *problem = "its manifest does not ask for administrator rights in exactly one place";
    return false;
  }
  std::copy(kInvokerLevel, kInvokerLevel + wanted.size(), found);
  return true;
}
