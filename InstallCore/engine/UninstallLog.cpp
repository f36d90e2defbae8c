#include "UninstallLog.h"

#include <string.h>

namespace {
const char kLineEnd[] = "\r\n";
const char kJournalSuffix[] = ".journal";

char Folded(char c) {
  if (c >= 'a' && c <= 'z') return char(c - 'a' + 'A');
  return c == '/' ? '\\' : c;
}

// Each CR or LF becomes a space: a text of several lines would hand the uninstaller lines of its
// own to undo.
bool AppendOneLine(const Text& text, Text* line) {
  const char* rest = text.CStr();
  for (;;) {
    size_t run = strcspn(rest, kLineEnd);
    if (!line->Append(rest, uint32_t(run))) return false;
    if (!rest[run]) return true;
    if (!line->Append(' ')) return false;
    rest += run + 1;
  }
}

// "type text\r\n", as every line is stored.
bool FormatLine(int type, const Text& text, Text* line) {
  return line->AppendDecimal(type) && line->Append(' ') && AppendOneLine(text, line) && line->Append(kLineEnd);
}

// The lines already rendered, found by their bytes in about constant time.
class LineSet {
 public:
  bool Reserve(uint32_t count) {
    uint32_t size = 16;
    while (size < count * 2) {
      if (size > 0x7FFFFFFFu) return false;
      size *= 2;
    }
    for (uint32_t i = 0; i < size; ++i)
      if (!slots_.Append(nullptr)) return false;
    return true;
  }
  // False when the line was there already.
  bool Insert(const Text* line) {
    uint32_t mask = slots_.Count() - 1;
    for (uint32_t i = Hash(*line) & mask;; i = (i + 1) & mask) {
      if (!slots_[i]) {
        slots_[i] = line;
        return true;
      }
      if (*slots_[i] == *line) return false;
    }
  }

 private:
  static uint32_t Hash(const Text& text) {
    uint32_t hash = 2166136261u;
    for (uint32_t i = 0; i < text.Length(); ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 16777619u;
    return hash;
  }
  List<const Text*> slots_;
};
}  // namespace

bool UninstallLog::Add(int type, const Text& text) {
  Text line;
  if (!FormatLine(type, text, &line)) return false;
  return lines_.Append(Line{line, tier_});
}

bool UninstallLog::Render(const Text& productName, Text* file) const {
  Text rendered;
  LineSet seen;
  if (!AppendOneLine(productName, &rendered) || !rendered.Append(kLineEnd) || !seen.Reserve(lines_.Count() + earlier_.Count())) return false;
  for (int tier = kClosing; tier >= kChanges; --tier) {
    for (uint32_t i = lines_.Count(); i > 0; --i) {
      const Line& line = lines_[i - 1];
      if (line.tier == tier && seen.Insert(&line.text) && !rendered.Append(line.text)) return false;
    }
  }
  for (const Text& line : earlier_)
    if (seen.Insert(&line) && !rendered.Append(line)) return false;
  *file = rendered;
  return true;
}

bool UninstallLog::FormatChange(int type, const Text& text, Text* line) { return FormatLine(type, text, line); }

bool UninstallLog::KeepEarlier(const char* data, uint32_t size, const Text& productName, bool oldestFirst) {
  const char* end = data + size;
  const char* next = static_cast<const char*>(memchr(data, '\n', size));
  uint32_t first = uint32_t((next ? next : end) - data);
  if (first && data[first - 1] == '\r') --first;
  if (Text(data, first) != productName) return false;
  // Change lines only: this run writes its own registration text (type 1), and a text of
  // several lines goes on over lines without a type code, which are no changes either.
  uint32_t kept = earlier_.Count();
  for (const char* start = next ? next + 1 : end; start < end;) {
    const char* stop = static_cast<const char*>(memchr(start, '\n', uint32_t(end - start)));
    uint32_t length = uint32_t((stop ? stop : end) - start);
    if (length && start[length - 1] == '\r') --length;
    Text line(start, length);
    start = stop ? stop + 1 : end;
    uint32_t digits = 0;
    while (digits < line.Length() && line[digits] >= '0' && line[digits] <= '9') ++digits;
    if (digits != 1 || line.Length() < 3 || line[1] != ' ' || line[0] < '2' || line[0] > '8') continue;
    if (line.Length() != length || !line.Append(kLineEnd) || !earlier_.Append(line)) return false;
  }
  for (uint32_t i = kept, j = earlier_.Count(); oldestFirst && i + 1 < j; ++i, --j) {
    Text newer = earlier_[j - 1];
    earlier_[j - 1] = earlier_[i];
    earlier_[i] = newer;
  }
  return true;
}

bool UninstallLog::RecordedEarlier(int type, const Text& text) const {
  Text wanted;
  if (!FormatLine(type, text, &wanted)) return false;
  for (const Text& line : earlier_)
    if (line == wanted) return true;
  return false;
}

bool UninstallLog::IsInsideFolder(const Text& path, const Text& folder) {
  uint32_t n = folder.Length();
  if (n == 0 || path.Length() <= n || !IsPathSeparator(path[n])) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (Folded(path[i]) != Folded(folder[i])) return false;
  return true;
}

Text UninstallLog::FolderOf(const Text& path) {
  uint32_t end = path.Length();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  return end == 0 ? Text() : path.Left(end - 1);
}

bool UninstallLog::Recorded(int type, const Text& text) const {
  Text wanted;
  if (!FormatLine(type, text, &wanted)) return false;
  for (const Line& line : lines_) {
    bool same = line.text.Length() == wanted.Length();
    for (uint32_t i = 0; same && i < wanted.Length(); ++i) same = Folded(line.text[i]) == Folded(wanted[i]);
    if (same) return true;
  }
  return false;
}

Text UninstallLog::JournalPath(const Text& logPath) { return logPath + kJournalSuffix; }

Text UninstallLog::LogOfCommand(const Text& command) {
  uint32_t programEnd = command.Empty() || command[0] != '"' ? Text::kNotFound : command.FindChar('"', 1);
  if (programEnd == Text::kNotFound || programEnd + 2 >= command.Length() || command[programEnd + 1] != ' ' ||
      command[programEnd + 2] != '"')
    return Text();
  uint32_t logEnd = command.FindChar('"', programEnd + 3);
  return logEnd == Text::kNotFound ? Text() : command.Mid(programEnd + 3, logEnd - programEnd - 3);
}
