#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Test-side control of a program started as its own process, and of the windows it shows.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::string& commandLine);
  // Exit code, or -1000 if the process had not ended within the time-out (it is then killed).
  long Wait(DWORD timeoutMs);
  DWORD Id() const { return info_.dwProcessId; }

  // A top-level dialog of this process with the given caption, polled for up to timeoutMs.
  HWND FindDialog(const char* caption, DWORD timeoutMs) const;

 private:
  PROCESS_INFORMATION info_ = {};
};

std::string WindowText(HWND window);
// A window's text read through the wide functions (also from another process), in UTF-8.
std::string WindowTextUtf8(HWND window);
// A visible top-level dialog of any process (an uninstaller's copy shows its own) whose caption is
// the UTF-8 text given, polled for up to timeoutMs.
HWND FindDialogAnywhere(const std::string& caption, DWORD timeoutMs);
// Reads a whole file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes);
bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::string TempFolder();
// A path from the Linux side (as CTest passes it) in the form Windows programs use: Z:\...
std::string WindowsPath(const std::string& path);
// The environment variable's value, or "" when unset.
std::string EnvironmentValue(const char* name);
