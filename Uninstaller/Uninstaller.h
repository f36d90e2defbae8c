#pragma once
#include "List.h"
#include "Text.h"
#include "UninstallLogReader.h"

// Undoes the lines of an uninstall log in their order, newest change first, and notes the
// ones it could not undo. A line already undone by someone else (a file that is gone, a key
// that no longer exists) counts as undone.
class Uninstaller {
 public:
  Uninstaller() = default;
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  // Never stops at a line that fails: every line is tried.
  void Run(const List<LogLine>& lines);
  bool Complete() const { return complete_; }
  // The texts of the lines that could not be undone, in log order.
  const List<Text>& Remaining() const { return remaining_; }
  // Files that were in use were moved into the temporary folder (or their volume's root folder);
  // this deletes them once their users have ended. Whatever is still in use goes at the next restart.
  void DeleteMovedFiles();

 private:
  bool Undo(const LogLine& line);
  bool RemoveFile(const Text& path);
  bool MoveAside(const Text& path);
  bool MoveInto(const char* folder, const Text& path);

  bool complete_ = true;
  bool fontsChanged_ = false;
  List<Text> remaining_;
  List<Text> moved_;
};
