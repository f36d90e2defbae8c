#include "UninstallArguments.h"

#include <string.h>

namespace {
const char kCopySwitch[] = "/COPYOF=";
const char kLogSwitch[] = "/LOG=";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 'a' - 'A') : c; }

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (Lower(*text) != Lower(*prefix)) return false;
  return true;
}

// Where an unquoted program name ends: Windows itself accepts blanks in it and tries the
// longer names in turn, so the first ".exe" that ends a word is taken, else the first word.
const char* SkipProgram(const char* line) {
  if (*line == '"') {
    const char* close = strchr(line + 1, '"');
    return close ? close + 1 : line + strlen(line);
  }
  for (const char* p = line; *p; ++p)
    if (StartsWithNoCase(p, ".exe") && (p[4] == 0 || IsBlank(p[4]))) return p + 4;
  while (*line && !IsBlank(*line)) ++line;
  return line;
}

// A decimal number of 1 to 9 digits that ends at the given character.
bool ReadNumber(const char** cursor, char end, uint32_t* value) {
  const char* p = *cursor;
  uint32_t n = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9' && digits < 10; ++p, ++digits) n = n * 10 + uint32_t(*p - '0');
  if (digits == 0 || digits > 9 || *p != end || n == 0) return false;
  *value = n;
  *cursor = p + 1;
  return true;
}

void ReadSwitch(const char* start, const char* end, UninstallArguments* result) {
  Text word(start, uint32_t(end - start));
  if (word.Length() == 2 && Lower(word[1]) == 's') result->silent = true;
  if (StartsWithNoCase(word.CStr(), kLogSwitch)) {
    result->reportPath.Clear();
    for (const char* c = word.CStr() + strlen(kLogSwitch); *c; ++c)
      if (*c != '"') result->reportPath.Append(*c);
  }
  if (!StartsWithNoCase(word.CStr(), kCopySwitch)) return;
  const char* p = word.CStr() + strlen(kCopySwitch);
  uint32_t process = 0, pipe = 0;
  if (ReadNumber(&p, ',', &process) && ReadNumber(&p, 0, &pipe)) {
    result->originalProcess = process;
    result->resultPipe = pipe;
  }
}
}  // namespace

UninstallArguments UninstallArguments::Parse(const char* commandLine) {
  UninstallArguments result;
  const char* p = SkipProgram(commandLine);
  while (IsBlank(*p)) ++p;
  result.arguments = Text(p);
  // The log path spans from the first word that is not a switch to the last one.
  const char* pathStart = nullptr;
  const char* pathEnd = nullptr;
  while (*p) {
    const char* word = p;
    bool quoted = false;
    while (*p && (quoted || !IsBlank(*p))) {
      if (*p == '"') quoted = !quoted;
      ++p;
    }
    if (*word == '/') {
      ReadSwitch(word, p, &result);
    } else {
      if (!pathStart) pathStart = word;
      pathEnd = p;
    }
    while (IsBlank(*p)) ++p;
  }
  for (const char* c = pathStart; c && c < pathEnd; ++c)
    if (*c != '"') result.logPath.Append(*c);
  return result;
}

Text UninstallArguments::CopySwitch(uint32_t originalProcess, uint32_t resultPipe) {
  Text word(kCopySwitch);
  word.AppendDecimal(originalProcess);
  word.Append(',');
  word.AppendDecimal(resultPipe);
  return word;
}
