#include "CommandLine.h"

namespace CommandLine {

bool Build(const Text& program, const Text& arguments, Text* line) {
  Text built("\"");
  if (!built.Append(program.CStr()) || !built.Append("\" ") || !built.Append(arguments.CStr())) return false;
  if (built.Length() >= kCapacity) return false;
  *line = built;
  return true;
}

}  // namespace CommandLine
