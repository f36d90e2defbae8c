#include "InstallLog.h"

#include "WideText.h"

bool InstallLog::Open(const Text& path) {
  // Others may read it while the run goes on.
  *file_.Receive() =
      CreateFileW(WideText(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!file_.Valid()) return false;
  path_ = path;
  // UTF-8, marked so that editors do not take it for the ANSI code page.
  DWORD written = 0;
  WriteFile(file_.Get(), "\xEF\xBB\xBF", 3, &written, nullptr);
  return true;
}

void InstallLog::Resume() {
  if (path_.Empty() || file_.Valid()) return;
  *file_.Receive() =
      CreateFileW(WideText(path_), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_.Valid()) SetFilePointer(file_.Get(), 0, nullptr, FILE_END);
}

void InstallLog::Write(const Text& text) {
  if (!file_.Valid()) return;
  Text line = WideText::ToUtf8(InstallLogText::Line(Now(), text));
  DWORD written = 0;
  WriteFile(file_.Get(), line.Data(), line.Length(), &written, nullptr);
}

void InstallLog::WriteOutcome(const Text& action, uint32_t error) {
  if (file_.Valid()) Write(InstallLogText::Outcome(action, error, error ? ErrorText(error) : Text()));
}

void InstallLog::WriteExitCode(uint32_t code) {
  Text line("Exit code ");
  line.AppendDecimal(code);
  Write(line);
}

Text InstallLog::ErrorText(uint32_t error) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text = length && buffer ? WideText::ToText(buffer, int(length)) : Text();
  if (buffer) LocalFree(buffer);
  return text;
}

InstallLogText::Time InstallLog::Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return InstallLogText::Time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
