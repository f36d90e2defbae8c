#include "RowWalk.h"

#include <string.h>

bool RowWalk::Read(const uint32_t* rows, uint32_t length, uint32_t origin, uint8_t* scratch, uint8_t* text) {
  limit_ = length + kSlack;
  origin_ = origin;
  stride_ = Stride(length);
  segments_[0] = {origin, kNone, kNone, kNone};
  segmentCount_ = 1;
  for (uint32_t j = 0, r = 0; r < length; ++j, r += stride_) {
    strideSegment_[j] = r == origin ? 0 : segmentCount_;
    if (r != origin) segments_[segmentCount_++] = {r, kNone, kNone, kNone};
  }
  return Walk(rows, scratch) && Assemble(scratch, length, text);
}

bool RowWalk::StartChunk(Lane* lane) {
  if (limit_ - nextChunk_ < kChunk) return false;
  lane->out = nextChunk_;
  lane->end = nextChunk_ + kChunk;
  nextChunk_ += kChunk;
  return true;
}

bool RowWalk::OpenPiece(Lane* lane) {
  if (lane->out == lane->end && !StartChunk(lane)) return false;
  if (pieceCount_ == kMaxPieces) return false;
  Segment& segment = segments_[lane->segment];
  pieces_[pieceCount_] = {lane->out, 0, kNone};
  if (segment.first == kNone) {
    segment.first = pieceCount_;
  } else {
    pieces_[segment.last].next = pieceCount_;
  }
  segment.last = pieceCount_;
  lane->piece = pieceCount_++;
  return true;
}

void RowWalk::ClosePiece(const Lane& lane) { pieces_[lane.piece].length = lane.out - pieces_[lane.piece].offset; }

// Every chain writes one byte of scratch per step and scratch runs out after limit_ bytes, so a
// chain caught in a cycle without marks ends too.
bool RowWalk::Walk(const uint32_t* rows, uint8_t* scratch) {
  nextSegment_ = 0;
  nextChunk_ = 0;
  pieceCount_ = 0;
  Lane lanes[kLanes];
  uint32_t active = 0;
  while (active < kLanes && nextSegment_ < segmentCount_) {
    Lane& lane = lanes[active++];
    lane.segment = nextSegment_;
    lane.row = segments_[nextSegment_++].start;
    if (!StartChunk(&lane) || !OpenPiece(&lane)) return false;
  }
  while (active > 0) {
    for (uint32_t k = 0; k < active;) {
      Lane& lane = lanes[k];
      uint32_t entry = rows[lane.row];
      scratch[lane.out++] = static_cast<uint8_t>(entry);
      lane.row = entry >> kRowShift;
      if (__builtin_expect(!(entry & kMark) && lane.out != lane.end, 1)) {
        ++k;
        continue;
      }
      ClosePiece(lane);
      if (!(entry & kMark)) {
        if (!StartChunk(&lane) || !OpenPiece(&lane)) return false;
        ++k;
        continue;
      }
      segments_[lane.segment].successor = lane.row == origin_ ? 0 : strideSegment_[lane.row / stride_];
      if (nextSegment_ < segmentCount_) {
        lane.segment = nextSegment_;
        lane.row = segments_[nextSegment_++].start;
        if (!OpenPiece(&lane)) return false;
        ++k;
      } else {
        // The lane is done; the last active one takes its place and steps next.
        lane = lanes[--active];
      }
    }
  }
  return true;
}

// The segments in text order, from the origin's round to it again; every row must be on the way.
// Checked before anything is copied: the caller may still need text's bytes when it fails.
bool RowWalk::Assemble(const uint8_t* scratch, uint32_t length, uint8_t* text) const {
  uint32_t total = 0;
  uint32_t segment = 0;
  uint32_t visited = 0;
  do {
    if (++visited > segmentCount_) return false;
    for (uint32_t p = segments_[segment].first; p != kNone; p = pieces_[p].next) total += pieces_[p].length;
    segment = segments_[segment].successor;
  } while (segment != 0);
  if (total != length) return false;
  do {
    for (uint32_t p = segments_[segment].first; p != kNone; p = pieces_[p].next) {
      memcpy(text, scratch + pieces_[p].offset, pieces_[p].length);
      text += pieces_[p].length;
    }
    segment = segments_[segment].successor;
  } while (segment != 0);
  return true;
}
