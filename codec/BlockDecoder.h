#pragma once
#include <stdint.h>

#include "BlockModels.h"
#include "ByteSink.h"
#include "ByteSource.h"
#include "RowWalk.h"

class RangeDecoder;

// Told before each block of a stream is decoded.
class BlockProgress {
 public:
  virtual void OnBlockStart() = 0;

 protected:
  ~BlockProgress() = default;
};

// Decodes one compressed stream (header "BZ0"+'1'..'9' or "Res"+'B'..'J', then the coded
// blocks) into a sink. The block buffers are allocated at construction for that one stream.
class BlockDecoder {
 public:
  static const uint32_t kBlockCapacity = 900000;

  explicit BlockDecoder(BlockProgress* progress = nullptr);
  ~BlockDecoder();
  BlockDecoder(const BlockDecoder&) = delete;
  BlockDecoder& operator=(const BlockDecoder&) = delete;

  // False when the header check fails, when the block buffers could not be allocated, when the
  // stream is corrupt (a field outside its bounds) or when the sink refuses output.
  bool DecodeStream(ByteSource& source, ByteSink& sink);

 private:
  struct Block {
    uint32_t length;
    uint32_t origin;
    bool final;
  };

  bool DecodeBlock(RangeDecoder& coder, Block* block);
  bool DecodeSymbols(RangeDecoder& coder, Block* block);
  uint32_t DecodeSymbol(RangeDecoder& coder);
  // next[c]: the first row of the sorted block whose byte is c.
  void FirstRows(uint32_t next[256]) const;
  // Reads the text of the decoded block off its rows; returns the buffer that holds it.
  uint8_t* ReadText(const Block& block);
  // The text the slow way, one row after the other: for blocks whose rows form several cycles.
  void ReadTextInOneChain(const Block& block);
  // De-randomisation and run-length expansion of the text, staged in the other block buffer.
  bool WriteBlock(const Block& block, uint8_t* text, ByteSink& sink);

  BlockProgress* progress_;
  BlockModels models_;
  RowWalk walk_;
  // The symbol output of the block; once its rows are indexed, the text or the staged output.
  uint8_t* symbols_;
  // The walk's scratch, then the text or the staged output: kBlockCapacity + RowWalk::kSlack bytes.
  uint8_t* text_;
  // For every row of the sorted block, its RowWalk entry.
  uint32_t* rows_;
  uint32_t byteCounts_[256];
};
