#pragma once
#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <vector>

// Compresses bytes into one stream that the installer's BlockDecoder reads back exactly:
// header "ResJ", blocks of up to 900000 bytes of block text.
// progress, when given, is called with the number of input bytes consumed so far.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size,
                                  const std::function<void(size_t)>& progress = {});
