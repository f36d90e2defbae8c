#pragma once
#include "InstallLog.h"
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

  // Never stops at a line that fails: every line is tried, and each outcome goes to report when
  // that is open. The lines that keep the product removable (its registration, the log at logPath
  // and its journal, the registered uninstaller and the folders holding the log) are undone last,
  // and only once every other line was.
  void Run(const List<LogLine>& lines, const Text& logPath, const Text& productName, InstallLog* report);
  bool Complete() const { return complete_; }
  // Some lines could not be undone, so the lines that keep the product removable were kept:
  // Kept() is what a second run has to undo.
  bool Retry() const { return retry_; }
  const List<LogLine>& Kept() const { return kept_; }
  // The texts of the lines that could not be undone, in log order.
  const List<Text>& Remaining() const { return remaining_; }
  // Files that were in use were moved into the temporary folder (or their volume's root folder);
  // this deletes them once their users have ended. Whatever is still in use goes at the next restart.
  void DeleteMovedFiles();

 private:
  bool Undo(const LogLine& line);
  bool UndoReported(const LogLine& line, InstallLog* report);
  static Text ActionName(const LogLine& line);
  bool RemoveFile(const Text& path);
  bool MoveAside(const Text& path);
  bool MoveInto(const wchar_t* folder, const Text& path);

  bool complete_ = true;
  bool retry_ = false;
  bool fontsChanged_ = false;
  List<Text> remaining_;
  List<LogLine> kept_;
  List<Text> moved_;
};
