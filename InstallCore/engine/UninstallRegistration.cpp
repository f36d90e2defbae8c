#include <string.h>

#include "InstallEngine.h"
#include "InstallScope.h"
#include "Kilobytes.h"
#include "WideText.h"

namespace {
const int kLineUninstallerText = 1;
const int kLineFolder = 2;
const int kLineFile = 3;
const int kLineValue = 6;
// Uninst.log, then Uninst2.log up to this number.
const uint32_t kMaxLogNumber = 99;

// Quoted, so that a folder with blanks cannot be read as a shorter program path.
const char kUninstallCommand[] = "\"${UninstallCommand}\" \"${UninstallLog}\"";

bool Exists(const Text& path) { return GetFileAttributesW(WideText(path)) != INVALID_FILE_ATTRIBUTES; }

// The log's first line. A Unicode package's log starts with the UTF-8 byte-order mark, which no
// log in the ANSI code page begins with, so the uninstaller knows how to read it.
Text LogHeading(bool unicode, const Text& productName) { return unicode ? "\xEF\xBB\xBF" + productName : productName; }
}  // namespace

void InstallEngine::WriteLog(int type, const Text& line) {
  if ((type == kLineFile || type == kLineFolder) && UninstallLog::IsInsideFolder(line, tempPath)) {
    (type == kLineFile ? tempFiles : tempFolders).Append(line);
    return;
  }
  UpdateOverallProgress();
  if (logText.Add(type, line)) journal.Append(logText.Newest());
  PumpMessages();
}

void InstallEngine::CleanTempFiles() {
  for (const Text& file : tempFiles)
    if (!IsForDeferredProgram(file)) DeleteFileW(WideText(file));
  tempFiles.Clear();
  // Innermost first: a folder only goes once the folders inside it are gone.
  for (uint32_t i = tempFolders.Count(); i > 0; --i) RemoveDirectoryW(WideText(tempFolders[i - 1]));
  tempFolders.Clear();
}

bool InstallEngine::IsForDeferredProgram(const Text& path) const {
  for (const DeferredProgram& program : deferredPrograms) {
    const Text& file = program.program;
    if (UninstallLog::IsInsideFolder(file, tempPath) && UninstallLog::IsInsideFolder(path, UninstallLog::FolderOf(file)))
      return true;
  }
  return false;
}

bool InstallEngine::KeepEarlierLog(const Text& path, bool oldestFirst) {
  MappedFile earlier;
  if (!Exists(path) || !earlier.Open(path.CStr())) return false;
  // A log of this product's other kind (an ANSI build's before a Unicode build, or the other way
  // round) is the product's too: read in this run's code page, its lines stay removable.
  Text bytes(reinterpret_cast<const char*>(earlier.View()), earlier.Size());
  const Text mark = LogHeading(true, Text());
  bool marked = bytes.Left(mark.Length()) == mark;
  if (marked != IsUnicode())
    bytes = marked ? WideText::Recode(bytes.Mid(mark.Length()), CP_UTF8, CP_ACP)
                   : mark + WideText::Recode(bytes, CP_ACP, CP_UTF8);
  return logText.KeepEarlier(bytes.Data(), bytes.Length(), LogHeading(IsUnicode(), productName), oldestFirst);
}

// The product's folder may hold this product's log from an earlier run, whose lines the new log
// keeps, or another product's, which must stay as it is with its uninstaller, or neither product
// could be removed any more: this product's log and uninstaller then take the names Uninst2,
// Uninst3, ... of its own log, wherever that stands (a slot before it may have come free since),
// or else the first free one. The journal of a run that ended early counts as its log, and its
// lines, newer than the log's, are kept above them.
void InstallEngine::ChooseUninstallLog() {
  auto stem = [](uint32_t number) {
    Text text("Uninst");
    if (number > 1) text.AppendDecimal(number);
    return text;
  };
  uint32_t chosen = 0;
  for (uint32_t number = 1; number <= kMaxLogNumber && !chosen; ++number) {
    Text path = productPath + "\\" + stem(number) + ".log";
    bool journal = KeepEarlierLog(UninstallLog::JournalPath(path), true);
    if (KeepEarlierLog(path, false) || journal) chosen = number;
  }
  for (uint32_t number = 1; number <= kMaxLogNumber && !chosen; ++number) {
    Text path = productPath + "\\" + stem(number) + ".log";
    MappedFile earlier;
    if ((!Exists(path) || !earlier.Open(path.CStr())) && !Exists(UninstallLog::JournalPath(path))) chosen = number;
  }
  Text name = stem(chosen);
  if (logName == name + ".log") return;
  logName = name + ".log";
  uninstallerName = Text("uninst") + name.Mid(6) + ".exe";
  SetVariable("UninstallCommand", "${ProductPath}\\" + name + ".exe");
  SetVariable("UninstallLog", "${ProductPath}\\" + logName);
}

