#include "SharedItems.h"

#include <windows.h>

#include "MappedFile.h"
#include "OwnedHandle.h"
#include "UninstallLog.h"

namespace {
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The log a Velmora registration names.
Text RegisteredLog(HKEY products, const Text& product) {
  char command[2048];
  DWORD size = sizeof(command) - 1;
  if (RegGetValueA(products, product.CStr(), "UninstallString", RRF_RT_REG_SZ, nullptr, command, &size) !=
      ERROR_SUCCESS)
    return Text();
  return UninstallLog::LogOfCommand(Text(command));
}

// Whether a line of the log lies inside what line names, and whether the log records line itself.
bool HoldsInside(const Text& logPath, const LogLine& line, bool* recorded) {
  MappedFile file;
  UninstallLogReader log;
  if (!file.Open(logPath.CStr()) || !log.Read(reinterpret_cast<const char*>(file.View()), file.Size())) return false;
  bool key = line.type == UninstallLogReader::kKey;
  bool inside = false;
  for (const LogLine& other : log.Lines()) {
    bool sameKind = key ? other.type == UninstallLogReader::kKey || other.type == UninstallLogReader::kValue
                        : other.type == UninstallLogReader::kFolder || other.type == UninstallLogReader::kFile ||
                              other.type == UninstallLogReader::kServer;
    if (!sameKind) continue;
    if (other.type == line.type && lstrcmpiA(other.text.CStr(), line.text.CStr()) == 0) *recorded = true;
    if (UninstallLog::IsInsideFolder(other.text, line.text)) inside = true;
  }
  return inside;
}

bool Append(const Text& logPath, const LogLine& line) {
  FileHandle file(CreateFileA(logPath.CStr(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return false;
  UninstallLog added;
  if (!added.Add(line.type, line.text)) return false;
  const Text& change = added.Newest();
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
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof(name);
      if (RegEnumKeyExA(products.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      Text logPath = RegisteredLog(products.Get(), Text(name, length));
      bool recorded = false;
      if (logPath.Empty() || lstrcmpiA(logPath.CStr(), ownLog.CStr()) == 0 || !HoldsInside(logPath, line, &recorded))
        continue;
      if (recorded || Append(logPath, line)) return logPath;
    }
  }
  return Text();
}

}  // namespace SharedItems
