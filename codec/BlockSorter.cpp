#include "BlockSorter.h"

#include <divsufsort.h>
#include <string.h>

#include <stdexcept>

// Suffix sorting orders rotations correctly only for a Lyndon word (a text smaller than each of
// its proper rotations): there, a suffix that is a prefix of another one continues, as a
// rotation, with the whole word, and so sorts first just as the shorter suffix does. So the
// block is turned to its least rotation, which is a Lyndon word or a power u^m of one; for a
// power, u's rows are sorted and each is repeated m times, as its equal rotations would be.

namespace {
// Start of the lexicographically least rotation: two candidates are compared over their common
// prefix and the loser skips past it. Neither ever skips a least rotation, so the comparison runs
// the full length exactly when the text is a power and both have reached one (*periodic).
uint32_t LeastRotation(const uint8_t* s, uint32_t n, bool* periodic) {
  uint32_t i = 0, j = 1, k = 0;
  while (i < n && j < n && k < n) {
    uint32_t a = i + k < n ? i + k : i + k - n;
    uint32_t b = j + k < n ? j + k : j + k - n;
    if (s[a] == s[b]) {
      ++k;
      continue;
    }
    if (s[a] > s[b])
      i += k + 1;
    else
      j += k + 1;
    if (i == j) ++j;
    k = 0;
  }
  *periodic = k >= n;
  return i < j ? i : j;
}

// Shortest p dividing n with s = (s[0..p))^(n/p); failure function of s in border.
uint32_t Root(const uint8_t* s, uint32_t n, int32_t* border) {
  border[0] = 0;
  int32_t k = 0;
  for (uint32_t i = 1; i < n; ++i) {
    while (k > 0 && s[i] != s[k]) k = border[k - 1];
    if (s[i] == s[k]) ++k;
    border[i] = k;
  }
  uint32_t period = n - static_cast<uint32_t>(border[n - 1]);
  return n % period == 0 ? period : n;
}
}  // namespace

uint32_t BlockSorter::Transform(const uint8_t* text, uint32_t length, uint8_t* out) {
  if (length < 2) {
    memcpy(out, text, length);
    return 0;
  }
  bool periodic;
  uint32_t start = LeastRotation(text, length, &periodic);
  rotated_.resize(length);
  memcpy(rotated_.data(), text + start, length - start);
  memcpy(rotated_.data() + length - start, text, start);
  suffixes_.resize(length);
  uint32_t root = periodic ? Root(rotated_.data(), length, suffixes_.data()) : length;
  if (divsufsort(rotated_.data(), suffixes_.data(), static_cast<int32_t>(root)) != 0)
    throw std::runtime_error("suffix sorting failed");

  const uint32_t repeats = length / root;
  // The block itself is the rotation of the turned block that starts at length - start.
  const uint32_t home = (length - start) % length % root;
  uint32_t origin = 0;
  for (uint32_t row = 0; row < root; ++row) {
    uint32_t suffix = static_cast<uint32_t>(suffixes_[row]);
    if (suffix == home) origin = row * repeats;
    uint8_t c = rotated_[suffix ? suffix - 1 : root - 1];
    if (repeats == 1)
      out[row] = c;
    else
      memset(out + size_t(row) * repeats, c, repeats);
  }
  return origin;
}
