#include <string.h>

#include "InstallEngine.h"
#include "Kilobytes.h"

namespace {
const uint32_t kLocalMachine = 0x80000002u;
const int kLineUninstallerText = 1;
const int kLineFolder = 2;
const int kLineFile = 3;
// Quoted, so that a folder with blanks cannot be read as a shorter program path.
const char kUninstallCommand[] = "\"${UninstallCommand}\" \"${UninstallLog}\"";
}  // namespace

void InstallEngine::WriteLog(int type, const Text& line) {
  if ((type == kLineFile || type == kLineFolder) && UninstallLog::IsInsideFolder(line, tempPath)) {
    (type == kLineFile ? tempFiles : tempFolders).Append(line);
    return;
  }
  UpdateOverallProgress();
  logText.Add(type, line);
  PumpMessages();
}

void InstallEngine::CleanTempFiles() {
  for (const Text& file : tempFiles) DeleteFileA(file.CStr());
  tempFiles.Clear();
  // Innermost first: a folder only goes once the folders inside it are gone.
  for (uint32_t i = tempFolders.Count(); i > 0; --i) RemoveDirectoryA(tempFolders[i - 1].CStr());
  tempFolders.Clear();
}

void InstallEngine::RegisterUninstall(const char* logFileName) {
  Text command(kUninstallCommand);
  ExpandText(command);
  Text key("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${ProductName}\\");
  ExpandText(key);
  SetRegistryValue(kLocalMachine, key + "UninstallString", REG_SZ, reinterpret_cast<const uint8_t*>(command.Data()),
                   command.Length());
  Text displayName = GetVariable("ProductName");
  SetRegistryValue(kLocalMachine, key + "DisplayName", REG_SZ, reinterpret_cast<const uint8_t*>(displayName.Data()),
                   displayName.Length());
  if (ReadsCommandLine()) WriteProductDetails(key);
  InstallFile("uninst.exe", productPath + "\\uninst.exe");
  Text logPath = productPath + "\\" + logFileName;
  CreateFolders(logPath);
  WriteLog(kLineFile, logPath);
  Text before = ReadEntryString("UEBefore");
  if (!before.Empty()) WriteLog(kLineUninstallerText, before);

  Text file;
  if (!logText.Render(productName, &file)) return;
  MappedFile log;
  if (!log.Create(logPath.CStr(), file.Length())) {
    DWORD error = GetLastError();
    // Whole or not at all: no empty or shortened log stays behind.
    log.Close();
    DeleteFileA(logPath.CStr());
    ReportOutcome("File " + logPath, error ? error : ERROR_WRITE_FAULT);
    return;
  }
  memcpy(log.View(), file.Data(), file.Length());
  ReportOutcome("File " + logPath, 0);
}

void InstallEngine::WriteProductDetails(const Text& key) {
  auto text = [&](const char* name, const Text& value) {
    // With its terminating zero, as the registry's readers expect of a string.
    if (!value.Empty())
      SetRegistryValue(kLocalMachine, key + name, REG_SZ, reinterpret_cast<const uint8_t*>(value.Data()),
                       value.Length() + 1);
  };
  auto number = [&](const char* name, uint32_t value) {
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    SetRegistryValue(kLocalMachine, key + name, REG_DWORD, bytes, sizeof(bytes));
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
  text("DisplayIcon", entry("DisplayIcon", productPath + "\\uninst.exe"));
  // What the run wrote, and the uninstaller that is about to follow.
  const CatalogEntry* uninstaller = FindEntry("uninst.exe");
  number("EstimatedSize", Kilobytes::Add(doneKb, uninstaller ? uninstaller->size / 1024 : 0));
  InstallLogText::Time today = InstallLog::Now();
  Text date;
  date.AppendDecimal(today.year * 10000 + today.month * 100 + today.day);
  text("InstallDate", date);
  number("NoModify", 1);
  number("NoRepair", 1);
  text("URLInfoAbout", entry("URLInfoAbout", Text()));
  text("HelpLink", entry("HelpLink", Text()));
  Text quiet(kUninstallCommand);
  ExpandText(quiet);
  quiet.Append(" /S");
  text("QuietUninstallString", quiet);
}
