#include "UninstallJournal.h"
#include "WideText.h"

bool UninstallJournal::Open(const Text& logPath, const Text& productName, const UninstallLog& log) {
  Text path = UninstallLog::JournalPath(logPath);
  HANDLE file =
      CreateFileW(WideText(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Without the new file the lines go on into the one open so far.
  if (file == INVALID_HANDLE_VALUE) return false;
  if (file_.Valid()) previous_ = path_;
  *file_.Receive() = file;
  path_ = path;
  Append(productName + "\r\n");
  // The lines kept from an earlier log or journal first: the file they came from is replaced at
  // the end of the run, and a run that ends before must not lose them.
  for (uint32_t i = log.EarlierCount(); i > 0; --i) Append(log.EarlierAt(i - 1));
  for (uint32_t i = 0; i < log.LineCount(); ++i) Append(log.LineAt(i));
  return true;
}

void UninstallJournal::Announce(int type, const Text& text) {
  Text line;
  if (UninstallLog::FormatChange(type, text, &line)) Append(line);
}

void UninstallJournal::Append(const Text& line) {
  DWORD written = 0;
  if (file_.Valid()) WriteFile(file_.Get(), line.Data(), line.Length(), &written, nullptr);
}

void UninstallJournal::RemovePrevious() {
  if (!previous_.Empty()) DeleteFileW(WideText(previous_));
  previous_.Clear();
}

void UninstallJournal::Remove() {
  if (!file_.Valid()) return;
  file_.Reset();
  DeleteFileW(WideText(path_));
}
