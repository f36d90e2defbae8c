#include "Uninstaller.h"

#include <windows.h>
#include <oleauto.h>
#include <stdlib.h>

#include "OwnedHandle.h"
#include "RegistryLocation.h"
#include "SystemApi.h"
#include "UninstallLog.h"
#include "WideText.h"

namespace {
const char kTypeLibraries[] = "TypeLib\\";
const uint32_t kLocalMachine = 0x80000002u;
const char kFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const DWORD kBroadcastTimeoutMs = 1000;
const uint32_t kGuidLength = 38;
// A service gets this long to stop before it is deleted anyway (it then goes once it stops).
const int kStopPolls = 50;
const DWORD kStopPollMs = 200;

struct ServiceTraits {
  typedef SC_HANDLE Type;
  static SC_HANDLE None() { return nullptr; }
  static void Close(SC_HANDLE handle) { CloseServiceHandle(handle); }
};
typedef OwnedHandle<ServiceTraits> ServiceHandle;

struct LibraryTraits {
  typedef HMODULE Type;
  static HMODULE None() { return nullptr; }
  static void Close(HMODULE module) { FreeLibrary(module); }
};
typedef OwnedHandle<LibraryTraits> Library;

struct TypeLibraryVersion {
  WORD major;
  WORD minor;
  LCID locale;
};

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool SamePath(const Text& a, const Text& b) { return !b.Empty() && WideText::SameIgnoringCase(a, b); }

// Whether text names the key or something inside it, letter case not told apart.
bool IsKeyOrInside(const Text& text, const Text& key) {
  return SamePath(text, key) ||
         (text.Length() > key.Length() && text[key.Length()] == '\\' &&
          WideText::SameIgnoringCase(text.Left(key.Length()), key));
}

// The program the product's registration starts: the first word of its uninstall command, or
// the quoted text it begins with.
Text RegisteredProgram(const Text& key) {
  wchar_t command[2048];
  DWORD size = sizeof(command) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, WideText(key), L"UninstallString", RRF_RT_REG_SZ, nullptr, command, &size) !=
      ERROR_SUCCESS)
    return Text();
  Text text = WideText::ToText(command);
  if (!text.Empty() && text[0] == '"') {
    uint32_t close = text.FindChar('"', 1);
    return close == Text::kNotFound ? Text() : text.Mid(1, close - 1);
  }
  uint32_t blank = text.FindChar(' ');
  return blank == Text::kNotFound ? text : text.Left(blank);
}

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

HKEY RootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

LONG OpenKey(HKEY parent, const Text& path, REGSAM access, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExW(parent, WideText(path), 0, access, &opened);
  if (result == ERROR_SUCCESS) *key->Receive() = opened;
  return result;
}

// The name of subkey number index, or the empty text when there is none.
Text SubkeyName(HKEY key, DWORD index) {
  wchar_t name[256];
  DWORD length = 256;
  if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) return Text();
  return WideText::ToText(name, int(length));
}

bool DeleteKeyTree(HKEY parent, const Text& path) {
  RegistryKey key;
  LONG opened = OpenKey(parent, path, KEY_READ, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  for (Text child = SubkeyName(key.Get(), 0); !child.Empty(); child = SubkeyName(key.Get(), 0))
    if (!DeleteKeyTree(key.Get(), child)) return false;
  key.Reset();
  return RegDeleteKeyW(parent, WideText(path)) == ERROR_SUCCESS;
}

bool RemoveFolder(const Text& path) { return RemoveDirectoryW(WideText(path)) || IsGone(GetLastError()); }

bool UnregisterServer(const Text& path) {
  Library library(SystemApi::LoadLibraryWithItsFolder(path.CStr()));
  if (!library.Valid()) return false;
  typedef HRESULT(STDAPICALLTYPE * EntryFn)();
  FARPROC found = GetProcAddress(library.Get(), "DllUnregisterServer");
  EntryFn entry = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(found));
  return entry && SUCCEEDED(entry());
}

