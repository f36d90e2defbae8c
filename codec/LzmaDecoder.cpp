#include "LzmaDecoder.h"

namespace {
const uint32_t kTopValue = 1u << 24;
const int kProbBits = 11;
const uint16_t kProbInit = 1 << (kProbBits - 1);
const int kMoveBits = 5;
const uint32_t kMatchMinLength = 2;
const uint32_t kEndPosModelIndex = 14;
const uint32_t kAlignBits = 4;
// The first state after which a literal is coded against the byte at the last distance.
const uint32_t kFirstMatchState = 7;

void ResetProbs(uint16_t* probs, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) probs[i] = kProbInit;
}

// The range decoder's registers, kept in locals while a stretch of output is decoded. Input
// past the stream's end reads as zero and marks the stream as overrun, which fails it.
struct RangeCoder {
  uint32_t range;
  uint32_t code;
  const uint8_t* in;
  const uint8_t* inEnd;
  bool overrun;

  void Normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code <<= 8;
      if (in < inEnd)
        code |= *in++;
      else
        overrun = true;
    }
  }

  uint32_t Bit(uint16_t* prob) {
    uint32_t bound = (range >> kProbBits) * *prob;
    uint32_t bit;
    if (code < bound) {
      range = bound;
      *prob = uint16_t(*prob + (((1u << kProbBits) - *prob) >> kMoveBits));
      bit = 0;
    } else {
      range -= bound;
      code -= bound;
      *prob = uint16_t(*prob - (*prob >> kMoveBits));
      bit = 1;
    }
    Normalize();
    return bit;
  }

  // A symbol of bits bits, most significant first, through a tree of 1 << bits probabilities.
  uint32_t Tree(uint16_t* probs, int bits) {
    uint32_t m = 1;
    for (int i = 0; i < bits; ++i) m = (m << 1) | Bit(&probs[m]);
    return m - (1u << bits);
  }

  // The same with the least significant bit first.
  uint32_t ReverseTree(uint16_t* probs, int bits) {
    uint32_t m = 1, symbol = 0;
    for (int i = 0; i < bits; ++i) {
      uint32_t bit = Bit(&probs[m]);
      m = (m << 1) | bit;
      symbol |= bit << i;
    }
    return symbol;
  }

  uint32_t Direct(int bits) {
    uint32_t result = 0;
    for (int i = 0; i < bits; ++i) {
      range >>= 1;
      uint32_t bit = code >= range ? 1 : 0;
      code -= range & (0u - bit);
      result = (result << 1) | bit;
      Normalize();
    }
    return result;
  }
};

template <typename Model>
uint32_t DecodeLength(RangeCoder& rc, Model& model, uint32_t posState) {
  if (rc.Bit(&model.choice) == 0) return rc.Tree(model.low[posState], 3);
  if (rc.Bit(&model.choice2) == 0) return 8 + rc.Tree(model.mid[posState], 3);
  return 16 + rc.Tree(model.high, 8);
}
}  // namespace

LzmaDecoder::LzmaDecoder(const uint8_t* stream, uint32_t length, uint8_t* output, uint32_t size)
    : stream_(stream),
      in_(stream),
      inEnd_(stream + length),
      out_(output),
      size_(size),
      decoded_(0),
      failed_(false),
      lc_(0),
      lpMask_(0),
      pbMask_(0),
      range_(0),
      code_(0),
      state_(0),
      reps_{0, 0, 0, 0},
      pendingLength_(0) {
  failed_ = !ReadHeader();
}

bool LzmaDecoder::ReadHeader() {
  if (inEnd_ - in_ < long(kHeaderSize) + 5) return false;
  uint32_t properties = in_[0];
  if (properties >= 9 * 5 * 5) return false;
  lc_ = properties % 9;
  uint32_t lp = properties / 9 % 5;
  uint32_t pb = properties / 45;
  if (lc_ + lp > kMaxLcPlusLp) return false;
  lpMask_ = (1u << lp) - 1;
  pbMask_ = (1u << pb) - 1;
  in_ += kHeaderSize;
  // The range coder's first byte is always zero; its next four are the initial code.
  if (*in_++ != 0) return false;
  for (int i = 0; i < 4; ++i) code_ = code_ << 8 | *in_++;
  range_ = 0xFFFFFFFFu;
  if (code_ == range_) return false;

  ResetProbs(&isMatch_[0][0], sizeof isMatch_ / 2);
  ResetProbs(isRep_, kStates);
  ResetProbs(isRepG0_, kStates);
  ResetProbs(isRepG1_, kStates);
  ResetProbs(isRepG2_, kStates);
  ResetProbs(&isRep0Long_[0][0], sizeof isRep0Long_ / 2);
  ResetProbs(&posSlot_[0][0], sizeof posSlot_ / 2);
  ResetProbs(posSpecial_, sizeof posSpecial_ / 2);
  ResetProbs(align_, sizeof align_ / 2);
  ResetProbs(&matchLength_.choice, sizeof matchLength_ / 2);
  ResetProbs(&repLength_.choice, sizeof repLength_ / 2);
  ResetProbs(literals_, kLiteralCoderSize << (lc_ + lp));
  return true;
}

