#include "ElevatedCommand.h"

namespace ElevatedCommand {
namespace {
bool HasBlank(const Text& value) {
  return value.FindChar(' ') != Text::kNotFound || value.FindChar('\t') != Text::kNotFound;
}

// " /NAME=VALUE", the value quoted when it holds a blank; false for a value with a quote,
// which no quoting can carry.
bool AppendValue(const char* name, const Text& value, Text* line) {
  if (value.FindChar('"') != Text::kNotFound) return false;
  line->Append(name);
  if (!HasBlank(value)) return line->Append(value);
  return line->Append('"') && line->Append(value) && line->Append('"');
}

bool UsableName(const Text& name) {
  return !name.Empty() && name.FindChar(',') == Text::kNotFound && !HasBlank(name.Left(1)) &&
         !HasBlank(name.Mid(name.Length() - 1));
}
}  // namespace

bool Build(const InstallerSwitches& choices, Text* line) {
  line->Clear();
  if (!line->Append("/ALLUSERS")) return false;
  if (choices.silent && !line->Append(" /S")) return false;
  if (!choices.silent && choices.passive && !line->Append(" /PASSIVE")) return false;
  if (choices.language) {
    if (!line->Append(" /LANG=")) return false;
    line->AppendDecimal(choices.language);
  }
  if (choices.hasComponents) {
    Text names;
    for (uint32_t i = 0; i < choices.components.Count(); ++i) {
      if (!UsableName(choices.components[i])) return false;
      if ((i && !names.Append(',')) || !names.Append(choices.components[i])) return false;
    }
    if (names.Empty() || !AppendValue(" /COMPONENTS=", names, line)) return false;
  }
  if (!choices.logPath.Empty() && !AppendValue(" /LOG=", choices.logPath, line)) return false;
  // Last and unquoted: /D= takes the rest of the line, blanks included.
  if (!choices.destination.Empty()) {
    if (choices.destination.FindChar('"') != Text::kNotFound) return false;
    if (!line->Append(" /D=") || !line->Append(choices.destination)) return false;
  }
  return true;
}

}  // namespace ElevatedCommand