// Only a key that holds nothing goes: anything left in it was put there by someone else.
bool RemoveKey(const Text& text) {
  RegistryLocation where;
  if (!RegistryLocation::ParseKey(text, &where)) return false;
  RegistryKey key;
  LONG opened = OpenKey(RootKey(where.root), where.key, KEY_READ, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  DWORD subkeys = 0, values = 0;
  if (opened != ERROR_SUCCESS || RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  key.Reset();
  return subkeys == 0 && values == 0 && RegDeleteKeyW(RootKey(where.root), WideText(where.key)) == ERROR_SUCCESS;
}

bool IsFontRegistration(const RegistryLocation& where) {
  return where.root == kLocalMachine && lstrcmpiA(where.key.CStr(), kFontsKey) == 0;
}

// The font file a registration names: a bare file name lies in the system's fonts folder.
Text RegisteredFontFile(HKEY key, const Text& valueName) {
  wchar_t data[MAX_PATH + 1] = {0};
  DWORD size = MAX_PATH * sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, WideText(valueName), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return Text();
  Text file = WideText::ToText(data);
  if (file.Empty() || file.FindChar('\\') != Text::kNotFound) return file;
  wchar_t fonts[MAX_PATH];
  UINT length = GetWindowsDirectoryW(fonts, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Text();
  return WideText::ToText(fonts, int(length)) + "\\Fonts\\" + file;
}

bool RemoveValue(const Text& text, bool* fontRemoved) {
  RegistryLocation where;
  if (!RegistryLocation::ParseValue(text, &where)) return false;
  RegistryKey key;
  bool font = IsFontRegistration(where);
  LONG opened = OpenKey(RootKey(where.root), where.key, KEY_SET_VALUE | (font ? KEY_QUERY_VALUE : 0), &key);
  if (opened == ERROR_SUCCESS && font) {
    // The session keeps the font, and its file in use, until its resource goes.
    Text file = RegisteredFontFile(key.Get(), where.valueName);
    if (!file.Empty()) {
      RemoveFontResourceW(WideText(file));
      *fontRemoved = true;
    }
  }
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  LONG deleted = RegDeleteValueW(key.Get(), WideText(where.valueName));
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool ParseGuid(const Text& text, GUID* guid) {
  if (text.Length() != kGuidLength) return false;
  WCHAR wide[kGuidLength + 1];
  for (uint32_t i = 0; i <= kGuidLength; ++i) wide[i] = WCHAR(static_cast<unsigned char>(text.Data()[i]));
  return SUCCEEDED(IIDFromString(wide, guid));
}

// Version keys are named "major.minor" and locale keys by the locale, both in hexadecimal.
bool ParseHex(const Text& text, char end, uint32_t from, uint32_t* value, uint32_t* next) {
  char* stop = nullptr;
  const char* start = text.CStr() + from;
  *value = strtoul(start, &stop, 16);
  if (stop == start || *stop != end) return false;
  *next = uint32_t(stop - text.CStr()) + 1;
  return true;
}

void ListVersions(HKEY library, List<TypeLibraryVersion>* versions) {
  for (DWORD v = 0;; ++v) {
    Text name = SubkeyName(library, v);
    if (name.Empty()) return;
    uint32_t major = 0, minor = 0, at = 0;
    RegistryKey version;
    if (!ParseHex(name, '.', 0, &major, &at) || !ParseHex(name, 0, at, &minor, &at) ||
        OpenKey(library, name, KEY_READ, &version) != ERROR_SUCCESS)
      continue;
    for (DWORD l = 0;; ++l) {
      Text locale = SubkeyName(version.Get(), l);
      uint32_t lcid = 0;
      if (locale.Empty()) break;
      if (ParseHex(locale, 0, 0, &lcid, &at)) versions->Append(TypeLibraryVersion{WORD(major), WORD(minor), lcid});
    }
  }
}

// The platform unregisters each version it finds; what it leaves behind goes by hand.
bool UnregisterTypeLibrary(const Text& text) {
  GUID guid;
  if (!ParseGuid(text, &guid)) return false;
  Text path = Text(kTypeLibraries) + text;
  RegistryKey library;
  LONG opened = OpenKey(HKEY_CLASSES_ROOT, path, KEY_READ, &library);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  List<TypeLibraryVersion> versions;
  ListVersions(library.Get(), &versions);
  library.Reset();
  // The installer registers a library for its own kind of process, as this uninstaller is.
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  for (const TypeLibraryVersion& v : versions) UnRegisterTypeLib(guid, v.major, v.minor, v.locale, kind);
  return DeleteKeyTree(HKEY_CLASSES_ROOT, path);
}

bool RemoveService(const Text& name) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.Valid()) return false;
  ServiceHandle service(OpenServiceW(manager.Get(), WideText(name), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service.Valid()) {
    // The installer logs a service name before expanding it: one with a variable reference
    // cannot be looked up, and not finding it proves nothing.
    return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST && name.Find("${", 2) == Text::kNotFound;
  }
  SERVICE_STATUS status = {};
  if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < kStopPolls && QueryServiceStatus(service.Get(), &status) &&
                    status.dwCurrentState != SERVICE_STOPPED;
         ++i)
      Sleep(kStopPollMs);
  }
  return DeleteService(service.Get()) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}
}  // namespace

