#pragma once
#include <windows.h>
#include <oleauto.h>

#include "Text.h"

// Owns one BSTR; converts between it and ANSI texts.
class Bstr {
 public:
  Bstr() : value_(nullptr) {}
  // From an ANSI text, zero bytes included; null when memory runs out.
  explicit Bstr(const Text& text);
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return value_; }
  // Hands the string over to the caller.
  BSTR Release();

  // The ANSI text of a borrowed BSTR; a null BSTR is the empty text.
  static Text ToText(BSTR value);

 private:
  BSTR value_;
};
