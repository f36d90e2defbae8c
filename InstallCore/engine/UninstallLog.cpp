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
  if (!line.AppendDecimal(type) || !line.Append(' ') || !AppendOneLine(text, &line) || !line.Append(kLineEnd))
    return false;
  return lines_.Append(line);
}

bool UninstallLog::AppendOneLine(const Text& text, Text* line) {
  const char* rest = text.CStr();
  for (;;) {
    size_t run = strcspn(rest, kLineEnd);
    if (!line->Append(rest, uint32_t(run))) return false;
    if (!rest[run]) return true;
    if (!line->Append(' ')) return false;
    rest += run + 1;
  }
}

bool UninstallLog::Render(const Text& productName, Text* file) const {
  Text rendered;
  if (!AppendOneLine(productName, &rendered) || !rendered.Append(kLineEnd)) return false;
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
