#pragma once
#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <vector>

// Compresses bytes into one long-range stream that the installer's LzmaDecoder reads back:
// the LZMA properties byte, then raw LZMA data (liblzma) without an end marker, since the
// catalog records the content's size. The dictionary is 32 MiB, or the content's size rounded
// up to a power of two when that is smaller. progress, when given, is called with the number of
// input bytes consumed so far. Throws std::runtime_error when liblzma fails.
std::vector<uint8_t> EncodeLongStream(const uint8_t* data, size_t size,
                                      const std::function<void(size_t)>& progress = {});

// The same for content that lies in pieces (the files of a stream, where they already are),
// compressed as if they stood one after the other.
struct ContentPiece {
  const uint8_t* data;
  size_t size;
};
std::vector<uint8_t> EncodeLongStream(const std::vector<ContentPiece>& pieces,
                                      const std::function<void(size_t)>& progress = {});
