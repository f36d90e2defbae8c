#pragma once
#ifdef _WIN32
#include <windows.h>

#include "Text.h"

// The one conversion between the package's texts and Windows' UTF-16. A package marked Unicode
// holds UTF-8; any other holds the system's ANSI code page, and converting it here is what the
// A functions would have done.
class WideText {
 public:
  // Chosen once, from the package, before any text reaches Windows.
  static void UseUtf8(bool utf8);
  static UINT CodePage() { return codePage_; }

  // The text converted from one code page to another (through UTF-16).
  static Text Recode(const Text& text, UINT from, UINT to);
  // The installer's own path arrives in UTF-8, before the package is read.
  static Text FromUtf8(const Text& text) { return Recode(text, CP_UTF8, codePage_); }
  // For files read by people and tools on any system, such as the install log.
  static Text ToUtf8(const Text& text) { return Recode(text, codePage_, CP_UTF8); }

  // Every byte of the text, zero bytes included; the empty wide text when memory runs out.
  explicit WideText(const Text& text);
  explicit WideText(const char* zeroTerminated);
  ~WideText();
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;

  // Always followed by a zero unit.
  const wchar_t* Get() const { return data_ ? data_ : L""; }
  operator const wchar_t*() const { return Get(); }
  // In UTF-16 units, without the terminator.
  int Length() const { return length_; }

  // Letter case aside, as the system compares names.
  static bool SameIgnoringCase(const Text& a, const Text& b);
  // Whether the byte starts a two-byte character: never in UTF-8, where no byte of a
  // character equals a backslash.
  static bool IsLeadByte(unsigned char byte);

  // The package text of a wide one: length units, or up to the first zero unit when negative.
  static Text ToText(const wchar_t* value, int length = -1);

 private:
  static UINT codePage_;
  static Text Encode(const wchar_t* value, int length, UINT to);
  void Convert(const char* data, int length, UINT from);

  wchar_t* data_;
  int length_;
};
#endif
