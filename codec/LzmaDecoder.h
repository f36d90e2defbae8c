#pragma once
#include <stdint.h>

// Decodes one long-range stream into a buffer that holds its whole content, which is also the
// dictionary: matches may reach back to its first byte, so the decoder keeps no window of its
// own and its memory is the output buffer plus the fixed probability tables below.
//
// The stream: the LZMA properties byte (lc + 9 * (lp + 5 * pb), with lc + lp <= 4), then raw
// LZMA data. Its content's size comes from the catalog; anything after the last byte (an end
// marker, padding) is not read.
//
// Decoding can stop at any output position and go on later, so the reader can serve the files
// at the front of a stream before the rest is decoded.
class LzmaDecoder {
 public:
  static const uint32_t kHeaderSize = 1;

  // Reads the stream's header; output must hold size bytes. Check Failed() before decoding.
  LzmaDecoder(const uint8_t* stream, uint32_t length, uint8_t* output, uint32_t size);
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  // Decodes until at least target bytes of final content exist (target is clamped to the
  // size). False once the stream is found corrupt: a distance before the first byte, a match
  // past the end, too few input bytes; it stays failed.
  bool DecodeUntil(uint32_t target);
  bool Failed() const { return failed_; }
  // Bytes at the front of the output decoded so far.
  uint32_t Ready() const { return decoded_; }
  // Input bytes consumed so far.
  uint32_t Consumed() const { return uint32_t(in_ - stream_); }

 private:
  static const int kStates = 12;
  static const int kPosStatesMax = 16;
  static const int kLenLowBits = 3;
  static const int kLenMidBits = 3;
  static const int kLenHighBits = 8;
  static const int kLiteralCoderSize = 0x300;
  static const int kMaxLcPlusLp = 4;

  struct LengthModel {
    uint16_t choice;
    uint16_t choice2;
    uint16_t low[kPosStatesMax][1 << kLenLowBits];
    uint16_t mid[kPosStatesMax][1 << kLenMidBits];
    uint16_t high[1 << kLenHighBits];
  };

  bool ReadHeader();

  const uint8_t* stream_;
  const uint8_t* in_;
  const uint8_t* inEnd_;
  uint8_t* out_;
  uint32_t size_;
  uint32_t decoded_;
  bool failed_;

  uint32_t lc_, lpMask_, pbMask_;
  uint32_t range_, code_;
  uint32_t state_;
  uint32_t reps_[4];
  // Bytes of a match not yet copied because the requested end came first.
  uint32_t pendingLength_;

  uint16_t isMatch_[kStates][kPosStatesMax];
  uint16_t isRep_[kStates];
  uint16_t isRepG0_[kStates];
  uint16_t isRepG1_[kStates];
  uint16_t isRepG2_[kStates];
  uint16_t isRep0Long_[kStates][kPosStatesMax];
  uint16_t posSlot_[4][64];
  uint16_t posSpecial_[115];
  uint16_t align_[16];
  LengthModel matchLength_;
  LengthModel repLength_;
  uint16_t literals_[kLiteralCoderSize << kMaxLcPlusLp];
};
