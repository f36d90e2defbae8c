#pragma once
#include <windows.h>
#include <oleauto.h>

#include "Text.h"

// Owns one BSTR; converts between it and the package's texts.
class Bstr {
 public:
  Bstr() : value_(nullptr) {}
  // From a package text, zero bytes included; null when memory runs out.
  explicit Bstr(const Text& text);
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return value_; }
  // Hands the string over to the caller.
  BSTR Release();
  // Replaces the string by a copy of a borrowed one; a null one becomes the empty string.
  bool CopyFrom(BSTR source);
  // For functions that replace the string in place, such as the engine's ExpandBstr.
  BSTR* Address() { return &value_; }

  // The package text of a borrowed BSTR; a null BSTR is the empty text.
  static Text ToText(BSTR value);
  // The package text of a wide text up to its first zero unit, reading at most length units.
  static Text ToTextUntilZero(const wchar_t* value, uint32_t length);

 private:
  BSTR value_;
};
