#include "SharedItems.h"

#include <windows.h>

#include "InstallScope.h"
#include "LogFileText.h"
#include "MappedFile.h"
#include "OwnedHandle.h"
#include "UninstallLog.h"
#include "WideText.h"

namespace {
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The log a Velmora registration names.
Text RegisteredLog(HKEY products, const Text& product) {
  return UninstallLog::LogOfCommand(InstallScope::RegisteredCommand(products, product));
}

// Whether a line of the log lies inside what line names, and whether the log records line itself.
bool HoldsInside(const Text& logPath, const LogLine& line, bool* recorded) {
  MappedFile file;
  UninstallLogReader log;
  if (!file.Open(logPath.CStr())) return false;
  Text bytes = LogFileText::Utf8Of(file);
  if (!log.Read(bytes.Data(), bytes.Length())) return false;
  bool key = line.type == UninstallLogReader::kKey;
  bool inside = false;
  for (const LogLine& other : log.Lines()) {
    bool sameKind = key ? other.type == UninstallLogReader::kKey || other.type == UninstallLogReader::kValue
                        : other.type == UninstallLogReader::kFolder || other.type == UninstallLogReader::kFile ||
                              other.type == UninstallLogReader::kServer;
    if (!sameKind) continue;
    if (other.type == line.type && WideText::SameIgnoringCase(other.text, line.text)) *recorded = true;
    if (UninstallLog::IsInsideFolder(other.text, line.text)) inside = true;
  }
  return inside;
}

bool Append(const Text& logPath, const LogLine& line) {
  bool utf8Log = false;
  {
    MappedFile earlier;
    if (!earlier.Open(logPath.CStr())) return false;
    utf8Log = UninstallLogReader::StartsWithByteOrderMark(reinterpret_cast<const char*>(earlier.View()), earlier.Size());
  }
  FileHandle file(CreateFileW(WideText(logPath), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return false;
  UninstallLog added;
  if (!added.Add(line.type, line.text)) return false;
  const Text change = LogFileText::InLogCodePage(added.Newest(), utf8Log);
  DWORD written = 0;
  return WriteFile(file.Get(), change.Data(), change.Length(), &written, nullptr) && written == change.Length();
}
}  // namespace

namespace SharedItems {

Text HandOver(const LogLine& line, const Text& ownLog) {
  // Products installed for every user and those of the current user may share a folder or key.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    RegistryKey products;
    if (RegOpenKeyExA(root, kUninstallKey, 0, KEY_READ, products.Receive()) != ERROR_SUCCESS) continue;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(products.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      Text logPath = RegisteredLog(products.Get(), WideText::ToText(name, int(length)));
      bool recorded = false;
      if (logPath.Empty() || WideText::SameIgnoringCase(logPath, ownLog) || !HoldsInside(logPath, line, &recorded))
        continue;
      if (recorded || Append(logPath, line)) return logPath;
    }
  }
  return Text();
}

}  // namespace SharedItems
