#pragma once
#include <stdint.h>

#include <vector>

#include "BlockModeler.h"
#include "RangeEncoder.h"

// Writes the coded form of a stream: the header, then every block as the intervals of its
// origin word and its block symbols, and the final flush. Blocks come either modelled already
// (WriteBlock) or symbol by symbol; it codes whatever it is given, so tests can also build
// streams that are wrong.
class BlockStreamWriter {
 public:
  explicit BlockStreamWriter(std::vector<uint8_t>* out, const char* header = "ResJ") : coder_(out) {
    out->insert(out->end(), header, header + 4);
  }

  void WriteBlock(const std::vector<uint32_t>& intervals) {
    for (uint32_t interval : intervals)
      coder_.Encode(BlockModeler::Total(interval), BlockModeler::Below(interval), BlockModeler::Frequency(interval));
  }

  // word is origin + 1, negated for the final block.
  void BeginBlock(int32_t word) {
    modeler_.BeginBlock(word, &pending_);
    Flush();
  }

  void WriteSymbol(uint32_t symbol) {
    modeler_.Symbol(symbol, &pending_);
    Flush();
  }

  void Finish() { coder_.Finish(); }

 private:
  void Flush() {
    WriteBlock(pending_);
    pending_.clear();
  }

  BlockModeler modeler_;
  std::vector<uint32_t> pending_;
  RangeEncoder coder_;
};