bool LzmaDecoder::DecodeUntil(uint32_t end) {
  if (failed_) return false;
  if (end > size_) end = size_;
  RangeCoder rc{range_, code_, in_, inEnd_, false};
  uint8_t* out = out_;
  uint32_t pos = decoded_;
  uint32_t state = state_;
  uint32_t rep0 = reps_[0], rep1 = reps_[1], rep2 = reps_[2], rep3 = reps_[3];
  bool ok = true;

  // The rest of a match cut short by the previous request's end.
  while (pendingLength_ > 0 && pos < end) {
    out[pos] = out[pos - rep0 - 1];
    ++pos;
    --pendingLength_;
  }

  while (pos < end) {
    uint32_t posState = pos & pbMask_;
    if (rc.Bit(&isMatch_[state][posState]) == 0) {
      uint32_t previous = pos > 0 ? out[pos - 1] : 0;
      uint16_t* probs = &literals_[kLiteralCoderSize * (((pos & lpMask_) << lc_) + (previous >> (8 - lc_)))];
      uint32_t symbol = 1;
      if (state >= kFirstMatchState) {
        // rep0 < pos holds here: every match and short repeat checked it.
        uint32_t matchByte = out[pos - rep0 - 1];
        do {
          uint32_t matchBit = (matchByte >> 7) & 1;
          matchByte <<= 1;
          uint32_t bit = rc.Bit(&probs[((1 + matchBit) << 8) + symbol]);
          symbol = (symbol << 1) | bit;
          if (matchBit != bit) break;
        } while (symbol < 0x100);
      }
      while (symbol < 0x100) symbol = (symbol << 1) | rc.Bit(&probs[symbol]);
      out[pos++] = uint8_t(symbol);
      state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
      continue;
    }
    uint32_t length;
    if (rc.Bit(&isRep_[state]) != 0) {
      if (pos == 0) {
        ok = false;
        break;
      }
      if (rc.Bit(&isRepG0_[state]) == 0) {
        if (rc.Bit(&isRep0Long_[state][posState]) == 0) {
          state = state < kFirstMatchState ? 9 : 11;
          out[pos] = out[pos - rep0 - 1];
          ++pos;
          continue;
        }
      } else {
        uint32_t distance;
        if (rc.Bit(&isRepG1_[state]) == 0) {
          distance = rep1;
        } else {
          if (rc.Bit(&isRepG2_[state]) == 0) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
      length = DecodeLength(rc, repLength_, posState);
      state = state < kFirstMatchState ? 8 : 11;
    } else {
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      length = DecodeLength(rc, matchLength_, posState);
      state = state < kFirstMatchState ? 7 : 10;
      uint32_t lengthState = length < 3 ? length : 3;
      uint32_t slot = rc.Tree(posSlot_[lengthState], 6);
      if (slot < 4) {
        rep0 = slot;
      } else {
        uint32_t directBits = (slot >> 1) - 1;
        rep0 = (2 | (slot & 1)) << directBits;
        if (slot < kEndPosModelIndex) {
          rep0 += rc.ReverseTree(&posSpecial_[rep0 - slot], int(directBits));
        } else {
          rep0 += rc.Direct(int(directBits - kAlignBits)) << kAlignBits;
          rep0 += rc.ReverseTree(align_, int(kAlignBits));
        }
      }
      // The end marker (distance 0xFFFFFFFF) too: the content's size is known, so a marker
      // before its last byte is corruption.
      if (rep0 >= pos) {
        ok = false;
        break;
      }
    }
    length += kMatchMinLength;
    if (length > size_ - pos) {
      ok = false;
      break;
    }
    uint32_t run = length < end - pos ? length : end - pos;
    pendingLength_ = length - run;
    const uint8_t* from = out + pos - rep0 - 1;
    uint8_t* to = out + pos;
    pos += run;
    // Byte by byte: a match may overlap the bytes it produces.
    for (uint32_t i = 0; i < run; ++i) to[i] = from[i];
  }

  range_ = rc.range;
  code_ = rc.code;
  in_ = rc.in;
  state_ = state;
  reps_[0] = rep0;
  reps_[1] = rep1;
  reps_[2] = rep2;
  reps_[3] = rep3;
  decoded_ = pos;
  failed_ = !ok || rc.overrun;
  return !failed_;
}
