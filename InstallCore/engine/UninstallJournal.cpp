#include "UninstallJournal.h"
#include "WideText.h"

bool UninstallJournal::Open(const Text& logPath, const Text& productName, const UninstallLog& log) {
  path_ = UninstallLog::JournalPath(logPath);
  *file_.Receive() =
      CreateFileW(WideText(path_), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!file_.Valid()) return false;
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

void UninstallJournal::Remove() {
  if (!file_.Valid()) return;
  file_.Reset();
  DeleteFileW(WideText(path_));
}
