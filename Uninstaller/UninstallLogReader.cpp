#include "UninstallLogReader.h"

#include <string.h>

namespace {
const int kNotNumbered = -1;
const int kUnknownType = 0;
// More digits than this cannot be a known type, and are not read on into an overflow.
const uint32_t kMaxTypeDigits = 4;
const char kByteOrderMark[] = "\xEF\xBB\xBF";
const uint32_t kByteOrderMarkSize = 3;

// The type code at the start of a "%d %s" line, with the text after the one space.
int ParseLine(const Text& line, Text* text) {
  uint32_t digits = 0;
  int type = 0;
  while (digits < line.Length() && line[digits] >= '0' && line[digits] <= '9') {
    if (digits < kMaxTypeDigits) type = type * 10 + (line[digits] - '0');
    ++digits;
  }
  if (digits == 0 || digits >= line.Length() || line[digits] != ' ') return kNotNumbered;
  if (digits > kMaxTypeDigits || type < UninstallLogReader::kUninstallerText || type > UninstallLogReader::kService)
    return kUnknownType;
  *text = line.Mid(digits + 1);
  return type;
}

void TrimLineEnds(Text* text) {
  uint32_t length = text->Length();
  while (length && ((*text)[length - 1] == '\r' || (*text)[length - 1] == '\n')) --length;
  text->Truncate(length);
}
}  // namespace

bool LogLine::HasFullPath() const { return IsFullPath(text); }

bool UninstallLogReader::StartsWithByteOrderMark(const char* data, uint32_t size) {
  return size >= kByteOrderMarkSize && memcmp(data, kByteOrderMark, kByteOrderMarkSize) == 0;
}

bool UninstallLogReader::Read(const char* data, uint32_t size) {
  productName_.Clear();
  uninstallerText_.Clear();
  lines_.Clear();
  utf8_ = StartsWithByteOrderMark(data, size);
  if (utf8_) data += kByteOrderMarkSize, size -= kByteOrderMarkSize;
  uint32_t number = 0;
  bool inUninstallerText = false;
  for (uint32_t start = 0; start < size;) {
    // Lines end at LF; a CR before it belongs to the line end, so lone LFs read the same.
    const char* end = static_cast<const char*>(memchr(data + start, '\n', size - start));
    uint32_t next = end ? uint32_t(end - data) + 1 : size;
    uint32_t length = (end ? uint32_t(end - data) : size) - start;
    if (length && data[start + length - 1] == '\r') --length;
    Text line(data + start, length);
    if (line.Length() != length) return false;
    start = next;
    if (++number == 1) {
      productName_ = line;
      if (productName_.Empty()) return false;
      continue;
    }
    Text text;
    int type = ParseLine(line, &text);
    // The installer writes its text for the uninstaller unescaped, so a text of several lines
    // goes on over the following lines that carry no type code.
    if (inUninstallerText && type == kNotNumbered) {
      if (!uninstallerText_.Append("\r\n") || !uninstallerText_.Append(line)) return false;
      continue;
    }
    inUninstallerText = false;
    if (type == kUninstallerText) {
      if (number == 2) {
        uninstallerText_ = text;
        inUninstallerText = true;
      }
      continue;
    }
    if (type <= kUnknownType || text.Empty() || memchr(text.Data(), 0, text.Length())) continue;
    if (!lines_.Append(LogLine{type, text})) return false;
  }
  TrimLineEnds(&uninstallerText_);
  return !productName_.Empty();
}

bool UninstallLogReader::AddJournal(const char* data, uint32_t size, const Text& journalPath) {
  UninstallLogReader journal;
  if (!journal.Read(data, size)) return false;
  if (productName_.Empty()) productName_ = journal.productName_;
  utf8_ = utf8_ || journal.utf8_;
  List<LogLine> logged;
  for (const LogLine& line : lines_)
    if (!logged.Append(line)) return false;
  lines_.Clear();
  if (!lines_.Append(LogLine{kFile, journalPath})) return false;
  for (uint32_t i = journal.lines_.Count(); i > 0; --i)
    if (!lines_.Append(journal.lines_[i - 1])) return false;
  for (const LogLine& line : logged)
    if (!lines_.Append(line)) return false;
  return true;
}
