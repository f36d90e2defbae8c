#pragma once
#include <stdint.h>

#include "ByteSink.h"

// Relative call and jump targets of x86 code (opcodes E8 and E9 followed by a 32-bit
// displacement) turned into absolute ones before compression, so that calls of one function
// from many places become the same bytes. Every E8 or E9 byte owns the four bytes after it,
// converted or not, so both directions always look at the same positions; a displacement is
// converted only when it lies within 16 MiB either way (top byte 00 or FF), and the converted
// value is kept in that same range, so the decoder recognises it again. Positions count from
// the first byte of the file.
namespace BranchFilter {
// The packer's direction, over a whole file.
void EncodeX86(uint8_t* buffer, uint32_t length);
}  // namespace BranchFilter

// Passes a file's bytes on to another sink with the conversion undone.
class X86DecodingSink final : public ByteSink {
 public:
  explicit X86DecodingSink(ByteSink& inner) : inner_(inner), held_(0), position_(0) {}
  bool Write(const uint8_t* data, uint32_t n) override;
  // Passes on the last few bytes, which are too close to the end to hold a displacement.
  bool Finish();

 private:
  static const uint32_t kCapacity = 16384;
  ByteSink& inner_;
  uint8_t buffer_[kCapacity];
  uint32_t held_;
  // The file position of buffer_[0].
  uint32_t position_;
};
