#ifdef _WIN32
#include "WideText.h"

#include "Memory.h"

UINT WideText::codePage_ = CP_UTF8;

void WideText::UseUtf8(bool utf8) { codePage_ = utf8 ? CP_UTF8 : CP_ACP; }

WideText::WideText(const Text& text) : data_(nullptr), length_(0) {
  Convert(text.Data(), static_cast<int>(text.Length()), codePage_);
}

WideText::WideText(const char* zeroTerminated) : data_(nullptr), length_(0) {
  Convert(zeroTerminated, lstrlenA(zeroTerminated), codePage_);
}

WideText::~WideText() { MemFree(data_); }

void WideText::Convert(const char* data, int length, UINT from) {
  if (length <= 0) return;
  int wide = MultiByteToWideChar(from, 0, data, length, nullptr, 0);
  if (wide <= 0) return;
  data_ = static_cast<wchar_t*>(MemAlloc((static_cast<size_t>(wide) + 1) * sizeof(wchar_t)));
  if (!data_) return;
  length_ = MultiByteToWideChar(from, 0, data, length, data_, wide);
  data_[length_] = 0;
}

Text WideText::Recode(const Text& text, UINT from, UINT to) {
  if (from == to) return text;
  WideText wide("");
  wide.Convert(text.Data(), static_cast<int>(text.Length()), from);
  return Encode(wide, wide.Length(), to);
}

bool WideText::SameIgnoringCase(const Text& a, const Text& b) {
  WideText wideA(a);
  WideText wideB(b);
  return CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, wideA, wideA.Length(), wideB, wideB.Length()) ==
         CSTR_EQUAL;
}

bool WideText::IsLeadByte(unsigned char byte) { return codePage_ != CP_UTF8 && IsDBCSLeadByte(byte); }

Text WideText::ToText(const wchar_t* value, int length) {
  return Encode(value, length < 0 ? lstrlenW(value) : length, codePage_);
}

Text WideText::Encode(const wchar_t* value, int length, UINT to) {
  if (length == 0) return Text();
  int narrow = WideCharToMultiByte(to, 0, value, length, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return Text();
  char* buffer = static_cast<char*>(MemAlloc(static_cast<size_t>(narrow)));
  if (!buffer) return Text();
  WideCharToMultiByte(to, 0, value, length, buffer, narrow, nullptr, nullptr);
  Text text(buffer, static_cast<uint32_t>(narrow));
  MemFree(buffer);
  return text;
}
#endif
