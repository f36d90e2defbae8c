#include "Uninstaller.h"

#include <windows.h>
#include <oleauto.h>
#include <stdlib.h>

#include "InstallScope.h"
#include "OwnedHandle.h"
#include "RegistryLocation.h"
#include "SharedItems.h"
#include "SystemApi.h"
#include "UninstallLog.h"
#include "WideText.h"

namespace {
const char kTypeLibraries[] = "TypeLib\\";
const char kFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// The system's count of the users of each shared file, by its path.
const char kSharedFiles[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
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

bool SamePath(const Text& a, const Text& b) { return !b.Empty() && WideText::SameIgnoringCase(a, b); }

// Whether text names the key or something inside it, letter case not told apart.
bool IsKeyOrInside(const Text& text, const Text& key) {
  return SamePath(text, key) ||
         (text.Length() > key.Length() && text[key.Length()] == '\\' &&
          WideText::SameIgnoringCase(text.Left(key.Length()), key));
}

// The program the product's registration starts: the first word of its uninstall command, or
// the quoted text it begins with.
Text RegisteredProgram(uint32_t root, const Text& key) {
  Text text = InstallScope::RegisteredCommand(InstallScope::RootKey(root), key);
  if (!text.Empty() && text[0] == '"') {
    uint32_t close = text.FindChar('"', 1);
    return close == Text::kNotFound ? Text() : text.Mid(1, close - 1);
  }
  uint32_t blank = text.FindChar(' ');
  return blank == Text::kNotFound ? text : text.Left(blank);
}

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// What a refusal with this code means for the line: gone is done; in use, access denied or a
// drive or share out of reach may pass; anything else will not change by trying again.
Uninstaller::Undone Refused(DWORD error) {
  if (IsGone(error)) return Uninstaller::kUndone;
  switch (error) {
    case ERROR_DIR_NOT_EMPTY:
      return Uninstaller::kLeftInPlace;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_BAD_NET_NAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_SERVICE_DATABASE_LOCKED:
      return Uninstaller::kLater;
  }
  return Uninstaller::kNever;
}

// The outcome of a registry call, which returns its code rather than setting it.
Uninstaller::Undone RegistryOutcome(LONG result, DWORD* error) {
  *error = DWORD(result);
  return result == ERROR_SUCCESS ? Uninstaller::kUndone : Refused(DWORD(result));
}

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

LONG DeleteKeyTree(HKEY parent, const Text& path) {
  RegistryKey key;
  LONG result = OpenKey(parent, path, KEY_READ, &key);
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result != ERROR_SUCCESS) return result;
  for (Text child = SubkeyName(key.Get(), 0); !child.Empty(); child = SubkeyName(key.Get(), 0))
    if ((result = DeleteKeyTree(key.Get(), child)) != ERROR_SUCCESS) return result;
  key.Reset();
  return RegDeleteKeyW(parent, WideText(path));
}

// Lowers the count of a shared file's users; true while others still use it. A file without a
// count is the product's alone.
bool StillShared(const Text& path) {
  RegistryKey key;
  if (OpenKey(HKEY_LOCAL_MACHINE, kSharedFiles, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  WideText name(path);
  DWORD count = 0, size = sizeof(count), type = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(count))
    return false;
  if (count <= 1) {
    RegDeleteValueW(key.Get(), name);
    return false;
  }
  --count;
  return RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count)) ==
         ERROR_SUCCESS;
}

Uninstaller::Undone RemoveFolder(const Text& path, DWORD* error) {
  if (RemoveDirectoryW(WideText(path))) return Uninstaller::kUndone;
  *error = GetLastError();
  return Refused(*error);
}

// A library that is gone took its registration's purpose with it; one that loads but cannot
// unregister itself never will.
Uninstaller::Undone UnregisterServer(const Text& path, DWORD* error) {
  if (GetFileAttributesW(WideText(path)) == INVALID_FILE_ATTRIBUTES && IsGone(GetLastError())) return Uninstaller::kUndone;
  Library library(SystemApi::LoadLibraryWithItsFolder(path.CStr()));
  if (!library.Valid()) {
    *error = GetLastError();
    return Refused(*error);
  }
  typedef HRESULT(STDAPICALLTYPE * EntryFn)();
  FARPROC found = GetProcAddress(library.Get(), "DllUnregisterServer");
  EntryFn entry = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(found));
  if (!entry) {
    *error = ERROR_PROC_NOT_FOUND;
    return Uninstaller::kNever;
  }
  HRESULT result = entry();
  if (SUCCEEDED(result)) return Uninstaller::kUndone;
  *error = DWORD(result);
  return result == E_ACCESSDENIED ? Uninstaller::kLater : Uninstaller::kNever;
}

