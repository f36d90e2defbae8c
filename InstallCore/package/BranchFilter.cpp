#include "BranchFilter.h"

#include <string.h>

namespace {
// Bytes after an opcode that belong to it.
const uint32_t kOperand = 4;

// Adds delta to the displacement at operand when it is a near one, keeping the sum near.
void Convert(uint8_t* operand, uint32_t delta) {
  uint8_t top = operand[3];
  if (top != 0x00 && top != 0xFF) return;
  uint32_t value = uint32_t(operand[0]) | uint32_t(operand[1]) << 8 | uint32_t(operand[2]) << 16 | uint32_t(top) << 24;
  value += delta;
  // Sign-extended from bit 24: the sum modulo 2^25, which the other direction undoes exactly.
  value = (value & 0x01FFFFFFu) | ((value & 0x01000000u) ? 0xFE000000u : 0);
  operand[0] = uint8_t(value);
  operand[1] = uint8_t(value >> 8);
  operand[2] = uint8_t(value >> 16);
  operand[3] = uint8_t(value >> 24);
}

// Converts every opcode of buffer[0, length) that has its whole operand there; base is the file
// position of buffer[0] and sign 1 encodes, -1 decodes. Returns the first position not looked at.
uint32_t Walk(uint8_t* buffer, uint32_t length, uint32_t base, uint32_t sign) {
  uint32_t i = 0;
  while (i < length && length - i > kOperand) {
    if ((buffer[i] & 0xFE) == 0xE8) {
      i += 1 + kOperand;
      Convert(buffer + i - kOperand, (base + i) * sign);
    } else {
      ++i;
    }
  }
  return i;
}
}  // namespace

void BranchFilter::EncodeX86(uint8_t* buffer, uint32_t length) { Walk(buffer, length, 0, 1); }

bool X86DecodingSink::Write(const uint8_t* data, uint32_t n) {
  while (n > 0) {
    uint32_t take = n < kCapacity - held_ ? n : kCapacity - held_;
    memcpy(buffer_ + held_, data, take);
    held_ += take;
    data += take;
    n -= take;
    uint32_t done = Walk(buffer_, held_, position_, 0u - 1u);
    if (!inner_.Write(buffer_, done)) return false;
    memmove(buffer_, buffer_ + done, held_ - done);
    held_ -= done;
    position_ += done;
  }
  return true;
}

bool X86DecodingSink::Finish() {
  uint32_t rest = held_;
  held_ = 0;
  return inner_.Write(buffer_, rest);
}
