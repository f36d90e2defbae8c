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
  // What became of one line.
  enum Undone {
    kUndone,
    // A folder or key that still holds what the product did not put there: it stays, and that
    // is no failure.
    kLeftInPlace,
    // Refused for now (in use, access denied): a later run may succeed.
    kLater,
    // No run ever can (no full path, a text that names nothing undoable): reported and dropped.
    kNever,
  };

  Uninstaller() = default;
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  // Never stops at a line that fails: every line is tried, and each outcome goes to report when
  // that is open. The lines that keep the product removable (its registration, the log at logPath
  // and its journal, the registered uninstaller and the folders holding the log) are undone last,
  // and only when no line is left that a later run could still undo.
  void Run(const List<LogLine>& lines, const Text& logPath, const Text& productName, InstallLog* report);
  // Whether the log registered the product for the current user only, under that user's root.
  static bool RegisteredForUser(const List<LogLine>& lines, const Text& productName);
  bool Complete() const { return remaining_.Count() == 0; }
  // Some lines may be undone by a later run, so the lines that keep the product removable were
  // kept: Kept() is what a second run has to undo (with the folders and keys left in place, which
  // may be empty by then).
  bool Retry() const { return retry_; }
  // Some lines were refused for now: a later run may undo them.
  bool Later() const { return later_; }
  const List<LogLine>& Kept() const { return kept_; }
  // The texts of the lines that were not undone, in log order: those a later run may undo, then
  // those no run can.
  const List<Text>& Remaining() const { return remaining_; }
  // The folders left in place because they hold files the product did not install.
  const List<Text>& FoldersLeft() const { return foldersLeft_; }
  // Files that were in use were moved into the temporary folder (or their volume's root folder);
  // this deletes them once their users have ended. Whatever is still in use goes at the next restart.
  void DeleteMovedFiles();

 private:
  Undone Undo(const LogLine& line, DWORD* error);
  Undone UndoReported(const LogLine& line, InstallLog* report);
  static Text ActionName(const LogLine& line);
  Undone RemoveFile(const Text& path, DWORD* error);
  bool MoveAside(const Text& path);
  bool MoveInto(const wchar_t* folder, const Text& path);

  bool retry_ = false;
  bool later_ = false;
  bool fontsChanged_ = false;
  bool perUser_ = false;  // the product is registered for the current user only
  List<Text> remaining_;
  List<Text> never_;
  List<Text> foldersLeft_;
  List<LogLine> kept_;
  List<LogLine> leftInPlace_;
  List<Text> moved_;
};
