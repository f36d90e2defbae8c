#include "VariableTable.h"

#include <string.h>

bool VariableTable::Add(const Text& name, const Text& value) { return variables_.Append(Variable{name, value}); }

bool VariableTable::Set(const Text& name, const Text& value) {
  for (Variable& variable : variables_) {
    if (variable.name == name) {
      variable.value = value;
      return true;
    }
  }
  return Add(name, value);
}

Text VariableTable::Get(const Text& name) const {
  for (const Variable& variable : variables_)
    if (variable.name == name) return variable.value;
  return Text();
}

bool VariableTable::Expand(Text& text) const {
  for (const Variable& variable : variables_)
    if (!ExpandOne(text, variable)) return false;
  return true;
}

bool VariableTable::ExpandOne(Text& text, const Variable& variable) const {
  Text pattern("${");
  if (!pattern.Append(variable.name) || !pattern.Append('}')) return false;
  // References live inside the zero-separated pieces, so a name holding a zero byte never matches.
  if (memchr(pattern.Data(), 0, pattern.Length())) return true;
  const char* chars = text.Data();
  const uint32_t length = text.Length();
  const uint32_t patternLength = pattern.Length();
  Text expanded;
  uint32_t copied = 0;
  uint32_t i = 0;
  while (i < length) {
    if (length - i >= patternLength && memcmp(chars + i, pattern.Data(), patternLength) == 0) {
      if (!expanded.Append(chars + copied, i - copied) || !expanded.Append(variable.value)) return false;
      i += patternLength;
      copied = i;
      continue;
    }
    // A lead byte takes its trail byte along, unless the piece ends there.
    bool pair = isLeadByte_ && isLeadByte_(static_cast<unsigned char>(chars[i])) && i + 1 < length &&
                chars[i + 1] != 0;
    i += pair ? 2 : 1;
  }
  if (copied == 0) return true;
  if (!expanded.Append(chars + copied, length - copied)) return false;
  text = expanded;
  return true;
}
