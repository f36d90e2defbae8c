#include "Bstr.h"

#include "WideText.h"

Bstr::Bstr(const Text& text) : value_(nullptr) {
  WideText wide(text);
  if (text.Empty() || wide.Length() > 0) value_ = SysAllocStringLen(wide.Get(), static_cast<UINT>(wide.Length()));
}

BSTR Bstr::Release() {
  BSTR value = value_;
  value_ = nullptr;
  return value;
}

bool Bstr::CopyFrom(BSTR source) {
  SysFreeString(value_);
  value_ = SysAllocStringLen(source, SysStringLen(source));
  return value_ != nullptr;
}

Text Bstr::ToTextUntilZero(const wchar_t* value, uint32_t length) {
  uint32_t used = 0;
  while (used < length && value[used] != 0) ++used;
  return WideText::ToText(value, static_cast<int>(used));
}

Text Bstr::ToText(BSTR value) { return WideText::ToText(value, static_cast<int>(SysStringLen(value))); }
