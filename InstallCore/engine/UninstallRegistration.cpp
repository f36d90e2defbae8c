#include <string.h>

#include "InstallEngine.h"

namespace {
const uint32_t kLocalMachine = 0x80000002u;
const int kLineUninstallerText = 1;
const int kLineFolder = 2;
const int kLineFile = 3;
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
  for (const Text& file : tempFiles)
    if (!IsDeferredProgram(file)) DeleteFileA(file.CStr());
  tempFiles.Clear();
  // Innermost first: a folder only goes once the folders inside it are gone.
  for (uint32_t i = tempFolders.Count(); i > 0; --i) RemoveDirectoryA(tempFolders[i - 1].CStr());
  tempFolders.Clear();
}

bool InstallEngine::IsDeferredProgram(const Text& path) const {
  for (const DeferredProgram& program : deferredPrograms)
    if (lstrcmpiA(program.program.CStr(), path.CStr()) == 0) return true;
  return false;
}

void InstallEngine::RegisterUninstall(const char* logFileName) {
  // Quoted, so that a folder with blanks cannot be read as a shorter program path.
  Text command("\"${UninstallCommand}\" \"${UninstallLog}\"");
  ExpandText(command);
  Text key("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${ProductName}\\");
  ExpandText(key);
  SetRegistryValue(kLocalMachine, key + "UninstallString", REG_SZ, reinterpret_cast<const uint8_t*>(command.Data()),
                   command.Length());
  Text displayName = GetVariable("ProductName");
  SetRegistryValue(kLocalMachine, key + "DisplayName", REG_SZ, reinterpret_cast<const uint8_t*>(displayName.Data()),
                   displayName.Length());
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
    // Whole or not at all: no empty or shortened log stays behind.
    log.Close();
    DeleteFileA(logPath.CStr());
    return;
  }
  memcpy(log.View(), file.Data(), file.Length());
}
