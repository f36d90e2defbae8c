#pragma once
#include <stdint.h>

#include "BlockModels.h"
#include "ByteSink.h"
#include "ByteSource.h"

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
  struct Chase;

  // Decodes the next block's symbols into symbols while taking the chase of the block before
  // it along, a step at a time.
  bool DecodeBlock(RangeDecoder& coder, uint8_t* symbols, Block* block, Chase* chase);
  bool DecodeSymbols(RangeDecoder& coder, uint8_t* symbols, Block* block, Chase* chase);
  uint32_t DecodeSymbol(RangeDecoder& coder, Chase* chase);
  // Fills the row tables of a decoded block and sets up the chase that reads its text off them.
  void IndexRows(const Block& block, const uint8_t* symbols, Chase* chase);
  // De-randomisation and run-length expansion of the text, staged in a free block buffer.
  bool WriteBlock(const Block& block, uint8_t* staging, ByteSink& sink);

  BlockProgress* progress_;
  BlockModels models_;
  // The symbol output of the block being decoded and of the one before it, by turns.
  uint8_t* symbols_[2];
  uint8_t* text_;
  // For every row of the sorted block: the row that follows it in the text (high 20 bits) and
  // the rank of its byte among the equal bytes of its segment of rows (low 12 bits); after the
  // rows, for every segment and byte value, the row that the first such byte of the segment
  // precedes.
  uint32_t* occurrences_;
  uint32_t byteCounts_[256];
};
