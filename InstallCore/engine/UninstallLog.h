#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// The uninstall log being built: one line per change, rendered newest first.
class UninstallLog {
 public:
  UninstallLog() = default;
  UninstallLog(const UninstallLog&) = delete;
  UninstallLog& operator=(const UninstallLog&) = delete;

  // Records "type text" as the newest line; the text ends at its first zero byte, and each CR or
  // LF in it becomes a space, since a text of several lines would hand the uninstaller lines of
  // its own to undo.
  bool Add(int type, const Text& text);
  uint32_t LineCount() const { return lines_.Count(); }
  // The file's bytes: the product name line (one line, as Add makes texts), then every line
  // newest first, each ending in CR LF.
  bool Render(const Text& productName, Text* file) const;

  // Whether path names something inside folder: folder is its prefix (letter case and the two
  // separators not told apart) and a separator follows, so a sibling such as Temp2 is not inside Temp.
  static bool IsInsideFolder(const Text& path, const Text& folder);

 private:
  static bool AppendOneLine(const Text& text, Text* line);

  List<Text> lines_;  // oldest first
};
