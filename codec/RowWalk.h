#pragma once
#include <stdint.h>

// Reads a block's text off its sorted rows along many chains at once. Following one row to the
// next waits on memory at every step, so a single chain runs at the speed of memory latency;
// chains that start at rows spread over the block keep several such waits in flight.
//
// Every row's entry names the row of the next text position and that row's byte, and marks
// the entries that lead into a start row: the origin and every Stride()-th row. A chain runs
// from its start row to the next mark, writing its bytes in pieces of scratch memory; the
// marks tell which chain follows which, and the pieces are then put together in text order.
class RowWalk {
 public:
  static const uint32_t kRowShift = 9;
  static const uint32_t kMark = 1u << 8;
  static const uint32_t kMaxRows = 1u << (32 - kRowShift);
  static const uint32_t kLanes = 8;
  // Start rows besides the origin: enough that lanes rarely wait for the longest chain.
  static const uint32_t kStarts = 64;
  static const uint32_t kChunk = 4096;
  // Scratch beyond the block: each lane's last chunk may be partly used, and the scratch's end
  // short of a whole chunk is not used at all.
  static const uint32_t kSlack = (kLanes + 1) * kChunk;
  static const uint32_t kSegments = kStarts + 1;

  static uint32_t Entry(uint32_t nextRow, uint8_t byte, bool mark) {
    return nextRow << kRowShift | (mark ? kMark : 0) | byte;
  }
  // Rows 0, Stride(), 2 * Stride(), ... below length start chains, besides the origin.
  static uint32_t Stride(uint32_t length) { return (length + kStarts - 1) / kStarts; }

  // Enough for blocks of up to 900000 rows; a longer one may run out of pieces and be refused.
  static const uint32_t kMaxPieces = 320;

  // Writes the text of a block of length rows (1 .. kMaxRows) to text, using length + kSlack
  // bytes of scratch. False when the origin's cycle of rows does not take in every row (a
  // periodic block, or a corrupt one): the text must then be read off the rows another way.
  bool Read(const uint32_t* rows, uint32_t length, uint32_t origin, uint8_t* scratch, uint8_t* text);

 private:
  static const uint32_t kNone = 0xFFFFFFFFu;

  struct Piece {
    uint32_t offset;
    uint32_t length;
    uint32_t next;
  };
  // The text from just after a start row up to and including the next start row's byte.
  struct Segment {
    uint32_t start;
    uint32_t first;
    uint32_t last;
    uint32_t successor;
  };
  struct Lane {
    uint32_t row;
    uint32_t out;
    uint32_t end;
    uint32_t segment;
    uint32_t piece;
  };

  bool Walk(const uint32_t* rows, uint8_t* scratch);
  bool StartChunk(Lane* lane);
  bool OpenPiece(Lane* lane);
  void ClosePiece(const Lane& lane);
  bool Assemble(const uint8_t* scratch, uint32_t length, uint8_t* text) const;

  uint32_t limit_;
  uint32_t origin_;
  uint32_t stride_;
  uint32_t segmentCount_;
  uint32_t nextSegment_;
  uint32_t nextChunk_;
  uint32_t pieceCount_;
  Segment segments_[kSegments];
  // Index by start row / stride: the segment that row starts (kNone for the origin's stride row).
  uint32_t strideSegment_[kStarts];
  Piece pieces_[kMaxPieces];
};
