#include "UninstallLog.h"

#include <string.h>

namespace {
const char kLineEnd[] = "\r\n";

char Folded(char c) {
  if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
  return c == '/' ? '\\' : c;
}
}  // namespace

bool UninstallLog::Add(int type, const Text& text) {
  Text line;
  if (!line.AppendDecimal(type) || !line.Append(' ') || !line.Append(text.CStr()) || !line.Append(kLineEnd))
    return false;
  return lines_.Append(line);
}

bool UninstallLog::Render(const Text& productName, Text* file) const {
  Text rendered(productName);
  if (!rendered.Append(kLineEnd)) return false;
  for (uint32_t i = lines_.Count(); i > 0; --i)
    if (!rendered.Append(lines_[i - 1])) return false;
  *file = rendered;
  return true;
}

bool UninstallLog::IsInsideFolder(const Text& path, const Text& folder) {
  uint32_t n = folder.Length();
  if (n == 0 || path.Length() <= n || !IsPathSeparator(path[n])) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (Folded(path[i]) != Folded(folder[i])) return false;
  return true;
}
