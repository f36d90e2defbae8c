#pragma once
#include <windows.h>
#include <stdint.h>

#include "InstallLogText.h"
#include "OwnedHandle.h"
#include "Text.h"

// The log file an administrator asks for with /LOG=FILE. Every line goes to the system as it is
// written, so a run that crashes leaves its log up to the last action it finished.
class InstallLog {
 public:
  // Creates or replaces the file; false when it cannot be (GetLastError tells why).
  bool Open(const Text& path);
  bool IsOpen() const { return file_.Valid(); }
  // Lets another process write the file for a while (Suspend), then goes on after what it
  // wrote (Resume). Nothing is written in between.
  void Suspend() { file_.Reset(); }
  void Resume();
  const Text& Path() const { return path_; }
  void Write(const Text& text);
  void WriteOutcome(const Text& action, uint32_t error);
  void WriteExitCode(uint32_t code);
  // The system's text for a Windows error code or an HRESULT; empty when it has none.
  static Text ErrorText(uint32_t error);
  static InstallLogText::Time Now();

 private:
  FileHandle file_;
  Text path_;  // empty when none was opened
};
