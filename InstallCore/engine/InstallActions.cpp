#include <shlobj.h>
#include <string.h>

#include "Bstr.h"
#include "CommandLine.h"
#include "FolderSecurity.h"
#include "InstallEngine.h"
#include "InstallScope.h"
#include "Kilobytes.h"
#include "Memory.h"
#include "OwnedHandle.h"
#include "ScriptHost.h"
#include "SystemFolders.h"
#include "WideText.h"

namespace {
const uint32_t kFirstPredefinedKey = 0x80000000u;  // HKEY_CLASSES_ROOT
const uint32_t kLastPredefinedKey = 0x80000006u;   // HKEY_DYN_DATA

// For a file the installer did not write itself: opened again by path.
void ApplyTimesAndAttributes(const Text& path, const FileStamp& stamp) {
  WideText widePath(path);
  FileHandle file(CreateFileW(widePath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.Valid()) SetFileTimes(file.Get(), stamp);
  file.Reset();
  SetFileAttributesW(widePath, stamp.attributes);
}

FileStamp StampOf(const FileAction& action) {
  return FileStamp{action.creationTime, action.lastAccessTime, action.lastWriteTime, action.attributes};
}

bool IsFolder(const Text& path) {
  DWORD attributes = GetFileAttributesW(WideText(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsTextValue(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Attributes that make the system refuse to replace a file.
const DWORD kGuardedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The system's count of the users of each shared file, by its path.
const char kSharedFiles[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Held open or mapped by a running program: the file can take its place at the next restart.
// Access denied is not among them: rights refused now are refused at the restart too.
bool InUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

Text Expanded(InstallEngine& engine, const Text& text) {
  Text expanded(text);
  engine.ExpandText(expanded);
  return expanded;
}

// Waits for the processes to end and closes them; the count left, 0.
DWORD WaitForAll(KernelObject* processes, DWORD count) {
  for (DWORD i = 0; i < count; ++i) {
    WaitForSingleObject(processes[i].Get(), INFINITE);
    processes[i].Reset();
  }
  return 0;
}
}  // namespace

uint32_t InstallEngine::FailureCode(HRESULT hr) {
  if (SUCCEEDED(hr)) return 0;
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
  // The generic results carry no reason; the system's last error may.
  DWORD last = (hr == E_FAIL || hr == E_INVALIDARG) ? GetLastError() : 0;
  return last ? last : uint32_t(hr);
}

void InstallEngine::RunComponentActions(uint32_t component) {
  // A damaged entry stops the install: nothing after it runs.
  for (uint32_t n = 0; DamagedEntry().Empty(); ++n) {
    Text name = ActionRecord::EntryName(component, n);
    uint32_t size = 0;
    uint8_t* record = ExtractToMemory(name.CStr(), &size);
    if (!record) return;
    RunAction(name, record, size);
    MemFree(record);
  }
}

void InstallEngine::RunAction(const Text& name, const uint8_t* bytes, uint32_t size) {
  ActionRecord record(bytes, size);
  uint32_t type;
  if (!record.ReadType(&type)) return;
  Text texts[2];
  // The automation members are called through the interface's own slots.
  IInstallerObject* automation = this;
  switch (type) {
    case kActionPackageFile:
    case kActionCopyFile: {
      FileAction action;
      if (record.ReadFile(&action)) RunFileAction(name, action, type);
      break;
    }
    case kActionRegisterFont:
      if (record.ReadTexts(texts, 1)) {
        Text path = Expanded(*this, texts[0]);
        ReportOutcome("Font " + path, AddFont(path));
      }
      break;
    case kActionRegisterServer:
      if (record.ReadTexts(texts, 1))
        ReportOutcome("Server " + Expanded(*this, texts[0]),
                      FailureCode(automation->RegisterServer(Bstr(texts[0]).Get())));
      break;
    case kActionRegisterTypeLib:
      if (record.ReadTexts(texts, 2))
        ReportOutcome("Type library " + Expanded(*this, texts[0]),
                      FailureCode(automation->RegisterTypeLib(Bstr(texts[0]).Get(), Bstr(texts[1]).Get())));
      break;
    case kActionRegistryValue: {
      RegistryAction action;
      if (record.ReadRegistry(&action)) RunRegistryAction(action);
      break;
    }
    case kActionRunProgram: {
      ProgramAction action;
      if (record.ReadProgram(&action)) RunProgramAction(action);
      break;
    }
    case kActionShortcut: {
      ShortcutAction a;
      if (record.ReadShortcut(&a))
        ReportOutcome("Shortcut " + Expanded(*this, a.shortcutFile),
                      FailureCode(automation->CreateShortcut(
                          Bstr(a.shortcutFile).Get(), Bstr(a.target).Get(), Bstr(a.description).Get(),
                          Bstr(a.arguments).Get(), Bstr(a.workingFolder).Get(), Bstr(a.iconFile).Get(), a.iconIndex,
                          a.showCommand, short(a.hotKey))));
      break;
    }
    case kActionScript:
      if (record.ReadTexts(texts, 2)) {
        ScriptHost host;
        HRESULT result = host.RunScript(texts[0], texts[1], "Installer", automation);
        ReportOutcome("Script " + texts[0] + host.ErrorText(), FailureCode(result));
      }
      break;
    case kActionService: {
      ServiceAction a;
      if (record.ReadService(&a))
        InstallService(Bstr(a.name).Get(), Bstr(a.displayName).Get(), Bstr(a.description).Get(),
                       Bstr(a.executable).Get(), a.startType);
      break;
    }
    case kActionCopyFolder:
      if (record.ReadTexts(texts, 1)) {
        Text source = ReadEntryString((name + ".d").CStr());
        if (!source.Empty()) CopyFolder(Bstr(source).Get(), Bstr(texts[0]).Get());
      }
      break;
    default:
      break;
  }
}

void InstallEngine::RunFileAction(const Text& name, const FileAction& action, uint32_t type) {
  Text destination(action.destination);
  ExpandText(destination);
  if (type == kActionPackageFile) {
    Text data = name + ".f";
    const CatalogEntry* entry = FindEntry(data.CStr());
    if (!entry) {
      ReportOutcome("File " + destination, ERROR_FILE_NOT_FOUND);
      return;
    }
    uint32_t size = entry->size;
    FileStamp stamp = StampOf(action);
    // A file written here is stamped before it is closed; when the extraction fails, a file
    // already at the destination is stamped all the same.
    if (!InstallFile(data.CStr(), destination, &stamp)) ApplyTimesAndAttributes(destination, stamp);
    doneKb = Kilobytes::Add(doneKb, size / 1024);
    return;
  }
  Text source = ReadEntryString((name + ".p").CStr());
  if (source.Empty()) return;
  ReportOutcome("Copy " + destination, FailureCode(CopyFile(Bstr(source).Get(), Bstr(destination).Get())));
  ApplyTimesAndAttributes(destination, StampOf(action));
}

void InstallEngine::RunRegistryAction(RegistryAction& action) {
  if (IsTextValue(action.valueType)) ExpandText(action.data);
  ExpandText(action.path);
  SetRegistryValue(action.root, action.path, action.valueType, reinterpret_cast<const uint8_t*>(action.data.Data()),
                   action.data.Length());
}

void InstallEngine::RunProgramAction(const ProgramAction& action) {
  DeferredProgram program{action.program, action.arguments};
  ExpandText(program.program);
  ExpandText(program.arguments);
  if (action.deferred)
    deferredPrograms.Append(program);
  else
    ReportOutcome("Program " + program.program,
                  StartProgram(program.program, program.arguments, true, nullptr) ? 0 : GetLastError());
}

namespace {
struct PackageFile {
  const char* entry;
  const FileStamp* stamp;
};

bool ExtractPackageFile(InstallEngine& engine, const char* path, void* context) {
  const PackageFile* file = static_cast<const PackageFile*>(context);
  return engine.ExtractToFile(file->entry, path, nullptr, file->stamp);
}
}  // namespace

bool InstallEngine::InstallFile(const char* entry, const Text& destination, const FileStamp* stamp) {
  Text path(destination);
  ExpandText(path);
  CreateFolders(path);
  PackageFile file = {entry, stamp};
  uint32_t error = PlaceFile(path, ExtractPackageFile, &file);
  ReportOutcome("File " + path, error);
  if (error) return false;
  WriteLog(3, path);
  return true;
}

uint32_t InstallEngine::PlaceFile(const Text& path, FileWrite write, void* context) {
  // Found in place outside the product's folder, a file may be another product's or the
  // system's: it becomes a shared file, which the uninstall deletes only with its last user.
  // One this product wrote itself, in this run or the one before, is its own already. The count
  // is the machine's, so an install for one user keeps out of it.
  bool present = MayBePresent(path) && GetFileAttributesW(WideText(path)) != INVALID_FILE_ATTRIBUTES;
  bool shared = present && !perUser && !UninstallLog::IsInsideFolder(path, productPath) && !logText.Recorded(3, path) &&
                !logText.RecordedEarlier(3, path);
  // A new file is the product's from its first byte: should the run be killed while it is
  // written, the uninstaller still finds it in the journal.
  if (!present && !UninstallLog::IsInsideFolder(path, tempPath)) journal.Announce(3, path);
  uint32_t error = WriteOver(path, write, context);
  if (error == 0 && shared) CountSharedFile(path);
  return error;
}

bool InstallEngine::MayBePresent(const Text& path) {
  // Under Wine, asking for a file that is not there reads its whole folder, for every new file
  // of a folder of thousands; in a folder of this run's own the answer is known without asking.
  Text folder = UninstallLog::FolderOf(path);
  uint32_t count = madeFolders.Count();
  for (uint32_t i = 0; i < count; ++i) {
    // Files mostly follow one another into one folder: the last match is tried first.
    uint32_t at = (lastMadeFolder + i) % count;
    if (madeFolders[at] == folder) {
      lastMadeFolder = at;
      return false;
    }
  }
  return true;
}

void InstallEngine::CountSharedFile(const Text& path) {
  RegistryKey key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedFiles, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
  if (result == ERROR_SUCCESS) {
    // A file without a count had its one user, who installed it.
    WideText name(path);
    DWORD count = 0, size = sizeof(count), type = 0;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(count) || count == 0)
      count = 1;
    ++count;
    result = RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
  }
  ReportOutcome("Shared file " + path, uint32_t(result));
}

uint32_t InstallEngine::WriteOver(const Text& path, FileWrite write, void* context) {
  if (write(*this, path.CStr(), context)) return 0;
  DWORD error = GetLastError();
  if (!DamagedEntry().Empty()) return error ? error : ERROR_INVALID_DATA;
  WideText widePath(path);
  DWORD attributes = GetFileAttributesW(widePath);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return error ? error : ERROR_WRITE_FAULT;
  if ((attributes & kGuardedAttributes) && SetFileAttributesW(widePath, attributes & ~kGuardedAttributes)) {
    if (write(*this, path.CStr(), context)) return 0;
    error = GetLastError();
    SetFileAttributesW(widePath, attributes);
  }
  if (!InUse(error)) return error ? error : ERROR_WRITE_FAULT;
  uint32_t slash = path.FindLastChar('\\');
  wchar_t wideBeside[MAX_PATH];
  if (slash == Text::kNotFound || !GetTempFileNameW(WideText(path.Left(slash)), L"vel", 0, wideBeside)) return error;
  Text beside = WideText::ToText(wideBeside);
  if (!write(*this, beside.CStr(), context) ||
      !MoveFileExW(wideBeside, widePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
    error = GetLastError();
    DeleteFileW(wideBeside);
    return error ? error : ERROR_WRITE_FAULT;
  }
  // Should the restart never come, the uninstaller still finds the waiting copy.
  WriteLog(3, beside);
  restartNeeded = true;
  return 0;
}

void InstallEngine::CreateFolders(const Text& path) {
  // Files mostly follow one another into the same folder: the prefixes of the last file's
  // folder need no new attempt while that folder is still there, which spares a system call
  // per level and file. Its check also covers anything a program or script did in between.
  uint32_t start = 0;
  uint32_t known = knownFolder.Length();
  if (known > 0 && path.Length() > known && IsPathSeparator(path[known]) &&
      memcmp(path.Data(), knownFolder.Data(), known) == 0 &&
      IsFolder(knownFolder))
    start = known + 1;
  uint32_t last = Text::kNotFound;
  for (uint32_t i = 0; i < path.Length(); ++i) {
    if (!IsPathSeparator(path[i])) continue;
    last = i;
    if (i < start) continue;
    Text folder = path.Left(i);
    if (CreateFolder(folder)) {
      WriteLog(2, folder);
      madeFolders.Append(folder);
    }
  }
  knownFolder = last == Text::kNotFound ? Text() : path.Left(last);
}

bool InstallEngine::CreateFolder(const Text& folder) {
  // Below C:\ or a data drive's root the product folder would inherit rights for every user to
  // replace the uninstaller, the log or a service program that an administrator later runs.
  // Made by an administrator, it gets the programs folder's protection instead.
  if (WideText::SameIgnoringCase(folder, productPath) &&
      !UninstallLog::IsInsideFolder(folder, SystemFolders::ProgramFiles()) &&
      !UninstallLog::IsInsideFolder(folder, SystemFolders::Special(CSIDL_PROGRAM_FILESX86)) &&
      FolderSecurity::IsElevated()) {
    if (FolderSecurity::Create(folder, FolderSecurity::kProtected)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
  }
  return CreateDirectoryW(WideText(folder), nullptr) != 0;
}

uint32_t InstallEngine::SetRegistryValue(uint32_t root, const Text& path, uint32_t type, const uint8_t* data,
                                         uint32_t length) {
  uint32_t slash = path.FindLastChar('\\');
  Text action = "Registry value " + RegistryRootPrefix(root) + path;
  // Only the predefined roots: any other value could name a handle this process happens to hold.
  if (slash == Text::kNotFound || root < kFirstPredefinedKey || root > kLastPredefinedKey) {
    ReportOutcome(action, ERROR_INVALID_PARAMETER);
    return ERROR_INVALID_PARAMETER;
  }
  Text keyPath = path.Left(slash);
  Text valueName = path.Mid(slash + 1);
  if (valueName.Equals("@")) valueName.Clear();
  RegistryKey key;
  DWORD disposition = 0;
  HKEY rootKey = InstallScope::RootKey(root);
  // The system makes missing outer keys along with the key, unasked: each is made and logged
  // on its own, outermost first, so that the uninstaller removes them too.
  for (uint32_t i = keyPath.FindChar('\\'); i != Text::kNotFound; i = keyPath.FindChar('\\', i + 1)) {
    RegistryKey outer;
    Text outerPath = keyPath.Left(i);
    if (RegCreateKeyExW(rootKey, WideText(outerPath), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                        nullptr, outer.Receive(), &disposition) == ERROR_SUCCESS &&
        disposition == REG_CREATED_NEW_KEY)
      WriteLog(5, RegistryRootPrefix(root) + outerPath);
  }
  LONG result = RegCreateKeyExW(rootKey, WideText(keyPath), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, key.Receive(), &disposition);
  if (result == ERROR_SUCCESS) {
    Text logged = RegistryRootPrefix(root) + keyPath;
    if (disposition == REG_CREATED_NEW_KEY) WriteLog(5, logged);
    // Text values are stored in UTF-16 like every name; other types keep their bytes.
    WideText text(IsTextValue(type) ? Text(reinterpret_cast<const char*>(data), length) : Text());
    if (IsTextValue(type)) data = reinterpret_cast<const uint8_t*>(text.Get()), length = uint32_t(text.Length()) * 2;
    result = RegSetValueExW(key.Get(), WideText(valueName), 0, type, data, length);
    if (result == ERROR_SUCCESS) {
      logged.Append('\\');
      logged.Append(valueName);
      WriteLog(6, logged);
    }
  }
  ReportOutcome(action, uint32_t(result));
  return uint32_t(result);
}

Text InstallEngine::RegistryRootPrefix(uint32_t root) {
  switch (root) {
    case 0x80000002u:
      return "HKLM\\";
    case 0x80000000u:
      return "HKCR\\";
    case 0x80000001u:
      return "HKCU\\";
    case 0x80000005u:
      return "HKCC\\";
    default:
      return "???";
  }
}

bool InstallEngine::StartProgram(const Text& program, const Text& arguments, bool wait, DWORD* exitCode,
                                 KernelObject* process) {
  Text path = CommandLine::ProgramPath(program, SystemFolders::System());
  Text line;
  if (path.Empty() || !CommandLine::Build(path, arguments, &line)) return false;
  // The system may write into the command line.
  WideText buffer(line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, const_cast<wchar_t*>(buffer.Get()), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info))
    return false;
  KernelObject thread(info.hThread);
  KernelObject own;
  KernelObject* started = process && !wait ? process : &own;
  *started->Receive() = info.hProcess;
  if (wait) {
    WaitWithMessages(started->Get(), INFINITE);
    if (exitCode) GetExitCodeProcess(started->Get(), exitCode);
  }
  return true;
}

DWORD InstallEngine::WaitWithMessages(HANDLE handle, DWORD timeout) {
  DWORD start = GetTickCount();
  DWORD remaining = timeout;
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, remaining, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + 1) return result;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return WAIT_OBJECT_0;
      if (timeout == INFINITE) continue;
      DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeout) return WAIT_TIMEOUT;
      remaining = timeout - elapsed;
    }
  }
}

void InstallEngine::RunDeferredPrograms() {
  // Those in the temporary folder run to their end before the folder goes with the engine.
  KernelObject running[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  for (const DeferredProgram& program : deferredPrograms) {
    if (program.program.Empty()) continue;
    bool temporary = UninstallLog::IsInsideFolder(program.program, tempPath);
    if (temporary && count == MAXIMUM_WAIT_OBJECTS) count = WaitForAll(running, count);
    if (StartProgram(program.program, program.arguments, false, nullptr, temporary ? &running[count] : nullptr) &&
        temporary)
      ++count;
  }
  WaitForAll(running, count);
}
