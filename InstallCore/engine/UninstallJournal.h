#pragma once
#include <windows.h>

#include "OwnedHandle.h"
#include "Text.h"
#include "UninstallLog.h"

// The uninstall log kept on disk while the install runs: the product name, then each change as
// it happens, oldest first. A run that ends early (killed, cancelled, power lost) leaves it for
// the uninstaller; a finished run replaces it by the log.
class UninstallJournal {
 public:
  UninstallJournal() = default;
  UninstallJournal(const UninstallJournal&) = delete;
  UninstallJournal& operator=(const UninstallJournal&) = delete;

  // Creates the journal beside the log with the lines kept from earlier and those recorded so far.
  // A journal open before is continued by the new one; its file stays until RemovePrevious.
  bool Open(const Text& logPath, const Text& productName, const UninstallLog& log);
  // Deletes the file of the journal the last Open continued, once nothing names its log any more.
  void RemovePrevious();
  bool IsOpen() const { return file_.Valid(); }
  // One system write a line, so the line is on disk even if the process dies right after.
  void Append(const Text& line);
  // A change about to be made, such as a new file before its bytes are written, so that what a
  // run killed halfway leaves is removed too; the log records it once it is made.
  void Announce(int type, const Text& text);
  // Closes and deletes it: the finished log holds every line now.
  void Remove();

 private:
  FileHandle file_;
  Text path_;
  Text previous_;
};
