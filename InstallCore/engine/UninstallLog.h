#pragma once
#include <stdint.h>

#include "List.h"
#include "Text.h"

// The uninstall log being built: one line per change, rendered newest first.
class UninstallLog {
 public:
  // Lines of a higher tier stand above every line of a lower one, whenever they were added:
  // the registration is made before the first change but its lines head the finished log.
  enum Tier { kChanges = 0, kRegistration = 1, kClosing = 2 };

  UninstallLog() = default;
  UninstallLog(const UninstallLog&) = delete;
  UninstallLog& operator=(const UninstallLog&) = delete;

  // Records "type text" as the newest line; the text ends at its first zero byte, and each CR or
  // LF in it becomes a space, since a text of several lines would hand the uninstaller lines of
  // its own to undo.
  bool Add(int type, const Text& text);
  uint32_t LineCount() const { return lines_.Count(); }
  // The newest line as the file holds it, line end included.
  const Text& Newest() const { return lines_[lines_.Count() - 1].text; }
  const Text& LineAt(uint32_t index) const { return lines_[index].text; }
  // The tier of the lines added from now on.
  void SetTier(Tier tier) { tier_ = tier; }
  // The file's bytes: the product name line (one line, as Add makes texts), then every line
  // newest first (by tier, then by age), each ending in CR LF; a line recorded twice stands once, at its newest place. Below
  // them stand the kept lines of an earlier log that this run did not record again.
  bool Render(const Text& productName, Text* file) const;

  // Keeps the change lines of an earlier log (the file's bytes) when its first line names the
  // same product; false, keeping nothing, when it is another product's log. A journal holds its
  // lines oldest first; kept before a log, its lines stand above the log's.
  bool KeepEarlier(const char* data, uint32_t size, const Text& productName, bool oldestFirst = false);
  uint32_t EarlierCount() const { return earlier_.Count(); }
  // A kept line as the file holds it, line end included; 0 is the newest.
  const Text& EarlierAt(uint32_t index) const { return earlier_[index]; }
  // The line Add records for the change, as the file holds it.
  static bool FormatChange(int type, const Text& text, Text* line);
  // Whether the earlier log records this change.
  bool RecordedEarlier(int type, const Text& text) const;
  // Whether this run recorded the change; letter case and the two separators are not told apart,
  // as the registry and the file system do not tell them apart.
  bool Recorded(int type, const Text& text) const;

  // Whether path names something inside folder: folder is its prefix (letter case and the two
  // separators not told apart) and a separator follows, so a sibling such as Temp2 is not inside Temp.
  static bool IsInsideFolder(const Text& path, const Text& folder);
  // The folder path names something in: up to its last separator of either kind; empty when it
  // has none.
  static Text FolderOf(const Text& path);
  // The journal kept beside a log while an install runs: the same lines, oldest first.
  static Text JournalPath(const Text& logPath);
  // The log an uninstall command of this installer's form names: the second quoted text of
  // "program" "log"; empty for a command of another form.
  static Text LogOfCommand(const Text& command);

 private:
  struct Line {
    Text text;
    Tier tier;
  };
  List<Line> lines_;  // oldest first
  List<Text> earlier_;  // the earlier log's change lines, newest first
  Tier tier_ = kChanges;
};