void InstallEngine::FindRegisteredInstall() {
  registeredLog.Clear();
  Text log = UninstallLog::LogOfCommand(InstallScope::RegisteredCommand(productName, perUser));
  uint32_t slash = log.FindLastChar('\\');
  if (slash == Text::kNotFound || !IsFullPath(log.Left(slash)) ||
      (!Exists(log) && !Exists(UninstallLog::JournalPath(log))))
    return;
  registeredLog = log;
  productPath = log.Left(slash);
  SetVariable("ProductPath", productPath);
}

void InstallEngine::StartUninstallRecord() {
  // Installed elsewhere before: this run's log takes that install's lines over, so its files go
  // with this product too.
  uint32_t slash = registeredLog.FindLastChar('\\');
  if (!registeredLog.Empty() && !WideText::SameIgnoringCase(registeredLog.Left(slash), productPath)) {
    KeepEarlierLog(UninstallLog::JournalPath(registeredLog), true);
    KeepEarlierLog(registeredLog, false);
  }
  ChooseUninstallLog();
  Text logPath = productPath + "\\" + logName;
  CreateFolders(logPath);
  journal.Open(logPath, LogHeading(IsUnicode(), productName), logText);
  RegisterProduct();
}

Text InstallEngine::UninstallKey() {
  Text key = Text(InstallScope::kUninstallKey) + "${ProductName}\\";
  ExpandText(key);
  return key;
}

void InstallEngine::RegisterProduct() {
  logText.SetTier(UninstallLog::kRegistration);
  Text command(kUninstallCommand);
  ExpandText(command);
  Text key = UninstallKey();
  SetRegistryValue(InstallScope::RegistryRoot(perUser), key + "UninstallString", REG_SZ, reinterpret_cast<const uint8_t*>(command.Data()),
                   command.Length());
  Text displayName = GetVariable("ProductName");
  SetRegistryValue(InstallScope::RegistryRoot(perUser), key + "DisplayName", REG_SZ, reinterpret_cast<const uint8_t*>(displayName.Data()),
                   displayName.Length());
  InstallFile("uninst.exe", productPath + "\\" + uninstallerName);
  logText.SetTier(UninstallLog::kChanges);
  registeredPath = productPath;
}

void InstallEngine::FollowProductPath() {
  Text folder = GetVariable("ProductPath");
  ExpandText(folder);
  folder.TrimRight('\\');
  if (WideText::SameIgnoringCase(folder, productPath)) return;
  // Like a destination that is no full path at the start, it would land wherever the current
  // folder happens to be: the assignment is refused, and the product stays where it is.
  if (!IsFullPath(folder)) {
    ReportOutcome("Product folder " + folder, ERROR_BAD_PATHNAME);
    SetVariable("ProductPath", productPath);
    return;
  }
  productPath = folder;
  if (!registeredPath.Empty()) MoveUninstallRecord();
}

// The record goes as it was made at the start: the log takes its slot in the new folder, with
// the lines of an earlier log there, the folder is made with its protection, and the journal
// moves. The journal so far goes only once the registration names the new one, so that a run
// ending at any point leaves the lines where the registration looks.
void InstallEngine::MoveUninstallRecord() {
  Text uninstaller = registeredPath + "\\" + uninstallerName;
  ChooseUninstallLog();
  Text logPath = productPath + "\\" + logName;
  CreateFolders(logPath);
  journal.Open(logPath, LogHeading(IsUnicode(), productName), logText);
  DeleteFileW(WideText(uninstaller));
  RegisterProduct();
  journal.RemovePrevious();
}

