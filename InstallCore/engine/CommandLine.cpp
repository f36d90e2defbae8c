#include "CommandLine.h"

#include <string.h>

namespace CommandLine {

bool Build(const Text& program, const Text& arguments, Text* line) {
  Text built("\"");
  if (!built.Append(program.CStr()) || !built.Append("\" ") || !built.Append(arguments.CStr())) return false;
  if (built.Length() >= kCapacity) return false;
  *line = built;
  return true;
}

Text ProgramPath(const Text& program, const Text& systemFolder) {
  const char* name = program.CStr();
  if (strpbrk(name, "\\/:")) return program;
  if (systemFolder.Empty()) return Text();
  return systemFolder + "\\" + name;
}

}  // namespace CommandLine
