#include "ChildProcess.h"

#include <stdio.h>

ChildProcess::~ChildProcess() {
  if (info_.hProcess) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 999);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

bool ChildProcess::Start(const std::string& commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_) != 0;
}

long ChildProcess::Wait(DWORD timeoutMs) {
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(info_.hProcess, 999);
    WaitForSingleObject(info_.hProcess, 5000);
    return -1000;
  }
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return static_cast<long>(code);
}

namespace {
struct DialogSearch {
  DWORD processId;
  const char* caption;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  if (owner == search->processId && lstrcmpA(className, "#32770") == 0 &&
      WindowText(window) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND ChildProcess::FindDialog(const char* caption, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  for (;;) {
    DialogSearch search = {info_.dwProcessId, caption, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (GetTickCount() - start >= timeoutMs || WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0)
      return nullptr;
    Sleep(50);
  }
}

std::string WindowText(HWND window) {
  char buffer[4096] = {};
  SendMessageA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::string WindowTextUtf8(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
  char utf8[4 * 4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
  return utf8;
}

namespace {
struct CaptionSearch {
  std::string caption;
  HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
  CaptionSearch* search = reinterpret_cast<CaptionSearch*>(param);
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") != 0 || !IsWindowVisible(window) || WindowTextUtf8(window) != search->caption)
    return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

HWND FindDialogAnywhere(const std::string& caption, DWORD timeoutMs) {
  CaptionSearch search = {caption, nullptr};
  for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
  }
  return nullptr;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes->clear();
  unsigned char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  fclose(file);
  return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

std::string TempFolder() {
  char buffer[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  return std::string(buffer, n);
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string result = "Z:" + path;
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

std::string EnvironmentValue(const char* name) {
  char buffer[32768];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}