void InstallEngine::RegisterUninstall() {
  FollowProductPath();
  if (ReadsCommandLine()) {
    // At the end of the run, when the size installed is known; removed with the registration.
    logText.SetTier(UninstallLog::kRegistration);
    WriteProductDetails(UninstallKey());
  }
  Text logPath = productPath + "\\" + logName;
  logText.SetTier(UninstallLog::kClosing);
  WriteLog(kLineFile, logPath);
  Text before = ReadEntryString("UEBefore");
  if (!before.Empty()) WriteLog(kLineUninstallerText, before);
  logText.SetTier(UninstallLog::kChanges);

  Text file;
  if (!logText.Render(LogHeading(IsUnicode(), productName), &file)) return;
  // Whole or not at all: the log is written beside the earlier one, on disk before it takes that
  // one's place, and the journal goes only then. Should any step fail, no empty or shortened log
  // stays behind, and the earlier log and the journal stay for the uninstaller.
  Text written = logPath + ".new";
  MappedFile log;
  bool placed = log.Create(written.CStr(), file.Length());
  if (placed) memcpy(log.View(), file.Data(), file.Length());
  placed = placed && log.Flush();
  DWORD error = placed ? 0 : GetLastError();
  log.Close();
  if (placed && !MoveFileExW(WideText(written), WideText(logPath), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    placed = false;
    error = GetLastError();
  }
  if (!placed) {
    DeleteFileW(WideText(written));
    ReportOutcome("File " + logPath, error ? error : ERROR_WRITE_FAULT);
    return;
  }
  journal.Remove();
  ReportOutcome("File " + logPath, 0);
}

void InstallEngine::WriteProductDetails(const Text& key) {
  // A value the package's own actions wrote in this run is the package's choice.
  auto own = [&](const char* name) {
    return logText.Recorded(kLineValue, RegistryRootPrefix(InstallScope::RegistryRoot(perUser)) + key + name);
  };
  auto text = [&](const char* name, const Text& value) {
    // With its terminating zero, as the registry's readers expect of a string.
    if (!value.Empty() && !own(name))
      SetRegistryValue(InstallScope::RegistryRoot(perUser), key + name, REG_SZ, reinterpret_cast<const uint8_t*>(value.Data()),
                       value.Length() + 1);
  };
  auto number = [&](const char* name, uint32_t value) {
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    if (!own(name)) SetRegistryValue(InstallScope::RegistryRoot(perUser), key + name, REG_DWORD, bytes, sizeof(bytes));
  };
  auto entry = [&](const char* name, const Text& fallback) {
    Text value = ReadEntryString(name);
    if (value.Empty()) value = fallback;
    ExpandText(value);
    return value;
  };
  text("DisplayVersion", productVersion);
  text("Publisher", companyName);
  text("InstallLocation", productPath);
  text("DisplayIcon", entry("DisplayIcon", productPath + "\\" + uninstallerName));
  // What the run wrote, and the uninstaller that is about to follow.
  const CatalogEntry* uninstaller = FindEntry("uninst.exe");
  number("EstimatedSize", Kilobytes::Add(doneKb, uninstaller ? uninstaller->size / 1024 : 0));
  InstallLogText::Time today = InstallLog::Now();
  Text date;
  date.AppendDecimal(today.year * 10000 + today.month * 100 + today.day);
  text("InstallDate", date);
  number("NoModify", 1);
  number("NoRepair", 1);
  // So that the uninstaller speaks the language the user installed in.
  uint16_t language = RunLanguage();
  if (language) number(InstallScope::kLanguageValue, language);
  text("URLInfoAbout", entry("URLInfoAbout", Text()));
  text("HelpLink", entry("HelpLink", Text()));
  Text quiet(kUninstallCommand);
  ExpandText(quiet);
  quiet.Append(" /S");
  text("QuietUninstallString", quiet);
}
