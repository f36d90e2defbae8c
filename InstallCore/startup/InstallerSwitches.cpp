#include "InstallerSwitches.h"

#include <string.h>

const char InstallerSwitches::kUsage[] =
    "/S\tinstall without any window, with the package's choices or those given here\r\n"
    "/PASSIVE\tinstall showing only the progress, with the package's choices or those given here\r\n"
    "/ALLUSERS\tinstall for every user (needs administrator rights), where the package lets you choose\r\n"
    "/CURRENTUSER\tinstall just for you, where the package lets you choose\r\n"
    "/D=PATH\tinstall into PATH (last on the line, where blanks need no quotes)\r\n"
    "/COMPONENTS=NAME,NAME\tinstall exactly these of the listed components\r\n"
    "/LANG=ID\tstart the wizard in this language (1033 English, 1031 German, ...)\r\n"
    "/LOG=FILE\twrite every action and its outcome to FILE\r\n"
    "/?\tshow this list\r\n\r\n"
    "Exit codes: 0 installed, 1 failed, 2 cancelled, 3 installed with failures,\r\n"
    "87 bad command line, 3010 installed, restart needed.";

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Whether word (after its "/" or "-") is name, or begins with name and "=": then *value is the
// rest. Letter case is ignored.
bool Named(const Text& word, const char* name, bool takesValue, Text* value) {
  uint32_t n = uint32_t(strlen(name));
  if (word.Length() < n + 1) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (Upper(word[i + 1]) != name[i]) return false;
  if (!takesValue) return word.Length() == n + 1;
  if (word.Length() < n + 2 || word[n + 1] != '=') return false;
  *value = word.Mid(n + 2);
  return true;
}

// A full path with nothing Windows refuses in a name.
bool IsUsableFolder(const Text& path) {
  if (!IsFullPath(path)) return false;
  for (uint32_t i = 2; i < path.Length(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < ' ' || strchr("<>:\"|?*", c)) return false;
  }
  return true;
}

bool ReadLanguage(const Text& value, uint16_t* language) {
  uint32_t id = 0;
  if (value.Empty() || value.Length() > 5) return false;
  for (uint32_t i = 0; i < value.Length(); ++i) {
    if (value[i] < '0' || value[i] > '9') return false;
    id = id * 10 + uint32_t(value[i] - '0');
  }
  if (id == 0 || id > 0xFFFF) return false;
  *language = uint16_t(id);
  return true;
}

// Names separated by commas, blanks around each dropped; none may be empty.
bool ReadNames(const Text& value, List<Text>* names) {
  uint32_t start = 0;
  for (;;) {
    uint32_t comma = value.FindChar(',', start);
    uint32_t end = comma == Text::kNotFound ? value.Length() : comma;
    uint32_t first = start, last = end;
    while (first < last && IsBlank(value[first])) ++first;
    while (last > first && IsBlank(value[last - 1])) --last;
    if (first == last || !names->Append(value.Mid(first, last - first))) return false;
    if (comma == Text::kNotFound) return true;
    start = comma + 1;
  }
}
}  // namespace

bool InstallerSwitches::Parse(const char* tail, Text* rejected) {
  rejected->Clear();
  // Every argument is read, so that /S keeps a refused line silent wherever it stands.
  auto refuse = [rejected](const char* start, uint32_t length) {
    if (rejected->Empty()) *rejected = Text(start, length);
  };
  for (const char* p = tail;;) {
    while (IsBlank(*p)) ++p;
    if (!*p) break;
    // /D= takes everything behind it, as it stands. Callers that build the line from a list
    // quote the whole argument ("/D=C:\My App"), others its path (/D="C:\My App"): then the
    // closing quote ends it, and arguments may follow.
    const char* d = *p == '"' ? p + 1 : p;
    if ((*d == '/' || *d == '-') && Upper(d[1]) == 'D' && d[2] == '=') {
      const char* value = d + 3;
      bool quoted = d != p || *value == '"';
      if (d == p && quoted) ++value;
      const char* close = quoted ? strchr(value, '"') : nullptr;
      const char* next = close ? close + 1 : value + strlen(value);
      Text path(value, uint32_t((close ? close : next) - value));
      while (!path.Empty() && IsBlank(path[path.Length() - 1])) path.Truncate(path.Length() - 1);
      while (path.Length() > 3 && IsPathSeparator(path[path.Length() - 1])) path.Truncate(path.Length() - 1);
      if (IsUsableFolder(path)) {
        destination = path;
      } else {
        refuse(p, uint32_t(next - p));
      }
      if (!quoted) break;
      p = next;
      continue;
    }
    // One word: up to a blank outside quotes; the quotes themselves are dropped.
    const char* start = p;
    Text word;
    bool quoted = false;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
      if (*p == '"') {
        quoted = !quoted;
      } else {
        word.Append(*p);
      }
    }
    if (!ReadWord(word)) refuse(start, uint32_t(p - start));
  }
  return rejected->Empty();
}

bool InstallerSwitches::ReadWord(const Text& word) {
  Text value;
  if (word.Length() < 2 || (word[0] != '/' && word[0] != '-')) return false;
  if (Named(word, "S", false, &value)) {
    silent = true;
  } else if (Named(word, "PASSIVE", false, &value)) {
    passive = true;
  } else if (Named(word, "ALLUSERS", false, &value)) {
    scope = kAllUsers;
  } else if (Named(word, "CURRENTUSER", false, &value)) {
    scope = kCurrentUser;
  } else if (Named(word, "?", false, &value)) {
    help = true;
  } else if (Named(word, "COMPONENTS", true, &value)) {
    components.Clear();
    hasComponents = true;
    return ReadNames(value, &components);
  } else if (Named(word, "LANG", true, &value)) {
    return ReadLanguage(value, &language);
  } else if (Named(word, "LOG", true, &value)) {
    logPath = value;
    return !value.Empty();
  } else {
    return false;
  }
  return true;
}