// Only a key that holds nothing goes: anything left in it was put there by someone else, and
// it stays for them.
Uninstaller::Undone RemoveKey(const Text& text, DWORD* error) {
  RegistryLocation where;
  if (!RegistryLocation::ParseKey(text, &where)) return Uninstaller::kNever;
  RegistryKey key;
  LONG result = OpenKey(InstallScope::RootKey(where.root), where.key.CStr(), KEY_READ, &key);
  DWORD subkeys = 0, values = 0;
  if (result == ERROR_SUCCESS)
    result = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return RegistryOutcome(result, error);
  key.Reset();
  if (subkeys != 0 || values != 0) return Uninstaller::kLeftInPlace;
  return RegistryOutcome(RegDeleteKeyW(InstallScope::RootKey(where.root), WideText(where.key)), error);
}

// Installed for every user or for one, a font is listed in the same key of its scope's root.
bool IsFontRegistration(const RegistryLocation& where) {
  return (where.root == InstallScope::RegistryRoot(false) || where.root == InstallScope::RegistryRoot(true)) &&
         lstrcmpiA(where.key.CStr(), kFontsKey) == 0;
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

Uninstaller::Undone RemoveValue(const Text& text, bool* fontRemoved, DWORD* error) {
  RegistryLocation where;
  if (!RegistryLocation::ParseValue(text, &where)) return Uninstaller::kNever;
  RegistryKey key;
  bool font = IsFontRegistration(where);
  LONG opened = OpenKey(InstallScope::RootKey(where.root), where.key, KEY_SET_VALUE | (font ? KEY_QUERY_VALUE : 0), &key);
  if (opened == ERROR_SUCCESS && font) {
    // The session keeps the font, and its file in use, until its resource goes.
    Text file = RegisteredFontFile(key.Get(), where.valueName);
    if (!file.Empty()) {
      RemoveFontResourceW(WideText(file));
      *fontRemoved = true;
    }
  }
  if (opened != ERROR_SUCCESS) return RegistryOutcome(opened, error);
  return RegistryOutcome(RegDeleteValueW(key.Get(), WideText(where.valueName)), error);
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
Uninstaller::Undone UnregisterTypeLibrary(const Text& text, DWORD* error) {
  GUID guid;
  if (!ParseGuid(text, &guid)) return Uninstaller::kNever;
  Text path = Text(kTypeLibraries) + text;
  RegistryKey library;
  LONG opened = OpenKey(HKEY_CLASSES_ROOT, path.CStr(), KEY_READ, &library);
  if (opened != ERROR_SUCCESS) return RegistryOutcome(opened, error);
  List<TypeLibraryVersion> versions;
  ListVersions(library.Get(), &versions);
  library.Reset();
  // The installer registers a library for its own kind of process, as this uninstaller is.
  const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  for (const TypeLibraryVersion& v : versions) UnRegisterTypeLib(guid, v.major, v.minor, v.locale, kind);
  return RegistryOutcome(DeleteKeyTree(HKEY_CLASSES_ROOT, path), error);
}

Uninstaller::Undone RemoveService(const Text& name, DWORD* error) {
  // The installer logs a service name before expanding it: one with a variable reference
  // cannot be looked up.
  if (name.Find("${", 2) != Text::kNotFound) return Uninstaller::kNever;
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  ServiceHandle service(manager.Valid() ? OpenServiceW(manager.Get(), WideText(name),
                                                       SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE)
                                        : nullptr);
  if (!service.Valid()) {
    *error = GetLastError();
    return *error == ERROR_SERVICE_DOES_NOT_EXIST ? Uninstaller::kUndone : Refused(*error);
  }
  SERVICE_STATUS status = {};
  if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < kStopPolls && QueryServiceStatus(service.Get(), &status) &&
                    status.dwCurrentState != SERVICE_STOPPED;
         ++i)
      Sleep(kStopPollMs);
  }
  if (DeleteService(service.Get())) return Uninstaller::kUndone;
  *error = GetLastError();
  return *error == ERROR_SERVICE_MARKED_FOR_DELETE ? Uninstaller::kUndone : Refused(*error);
}
}  // namespace

bool Uninstaller::RegisteredForUser(const List<LogLine>& lines, const Text& productName) {
  Text key = "HKCU\\" + (Text(InstallScope::kUninstallKey) + productName);
  for (const LogLine& line : lines)
    if (line.type == UninstallLogReader::kValue && IsKeyOrInside(line.text, key)) return true;
  return false;
}