void Uninstaller::Run(const List<LogLine>& lines, const Text& logPath, const Text& productName, InstallLog* report) {
  Text registration = Text(kUninstallKey) + productName;
  Text journalPath = UninstallLog::JournalPath(logPath);
  Text program = RegisteredProgram(registration);
  List<LogLine> last;
  for (const LogLine& line : lines) {
    bool keepsRemovable =
        ((line.type == UninstallLogReader::kKey || line.type == UninstallLogReader::kValue) &&
         IsKeyOrInside(line.text, Text("HKLM\\") + registration)) ||
        (line.type == UninstallLogReader::kFile &&
         (SamePath(line.text, logPath) || SamePath(line.text, journalPath) || SamePath(line.text, program))) ||
        (line.type == UninstallLogReader::kFolder && UninstallLog::IsInsideFolder(logPath, line.text));
    if (keepsRemovable) {
      last.Append(line);
      continue;
    }
    if (UndoReported(line, report)) continue;
    // The outcome must not depend on whether the list could grow.
    complete_ = false;
    retry_ = true;
    remaining_.Append(line.text);
    kept_.Append(line);
  }
  if (retry_) {
    for (const LogLine& line : last) kept_.Append(line);
    return;
  }
  for (const LogLine& line : last) {
    if (UndoReported(line, report)) continue;
    complete_ = false;
    remaining_.Append(line.text);
  }
  if (fontsChanged_)
    SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, nullptr);
}

bool Uninstaller::UndoReported(const LogLine& line, InstallLog* report) {
  SetLastError(ERROR_SUCCESS);
  bool undone = Undo(line);
  // Not every refusal comes with a code (a key that still holds values of others).
  DWORD error = undone ? 0 : GetLastError();
  report->WriteOutcome(ActionName(line), undone ? 0 : error ? error : ERROR_CAN_NOT_COMPLETE);
  return undone;
}

bool Uninstaller::Undo(const LogLine& line) {
  switch (line.type) {
    case UninstallLogReader::kFolder:
      return line.HasFullPath() && RemoveFolder(line.text);
    case UninstallLogReader::kFile:
      return line.HasFullPath() && RemoveFile(line.text);
    case UninstallLogReader::kServer:
      return line.HasFullPath() && UnregisterServer(line.text);
    case UninstallLogReader::kKey:
      return RemoveKey(line.text);
    case UninstallLogReader::kValue:
      return RemoveValue(line.text, &fontsChanged_);
    case UninstallLogReader::kTypeLibrary:
      return UnregisterTypeLibrary(line.text);
    case UninstallLogReader::kService:
      return RemoveService(line.text);
  }
  return false;
}

Text Uninstaller::ActionName(const LogLine& line) {
  switch (line.type) {
    case UninstallLogReader::kFolder:
      return "Remove folder " + line.text;
    case UninstallLogReader::kFile:
      return "Remove file " + line.text;
    case UninstallLogReader::kServer:
      return "Unregister library " + line.text;
    case UninstallLogReader::kKey:
      return "Remove registry key " + line.text;
    case UninstallLogReader::kValue:
      return "Remove registry value " + line.text;
    case UninstallLogReader::kTypeLibrary:
      return "Unregister type library " + line.text;
    case UninstallLogReader::kService:
      return "Remove service " + line.text;
  }
  return line.text;
}

bool Uninstaller::RemoveFile(const Text& path) {
  WideText wide(path);
  DWORD attributes = GetFileAttributesW(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) return IsGone(GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileW(wide) || MoveAside(path)) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide, attributes);
  return false;
}

// A file in use (this program's original among them) cannot be deleted, but it can be moved
// out of the product's folders, which then can go. It can only move within its volume: when the
// temporary folder lies on another one, the file goes to its own volume's root folder.
bool Uninstaller::MoveAside(const Text& path) {
  wchar_t folder[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length > 0 && length < MAX_PATH && MoveInto(folder, path)) return true;
  return GetVolumePathNameW(WideText(path), folder, MAX_PATH) && MoveInto(folder, path);
}

bool Uninstaller::MoveInto(const wchar_t* folder, const Text& path) {
  wchar_t name[MAX_PATH];
  if (!GetTempFileNameW(folder, L"uni", 0, name)) return false;
  if (!MoveFileExW(WideText(path), name, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(name);
    return false;
  }
  // Should this program end before the file's users do, it still goes at the next restart.
  MoveFileExW(name, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  moved_.Append(WideText::ToText(name));
  return true;
}

void Uninstaller::DeleteMovedFiles() {
  for (const Text& file : moved_) DeleteFileW(WideText(file));
}
