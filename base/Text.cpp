#include "Text.h"

#include <string.h>

#include "Memory.h"

struct Text::Rep {
  uint32_t refs;
  uint32_t length;
  uint32_t capacity;
  char* Chars() { return reinterpret_cast<char*>(this + 1); }
};

namespace {
const uint32_t kMaxLength = 0x7FFFFFF0u;
}

Text::Text(const char* zeroTerminated) : rep_(nullptr) {
  if (zeroTerminated) Append(zeroTerminated, uint32_t(strlen(zeroTerminated)));
}

Text::Text(const char* data, uint32_t length) : rep_(nullptr) { Append(data, length); }

Text::Text(const Text& other) : rep_(other.rep_) {
  if (rep_) ++rep_->refs;
}

Text& Text::operator=(const Text& other) {
  if (other.rep_) ++other.rep_->refs;
  Release();
  rep_ = other.rep_;
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    Release();
    rep_ = other.rep_;
    other.rep_ = nullptr;
  }
  return *this;
}

Text::~Text() { Release(); }

void Text::Release() {
  if (rep_ && --rep_->refs == 0) MemFree(rep_);
  rep_ = nullptr;
}

uint32_t Text::Length() const { return rep_ ? rep_->length : 0; }

const char* Text::Data() const { return rep_ ? rep_->Chars() : ""; }

bool Text::Reserve(uint32_t capacity) {
  if (capacity > kMaxLength) return false;
  if (rep_ && rep_->refs == 1 && rep_->capacity >= capacity) return true;
  uint32_t grown = rep_ ? rep_->capacity : 0;
  grown = grown < kMaxLength / 2 ? grown * 2 : kMaxLength;
  if (grown < capacity) grown = capacity;
  if (grown < 15) grown = 15;
  Rep* fresh = static_cast<Rep*>(MemAlloc(sizeof(Rep) + grown + 1));
  if (!fresh) return false;
  fresh->refs = 1;
  fresh->capacity = grown;
  fresh->length = Length();
  memcpy(fresh->Chars(), Data(), fresh->length + 1);
  Release();
  rep_ = fresh;
  return true;
}

bool Text::Append(const char* data, uint32_t length) {
  return Replace(Length(), 0, data, length);
}

bool Text::Append(const char* zeroTerminated) {
  return zeroTerminated ? Append(zeroTerminated, uint32_t(strlen(zeroTerminated))) : true;
}

bool Text::AppendDecimal(long long value) {
  char digits[24];
  int n = 0;
  unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[n++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) digits[n++] = '-';
  char out[24];
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return Append(out, uint32_t(n));
}

bool Text::Replace(uint32_t position, uint32_t count, const char* data, uint32_t length) {
  uint32_t old = Length();
  if (position > old) position = old;
  if (count > old - position) count = old - position;
  if (length > kMaxLength || old - count > kMaxLength - length) return false;
  uint32_t total = old - count + length;
  if (total == 0) {
    Clear();
    return true;
  }
  // The inserted bytes may come from this very text: copy them out first when so.
  const char* own = Data();
  char* scratch = nullptr;
  if (length && data >= own && data <= own + old) {
    scratch = static_cast<char*>(MemAlloc(length));
    if (!scratch) return false;
    memcpy(scratch, data, length);
    data = scratch;
  }
  bool ok = Reserve(total);
  if (ok) {
    char* chars = rep_->Chars();
    memmove(chars + position + length, chars + position + count, old - position - count);
    if (length) memcpy(chars + position, data, length);
    rep_->length = total;
    chars[total] = 0;
  }
  MemFree(scratch);
  return ok;
}

void Text::Truncate(uint32_t length) {
  if (length >= Length()) return;
  if (length == 0) {
    Clear();
    return;
  }
  if (!Reserve(Length())) return;
  rep_->length = length;
  rep_->Chars()[length] = 0;
}

void Text::Clear() { Release(); }

Text Text::Mid(uint32_t position, uint32_t count) const {
  uint32_t length = Length();
  if (position >= length) return Text();
  if (count > length - position) count = length - position;
  if (position == 0 && count == length) return *this;
  return Text(Data() + position, count);
}

uint32_t Text::Find(const char* needle, uint32_t needleLength, uint32_t from) const {
  uint32_t length = Length();
  if (needleLength == 0 || needleLength > length) return kNotFound;
  const char* chars = Data();
  for (uint32_t i = from; i + needleLength <= length; ++i) {
    if (chars[i] == needle[0] && memcmp(chars + i, needle, needleLength) == 0) return i;
  }
  return kNotFound;
}

uint32_t Text::FindChar(char c, uint32_t from) const {
  const char* chars = Data();
  for (uint32_t i = from; i < Length(); ++i)
    if (chars[i] == c) return i;
  return kNotFound;
}

uint32_t Text::FindLastChar(char c) const {
  const char* chars = Data();
  for (uint32_t i = Length(); i > 0; --i)
    if (chars[i - 1] == c) return i - 1;
  return kNotFound;
}

void Text::TrimRight(char c) {
  uint32_t length = Length();
  while (length && Data()[length - 1] == c) --length;
  Truncate(length);
}

void Text::TrimLeft(char c) {
  uint32_t n = 0;
  while (n < Length() && Data()[n] == c) ++n;
  if (n) Replace(0, n, nullptr, 0);
}

bool Text::operator==(const Text& other) const {
  return Length() == other.Length() && memcmp(Data(), other.Data(), Length()) == 0;
}

bool Text::Equals(const char* zeroTerminated) const {
  size_t n = strlen(zeroTerminated);
  return n == Length() && memcmp(Data(), zeroTerminated, n) == 0;
}

Text operator+(const Text& a, const Text& b) {
  Text result(a);
  result.Append(b);
  return result;
}

bool IsFullPath(const Text& path) {
  const char* p = path.CStr();
  char drive = char(p[0] | 0x20);
  if (drive >= 'a' && drive <= 'z' && p[1] == ':' && IsPathSeparator(p[2])) return true;
  if (!IsPathSeparator(p[0]) || !IsPathSeparator(p[1])) return false;
  uint32_t i = 2;
  while (p[i] && !IsPathSeparator(p[i])) ++i;
  return i > 2 && IsPathSeparator(p[i]) && p[i + 1] && !IsPathSeparator(p[i + 1]);
}
