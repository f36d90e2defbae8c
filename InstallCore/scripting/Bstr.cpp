#include "Bstr.h"

#include "Memory.h"

Bstr::Bstr(const Text& text) : value_(nullptr) {
  int length = static_cast<int>(text.Length());
  int wide = length ? MultiByteToWideChar(CP_ACP, 0, text.Data(), length, nullptr, 0) : 0;
  if (length && wide <= 0) return;
  value_ = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  if (value_ && wide) MultiByteToWideChar(CP_ACP, 0, text.Data(), length, value_, wide);
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
  return Convert(value, static_cast<int>(used));
}

Text Bstr::ToText(BSTR value) { return Convert(value, static_cast<int>(SysStringLen(value))); }

Text Bstr::Convert(const wchar_t* value, int length) {
  if (length == 0) return Text();
  int narrow = WideCharToMultiByte(CP_ACP, 0, value, length, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return Text();
  char* buffer = static_cast<char*>(MemAlloc(static_cast<size_t>(narrow)));
  if (!buffer) return Text();
  WideCharToMultiByte(CP_ACP, 0, value, length, buffer, narrow, nullptr, nullptr);
  Text text(buffer, static_cast<uint32_t>(narrow));
  MemFree(buffer);
  return text;
}