void Uninstaller::Run(const List<LogLine>& lines, const Text& logPath, const Text& productName, InstallLog* report) {
  Text key = Text(InstallScope::kUninstallKey) + productName;
  perUser_ = RegisteredForUser(lines, productName);
  Text registration = (perUser_ ? "HKCU\\" : "HKLM\\") + key;
  Text journalPath = UninstallLog::JournalPath(logPath);
  Text program = RegisteredProgram(InstallScope::RegistryRoot(perUser_), key);
  List<LogLine> last;
  for (const LogLine& line : lines) {
    bool keepsRemovable =
        ((line.type == UninstallLogReader::kKey || line.type == UninstallLogReader::kValue) &&
         IsKeyOrInside(line.text, registration)) ||
        // The keys around it, which a first install for a user makes below that user's root.
        (line.type == UninstallLogReader::kKey && IsKeyOrInside(registration, line.text)) ||
        (line.type == UninstallLogReader::kFile &&
         (SamePath(line.text, logPath) || SamePath(line.text, journalPath) || SamePath(line.text, program))) ||
        (line.type == UninstallLogReader::kFolder && UninstallLog::IsInsideFolder(logPath, line.text));
    if (keepsRemovable) {
      last.Append(line);
      continue;
    }
    Undone undone = UndoReported(line, report);
    // A later run tries again what stays, since what held a folder or key may be gone by then.
    // The outcome must not depend on whether the list could grow.
    if (undone == kLater || undone == kLeftInPlace) kept_.Append(line);
    if (undone == kLater) {
      retry_ = later_ = true;
      remaining_.Append(line.text);
    }
  }
  if (retry_) {
    for (const LogLine& line : last) kept_.Append(line);
  } else {
    for (const LogLine& line : last) {
      if (UndoReported(line, report) != kLater) continue;
      later_ = true;
      remaining_.Append(line.text);
    }
    if (fontsChanged_)
      SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, nullptr);
    for (const LogLine& line : leftInPlace_) {
      Text taker = SharedItems::HandOver(line, logPath);
      if (!taker.Empty()) report->Write("        " + line.text + " is left to the product of " + taker);
    }
  }
  for (const Text& text : never_) remaining_.Append(text);
}

Uninstaller::Undone Uninstaller::UndoReported(const LogLine& line, InstallLog* report) {
  SetLastError(ERROR_SUCCESS);
  DWORD error = 0;
  Undone undone = Undo(line, &error);
  switch (undone) {
    case kUndone:
      report->WriteOutcome(ActionName(line), 0);
      break;
    case kLeftInPlace:
      report->Write("kept    " + ActionName(line) + ": it holds what the product did not install");
      leftInPlace_.Append(line);
      if (line.type == UninstallLogReader::kFolder) foldersLeft_.Append(line.text);
      break;
    case kLater:
      report->WriteOutcome(ActionName(line), error ? error : ERROR_CAN_NOT_COMPLETE);
      break;
    case kNever:
      report->WriteOutcome(ActionName(line) + " (can never be undone, dropped)",
                           error ? error : ERROR_INVALID_DATA);
      never_.Append(line.text);
      break;
  }
  return undone;
}

Uninstaller::Undone Uninstaller::Undo(const LogLine& line, DWORD* error) {
  bool pathLine = line.type == UninstallLogReader::kFolder || line.type == UninstallLogReader::kFile ||
                  line.type == UninstallLogReader::kServer;
  // A relative path would depend on the current folder: it never names the product's file.
  if (pathLine && !line.HasFullPath()) return kNever;
  switch (line.type) {
    case UninstallLogReader::kFolder:
      return RemoveFolder(line.text, error);
    case UninstallLogReader::kFile:
      return RemoveFile(line.text, error);
    case UninstallLogReader::kServer: {
      UserClasses classes(perUser_);
      return UnregisterServer(line.text, error);
    }
    case UninstallLogReader::kKey:
      return RemoveKey(line.text, error);
    case UninstallLogReader::kValue:
      return RemoveValue(line.text, &fontsChanged_, error);
    case UninstallLogReader::kTypeLibrary: {
      UserClasses classes(perUser_);
      return UnregisterTypeLibrary(line.text, error);
    }
    case UninstallLogReader::kService:
      return RemoveService(line.text, error);
  }
  return kNever;
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

Uninstaller::Undone Uninstaller::RemoveFile(const Text& path, DWORD* error) {
  WideText wide(path);
  DWORD attributes = GetFileAttributesW(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *error = GetLastError();
    return Refused(*error);
  }
  // A folder has taken the file's place: it is someone else's.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return kLeftInPlace;
  if (StillShared(path)) return kUndone;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileW(wide)) return kUndone;
  *error = GetLastError();
  if (MoveAside(path)) return kUndone;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(wide, attributes);
  Undone undone = Refused(*error);
  // Should no run come before the restart, the file still goes then (where this process may ask).
  if (undone == kLater) MoveFileExW(wide, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return undone;
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
