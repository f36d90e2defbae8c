#include "LzmaEncoder.h"

#include <lzma.h>

#include <algorithm>
#include <stdexcept>
#include <string>


namespace {
const uint32_t kMaxDictionary = 32u << 20;
const uint32_t kMinDictionary = 4096;
// lc 3, lp 0, pb 2, as the decoder's properties byte says it: lc + 9 * (lp + 5 * pb).
const uint8_t kProperties = 3 + 9 * (0 + 5 * 2);
const size_t kChunk = size_t(1) << 20;

uint32_t DictionaryFor(size_t size) {
  uint32_t dictionary = kMinDictionary;
  while (dictionary < size && dictionary < kMaxDictionary) dictionary <<= 1;
  return dictionary;
}

// Frees the coder on every way out.
struct Coder {
  lzma_stream stream = LZMA_STREAM_INIT;
  ~Coder() { lzma_end(&stream); }
};
}  // namespace

std::vector<uint8_t> EncodeLongStream(const uint8_t* data, size_t size,
                                      const std::function<void(size_t)>& progress) {
  return EncodeLongStream(std::vector<ContentPiece>{{data, size}}, progress);
}

std::vector<uint8_t> EncodeLongStream(const std::vector<ContentPiece>& pieces,
                                      const std::function<void(size_t)>& progress) {
  size_t size = 0;
  for (const ContentPiece& piece : pieces) size += piece.size;
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 9)) throw std::runtime_error("liblzma has no preset 9");
  options.dict_size = DictionaryFor(size);
  options.lc = 3;
  options.lp = 0;
  options.pb = 2;
  options.ext_flags = 0;
  options.ext_size_low = uint32_t(size);
  options.ext_size_high = uint32_t(uint64_t(size) >> 32);
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  Coder coder;
  lzma_ret ret = lzma_raw_encoder(&coder.stream, filters);
  if (ret != LZMA_OK) throw std::runtime_error("liblzma cannot start an encoder (error " + std::to_string(ret) + ")");

  std::vector<uint8_t> out{kProperties};
  size_t consumed = 0;
  size_t piece = 0;
  size_t inPiece = 0;
  lzma_action action = LZMA_RUN;
  do {
    if (coder.stream.avail_in == 0 && action == LZMA_RUN) {
      while (piece < pieces.size() && inPiece == pieces[piece].size) {
        ++piece;
        inPiece = 0;
      }
      size_t n = piece < pieces.size() ? std::min(kChunk, pieces[piece].size - inPiece) : 0;
      coder.stream.next_in = n ? pieces[piece].data + inPiece : nullptr;
      coder.stream.avail_in = n;
      inPiece += n;
      consumed += n;
      if (consumed == size) action = LZMA_FINISH;
    }
    size_t at = out.size();
    out.resize(at + kChunk);
    coder.stream.next_out = out.data() + at;
    coder.stream.avail_out = kChunk;
    ret = lzma_code(&coder.stream, action);
    out.resize(out.size() - coder.stream.avail_out);
    if (progress) progress(consumed - coder.stream.avail_in);
  } while (ret == LZMA_OK);
  if (ret != LZMA_STREAM_END) throw std::runtime_error("liblzma failed to compress (error " + std::to_string(ret) + ")");
  return out;
}
