#pragma once
#include <stdint.h>

// Narrow text in the ANSI code page with value semantics and an explicit length; it may hold
// zero bytes. Copies share one reference-counted buffer until one of them changes.
// Every operation that grows the text reports allocation failure or length overflow by
// returning false and leaves the text as it was.
class Text {
 public:
  static const uint32_t kNotFound = 0xFFFFFFFFu;

  Text() : rep_(nullptr) {}
  Text(const char* zeroTerminated);
  Text(const char* data, uint32_t length);
  Text(const Text& other);
  Text(Text&& other) noexcept : rep_(other.rep_) { other.rep_ = nullptr; }
  Text& operator=(const Text& other);
  Text& operator=(Text&& other) noexcept;
  ~Text();

  uint32_t Length() const;
  bool Empty() const { return Length() == 0; }
  // Always followed by a zero byte; "" for the empty text.
  const char* Data() const;
  const char* CStr() const { return Data(); }
  char operator[](uint32_t index) const { return Data()[index]; }

  bool Append(const char* data, uint32_t length);
  bool Append(const char* zeroTerminated);
  bool Append(const Text& other) { return Append(other.Data(), other.Length()); }
  bool Append(char c) { return Append(&c, 1); }
  bool AppendDecimal(long long value);
  // Replaces count bytes at position with the given bytes.
  bool Replace(uint32_t position, uint32_t count, const char* data, uint32_t length);
  bool Insert(uint32_t position, const Text& other) { return Replace(position, 0, other.Data(), other.Length()); }
  void Truncate(uint32_t length);
  void Clear();

  Text Mid(uint32_t position, uint32_t count = kNotFound) const;
  Text Left(uint32_t count) const { return Mid(0, count); }
  uint32_t Find(const char* needle, uint32_t needleLength, uint32_t from = 0) const;
  uint32_t FindChar(char c, uint32_t from = 0) const;
  uint32_t FindLastChar(char c) const;
  void TrimRight(char c);
  void TrimLeft(char c);
  void Trim(char c) {
    TrimRight(c);
    TrimLeft(c);
  }

  bool operator==(const Text& other) const;
  bool operator!=(const Text& other) const { return !(*this == other); }
  bool Equals(const char* zeroTerminated) const;

 private:
  struct Rep;
  // Makes the buffer unshared and able to hold capacity bytes plus a terminator.
  bool Reserve(uint32_t capacity);
  void Release();

  Rep* rep_;
};

Text operator+(const Text& a, const Text& b);

// Windows accepts either slash between the parts of a path.
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Whether the path (up to its first zero byte) names one place whatever the current folders:
// a drive letter, a colon and a separator, or a network path with a server and a share name.
bool IsFullPath(const Text& path);
